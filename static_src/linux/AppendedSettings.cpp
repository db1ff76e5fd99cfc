#include "AppendedSettings.h"

#include <stdio.h>

#include "FatalErrors.h"
#include "LauncherSettings.h"

namespace {

// Lives until the process ends: the template expander reads its values.
LauncherSettings PackedSettings;

[[noreturn]] void failSettings(const char* reason) {
  char message[192];
  snprintf(message, sizeof message, "Error, couldn't read launcher settings: %s.", reason);
  fatalError(message);
}

}  // namespace

const WideUnit* applyLauncherSettings(const SelfImage& image) {
  if (!image.found || image.settings_length == 0) return compiledLauncherSettings().extraction_template;
  const SettingsResult result =
      readLauncherSettings(image.settings, static_cast<size_t>(image.settings_length), PackedSettings,
                           PathStyle::linux);
  if (result.status != SettingsStatus::ok) {
    char reason[128];
    describeSettingsProblem(result, reason, sizeof reason);
    failSettings(reason);
  }
  useLauncherSettings(PackedSettings);
  return PackedSettings.extraction_template;
}
