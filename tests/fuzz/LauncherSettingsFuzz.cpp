// Fuzz target: any bytes as the launcher settings resource (resource 29), which the launcher reads
// at every start and `onefile-pack list` and `verify` read. A refusal must have its phrase for the
// report. What is accepted must be exactly what the packer writes: encoding it again gives the same
// bytes, and the same values given to the packer as options, with the same build id, are accepted
// and packed as these very bytes. A resource of layout 1 counts as the layout 2 resource without a
// build: the same texts, an empty build id, every build kept. And it must be usable by a start: its extraction template, made into the extraction
// directory as a start makes it (with fixed answers for the system's folders, path, process id and
// time), gives an absolute path that directory creation can climb and that leaves room for the
// program's path. Reader and packer may both accept a value that no start can use, so only the
// expansion shows it. Anything else, a crash or a sanitizer report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <optional>
#include <string>
#include <vector>

#include "AppIdentity.h"
#include "HostFakes.h"
#include "LauncherSettings.h"
#include "ExtractionDirectory.h"
#include "ExtractionDirectoryLength.h"
#include "PackError.h"
#include "TextEncoding.h"
#include "WideString.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "launcher-settings: %s\n", what);
  abort();
}

// The launcher reads into fixed buffers; so does this target, which keeps the refusals, nearly
// every input, free of allocations.
LauncherSettings Settings;
uint8_t Encoded[kMaximumSettingsSize];

// The bytes the encoder and the packer write for the settings read from `data`.
std::vector<uint8_t> asWritten(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  const int layout = data[4] | (data[5] << 8);
  if (layout == kSettingsLayoutVersion) return bytes;
  bytes[4] = static_cast<uint8_t>(kSettingsLayoutVersion & 0xFF);
  bytes[5] = static_cast<uint8_t>(kSettingsLayoutVersion >> 8);
  if (layout == kSettingsLayoutWithoutBuild) bytes.insert(bytes.end(), {0, 0, kKeepAllBuilds & 0xFF, kKeepAllBuilds >> 8});
  bytes.insert(bytes.end(), {0, 0});  // verify all
  return bytes;
}

std::string optionOf(const WideUnit* text) {
  const std::optional<std::string> utf8 = utf8FromUtf16(unitsOf(text));
  require(utf8.has_value(), "an accepted value is no Unicode text, so no option could give it");
  return *utf8;
}

// The packer given the settings' values as --name, --version, --company, --extract-to and
// --keep-builds and --verify, and their build id as that of its payload.
void requirePackerWrites(const std::vector<uint8_t>& written) {
  IdentityOptions options;
  options.name = optionOf(Settings.product);
  options.version = optionOf(Settings.version);
  options.company = optionOf(Settings.company);
  options.extract_to = optionOf(Settings.extraction_template);
  options.keep_builds = Settings.keep_builds;
  options.verify = Settings.verify;
  AppIdentity identity;
  try {
    identity = resolveIdentity(options, MainProgramVersion{}, u"app.exe");
  } catch (const PackError& error) {
    fprintf(stderr, "launcher-settings: the packer refuses what the launcher accepts: %s\n", error.what());
    abort();
  }
  const std::vector<uint8_t> packed = settingsResource(identity, optionOf(Settings.build_id));
  require(packed == written, "the packer writes other bytes for the same values");
}

// The extraction directory as directory creation needs it: a drive ("X:\", or the bare "X:" that a
// file's path joins with "\") or a UNC or device start ("\\"), since the climb stops at a drive;
// "\" as the only separator, since the climb cuts at nothing else; and no empty component: a "\"
// may follow another only at the start. A trailing "\" is no component of its own: the file names
// follow it.
bool isClimbable(const WideUnit* path) {
  const bool drive = ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) && path[1] == ':' &&
                     (path[2] == '\\' || path[2] == 0);
  const bool unc = path[0] == '\\' && path[1] == '\\';
  if (!drive && !unc) return false;
  for (size_t at = 0; path[at] != 0; ++at) {
    if (path[at] == '/') return false;
    if (at >= 2 && path[at] == '\\' && path[at - 1] == '\\') return false;
  }
  return true;
}

// The launcher's own capacity for the extraction directory.
WideUnit TargetDirectory[4096];

// The system's answers for every input: the host fakes' fixed folders and path
// (C:\Users\u\AppData\Local and the like), and the process id published as a start publishes it
// before it expands.
bool arrangeSystemValues() {
  resetFakeSystem();
  fakeSystem().environment["TOLVAR_ONEFILE_PARENT"] = u"4242";
  return true;
}

// The extraction directory a start would make of these settings.
void requireUsableTarget() {
  static const bool arranged = arrangeSystemValues();
  (void)arranged;
  useLauncherSettings(Settings);
  require(expandExtractionDirectory(TargetDirectory, Settings.extraction_template, sizeof TargetDirectory / sizeof(WideUnit)),
          "an accepted extraction template does not expand");
  require(isClimbable(TargetDirectory), "an accepted extraction template expands to a path directory creation cannot climb");
  require(wideLength(TargetDirectory) <= kExtractionDirectoryLimit,
          "an accepted extraction template expands past the directory a start can use");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const SettingsResult result = readLauncherSettings(data, size, Settings);
  if (result.status != SettingsStatus::ok) {
    char reason[128];
    describeSettingsProblem(result, reason, sizeof reason);
    require(strcmp(reason, "no problem") != 0 && strcmp(reason, "unknown problem") != 0, "a refusal without its reason");
    return 0;
  }
  const std::vector<uint8_t> written = asWritten(data, size);
  const size_t length = encodeLauncherSettings(Settings, Encoded, sizeof Encoded);
  require(length == written.size() && memcmp(Encoded, written.data(), length) == 0,
          "encoding the settings read gives other bytes");
  // What `list` prints of them.
  printableUtf8(templateWithIdentity(Settings));
  requirePackerWrites(written);
  requireUsableTarget();
  return 0;
}
