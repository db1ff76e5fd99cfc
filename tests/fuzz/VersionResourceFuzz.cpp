// Fuzz target: any bytes as the version resource of a main program, which gives the defaults of a
// pack's identity. The reader refuses with a PackError, or what it read is written again by our
// writer (which may refuse a resource over 64 KiB) and reads back equal, empty strings left out.
// Then the identity the packer takes from it is either refused with a PackError or one that the
// launcher accepts: its settings resource reads back with the same values, and its own version
// resource reads back with them. Anything else, a crash or a sanitizer report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AppIdentity.h"
#include "LauncherSettings.h"
#include "PackError.h"
#include "VersionResource.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "version-resource: %s\n", what);
  abort();
}

VersionInfo readOurOwn(const std::vector<uint8_t>& bytes, const char* what) {
  try {
    return readVersionResource(bytes);
  } catch (const PackError& error) {
    fprintf(stderr, "version-resource: %s is refused: %s\n", what, error.what());
    abort();
  }
}

bool sameFixed(const FixedFileInfo& a, const FixedFileInfo& b) {
  return a.file_version == b.file_version && a.product_version == b.product_version && a.flags_mask == b.flags_mask &&
         a.flags == b.flags && a.os == b.os && a.type == b.type && a.subtype == b.subtype && a.date == b.date;
}

bool sameInfo(const VersionInfo& a, const VersionInfo& b) {
  if (a.fixed.has_value() != b.fixed.has_value() || (a.fixed && !sameFixed(*a.fixed, *b.fixed))) return false;
  if (a.translations != b.translations || a.tables.size() != b.tables.size()) return false;
  for (size_t i = 0; i < a.tables.size(); ++i) {
    if (a.tables[i].language != b.tables[i].language || a.tables[i].strings != b.tables[i].strings) return false;
  }
  return true;
}

// What the writer keeps of `info`: every string but the empty ones.
VersionInfo withoutEmptyStrings(VersionInfo info) {
  for (VersionStringTable& table : info.tables) {
    table.strings.erase(std::remove_if(table.strings.begin(), table.strings.end(), [](const auto& string) { return string.second.empty(); }),
                        table.strings.end());
  }
  return info;
}

void requireRoundTrip(const VersionInfo& info) {
  std::vector<uint8_t> written;
  try {
    written = writeVersionResource(info);
  } catch (const PackError&) {
    return;  // too large for a version resource
  }
  const VersionInfo reread = readOurOwn(written, "the resource written");
  require(sameInfo(reread, withoutEmptyStrings(info)), "the resource written reads back changed");
  require(writeVersionResource(reread) == written, "writing it again gives other bytes");
}

std::u16string textOf(const WideUnit* text) { return unitsOf(text); }

// The identity a pack without identity options takes from this main program.
void requireIdentityStarts(const VersionInfo& info) {
  MainProgramVersion main;
  main.info = info;
  AppIdentity identity;
  try {
    identity = resolveIdentity(IdentityOptions{}, main, u"app.exe");
  } catch (const PackError&) {
    return;
  }
  const std::vector<uint8_t> settings_bytes = settingsResource(identity, "0123456789abcdef");
  static LauncherSettings settings;
  const SettingsResult result = readLauncherSettings(settings_bytes.data(), settings_bytes.size(), settings);
  require(result.status == SettingsStatus::ok, "the launcher refuses the settings packed from this main program");
  require(textOf(settings.product) == identity.name.text && textOf(settings.version) == identity.version.text &&
              textOf(settings.company) == identity.company.text,
          "the settings packed read back with other values");

  const VersionInfo packed = readOurOwn(writeVersionResource(versionInfoOf(identity)), "the packed version resource");
  const struct {
    const char16_t* key;
    const std::u16string& value;
  } shown[] = {{u"ProductName", identity.name.text},       {u"ProductVersion", identity.version.text},
               {u"CompanyName", identity.company.text},    {u"FileDescription", identity.description.text},
               {u"LegalCopyright", identity.copyright.text}};
  for (const auto& string : shown) {
    const std::u16string* value = versionString(packed, string.key);
    require(string.value.empty() ? value == nullptr : value != nullptr && *value == string.value,
            "the packed version resource shows another value");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  VersionInfo info;
  try {
    info = readVersionResource(std::vector<uint8_t>(data, data + size));
  } catch (const PackError&) {
    return 0;
  }
  requireRoundTrip(info);
  requireIdentityStarts(info);
  return 0;
}
