// onefile-pack pack: an application folder, and optionally a splash image, into a copy of the
// launcher stub as resources 27 and 28.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "PayloadWriter.h"

constexpr int kDefaultLevel = 12;
constexpr int kMinimumLevel = 1;
constexpr int kMaximumLevel = 22;

struct PackRequest {
  std::filesystem::path folder;
  std::string main;  // relative to the folder, UTF-8
  std::optional<std::filesystem::path> splash;
  std::optional<std::filesystem::path> stub;  // none: the launcher built with the tool
  int level = kDefaultLevel;
  PayloadLayout layout = PayloadLayout::grouped;
  std::filesystem::path output;
  bool show_progress = false;
  int workers = 0;  // zstd worker threads; 0: one per processor. The bytes do not depend on it.
};

// Throws PackError at the first fault; the output is then untouched (no partial file) and no
// input has been changed.
void packApplication(const PackRequest& request);

// The launcher built together with the tool: onefile-launcher.exe in the tool's own directory,
// else ../../windows/bin/onefile-launcher.exe from there (the host build's bin directory beside
// the Windows build's). Throws PackError naming both places when neither holds it.
std::filesystem::path locateDefaultStub();
