// What onefile-pack pack is asked for, as the command line gives it.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "AppFolder.h"
#include "AppIdentity.h"
#include "PackTarget.h"
#include "PayloadWriter.h"
#include "PeSubsystem.h"
#include "ProgressLine.h"

constexpr int kDefaultLevel = 12;
constexpr int kMinimumLevel = 1;
constexpr int kMaximumLevel = 22;

struct PackRequest {
  std::filesystem::path folder;
  std::string main;  // relative to the folder, UTF-8
  std::optional<std::filesystem::path> splash;
  std::optional<std::filesystem::path> stub;  // none: the launcher built with the tool
  // None: the stub's, else windows-x86_64.
  std::optional<PackTarget> target;
  int level = kDefaultLevel;
  PayloadLayout layout = PayloadLayout::grouped;
  // The packed launcher's subsystem; none: the main program's own.
  std::optional<Subsystem> subsystem;
  std::filesystem::path output;
  IdentityOptions identity;
  ProgressMode progress = ProgressMode::off;
  // Compression threads; 0: one per processor. The bytes do not depend on it.
  int threads = 0;
  // Called before each application file is opened, on the thread that reads it; tests change the
  // tree there.
  std::function<void(const AppFile&)> before_read;
};
