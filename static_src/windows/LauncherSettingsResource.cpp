#include "LauncherSettingsResource.h"

#include <windows.h>

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

const WideUnit* applyLauncherSettings() {
  HRSRC resource = FindResourceA(nullptr, MAKEINTRESOURCEA(kSettingsResourceId), MAKEINTRESOURCEA(10));
  if (resource == nullptr) return compiledLauncherSettings().extraction_template;
  HGLOBAL loaded = LoadResource(nullptr, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) failSettings("the resource cannot be loaded");
  const SettingsResult result =
      readLauncherSettings(static_cast<const uint8_t*>(bytes), SizeofResource(nullptr, resource), PackedSettings);
  if (result.status != SettingsStatus::ok) {
    char reason[128];
    describeSettingsProblem(result, reason, sizeof reason);
    failSettings(reason);
  }
  useLauncherSettings(PackedSettings);
  return PackedSettings.extraction_template;
}
