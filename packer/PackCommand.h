// onefile-pack pack: an application folder, and optionally a splash image, into a copy of the
// launcher stub as resources 27 and 28, with the application's identity (AppIdentity.h) as
// resource 29, its version resource, its icon and its manifest.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "AppIdentity.h"
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
  IdentityOptions identity;
  bool show_progress = false;
  int workers = 0;  // zstd worker threads; 0: one per processor. The bytes do not depend on it.
};

// Throws PackError at the first fault; the output is then untouched (no partial file) and no
// input has been changed.
void packApplication(const PackRequest& request);

constexpr char kStubFileName[] = "onefile-launcher.exe";

// Where the tool looks for its stub when none is named, in this order: beside the tool (the
// Windows zip), in the data folder of an installed prefix (bin/onefile-pack beside
// lib/onefile/onefile-launcher.exe, as the Debian package has it), and in the Windows build tree
// beside the host build tree (../../windows/bin from the tool's directory). Each place once.
std::vector<std::filesystem::path> defaultStubPlaces(const std::filesystem::path& tool_directory);

// The first of the default places that holds a file. Throws PackError naming every place it
// looked when none does.
std::filesystem::path locateDefaultStub();
