// Fuzz target: any bytes as the launcher settings resource (resource 29), which the launcher reads
// at every start and `onefile-pack list` and `verify` read. A refusal must have its phrase for the
// report. What is accepted must be exactly what the packer writes: encoding it again gives the same
// bytes, and the same values given to the packer as options are accepted and packed as these very
// bytes, so no start ever runs with settings that no pack could have made. Anything else, a crash
// or a sanitizer report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <optional>
#include <string>
#include <vector>

#include "AppIdentity.h"
#include "LauncherSettings.h"
#include "PackError.h"
#include "TextEncoding.h"

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

std::string optionOf(const WideUnit* text) {
  const std::optional<std::string> utf8 = utf8FromUtf16(unitsOf(text));
  require(utf8.has_value(), "an accepted value is no Unicode text, so no option could give it");
  return *utf8;
}

// The packer given the settings' values as --name, --version, --company and --extract-to.
void requirePackerWrites(const uint8_t* data, size_t size) {
  IdentityOptions options;
  options.name = optionOf(Settings.product);
  options.version = optionOf(Settings.version);
  options.company = optionOf(Settings.company);
  options.extract_to = optionOf(Settings.extraction_template);
  AppIdentity identity;
  try {
    identity = resolveIdentity(options, MainProgramVersion{}, u"app.exe");
  } catch (const PackError& error) {
    fprintf(stderr, "launcher-settings: the packer refuses what the launcher accepts: %s\n", error.what());
    abort();
  }
  const std::vector<uint8_t> packed = settingsResource(identity);
  require(packed == std::vector<uint8_t>(data, data + size), "the packer writes other bytes for the same values");
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
  const size_t length = encodeLauncherSettings(Settings, Encoded, sizeof Encoded);
  require(length == size && memcmp(Encoded, data, size) == 0, "encoding the settings read gives other bytes");
  // What `list` prints of them.
  printableUtf8(templateWithIdentity(Settings));
  requirePackerWrites(data, size);
  return 0;
}
