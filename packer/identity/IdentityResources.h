// The resources that carry a packed application's identity: its launcher settings (RT_RCDATA
// 29), its version resource, its icon and its manifest. Read from the main program and the files
// given with --icon and --manifest, and put into the packed executable's resource tree in place of
// the stub's.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <optional>
#include <vector>

#include "AppIdentity.h"
#include "IconFile.h"
#include "ResourceTree.h"

// The language of the identity resources: the stub's own are US English (windres' default), and
// the version resource's one string table is too.
constexpr uint16_t kIdentityLanguage = 1033;
constexpr uint16_t kRtVersion = 16;
constexpr uint16_t kRtManifest = 24;

// Manifests larger than this are refused; real ones have a few kilobytes.
constexpr size_t kLargestManifest = 1 << 20;

struct MainProgramResources {
  MainProgramVersion version;
  std::vector<IconImage> icon;  // its first icon group; empty when it has none
  std::string icon_problem;     // why its icon group could not be read
};

// A main program that is not a PE32+ executable for x86-64 offers nothing (and packs all the
// same). Throws PackError when it is one but its resource directory is damaged.
MainProgramResources readMainProgramResources(const std::filesystem::path& program);

// The images of an .ico file. Throws PackError naming the file and the reason.
std::vector<IconImage> readIconOption(const std::filesystem::path& path);

// An application manifest: UTF-8 (a byte-order mark allowed), an <assembly> element from its
// first tag to its end, at most kLargestManifest bytes. Throws PackError naming the file and the
// reason.
std::vector<uint8_t> readManifestOption(const std::filesystem::path& path);

// Puts the identity into the tree: the settings resource with the build id, a new version resource in place of
// every RT_VERSION, the icon (when given) in place of every RT_ICON and RT_GROUP_ICON as group 1
// with images 1..n, and the manifest (when given) in place of every RT_MANIFEST as manifest 1.
void applyIdentityResources(ResourceNode& root, const AppIdentity& identity, const std::string& build_id,
                            const std::vector<IconImage>& icon, const std::optional<std::vector<uint8_t>>& manifest);
