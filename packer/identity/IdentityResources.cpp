#include "IdentityResources.h"

#include <algorithm>
#include <string>

#include "LauncherSettings.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PeImage.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path& path) { return "'" + displayPath(path) + "'"; }

std::vector<uint8_t> withoutByteOrderMark(const std::vector<uint8_t>& bytes) {
  static const uint8_t kMark[3] = {0xEF, 0xBB, 0xBF};
  if (bytes.size() >= 3 && std::equal(kMark, kMark + 3, bytes.begin())) return std::vector<uint8_t>(bytes.begin() + 3, bytes.end());
  return bytes;
}

// Why the text is no application manifest, or empty.
std::string manifestProblem(const std::vector<uint8_t>& bytes) {
  if (bytes.empty()) return "it is empty";
  if (bytes.size() > kLargestManifest) return "it is larger than " + std::to_string(kLargestManifest) + " bytes";
  const std::string text(bytes.begin(), bytes.end());
  if (!utf16FromUtf8(text)) return "it is not UTF-8 text";
  // The first element after the XML declaration and comments must be the assembly.
  size_t at = 0;
  for (;;) {
    at = text.find('<', at);
    if (at == std::string::npos) return "it holds no XML element";
    if (text.compare(at, 2, "<?") == 0) {
      at = text.find("?>", at);
    } else if (text.compare(at, 4, "<!--") == 0) {
      at = text.find("-->", at);
    } else {
      break;
    }
    if (at == std::string::npos) return "a declaration or comment is not closed";
  }
  if (text.compare(at, 9, "<assembly") != 0 || (text.size() > at + 9 && std::string(" \t\r\n>/").find(text[at + 9]) == std::string::npos)) {
    return "its first element is not <assembly>";
  }
  static const std::string kEnd = "</assembly>";
  const size_t last = text.find_last_not_of(" \t\r\n");
  if (last + 1 < kEnd.size() || text.compare(last + 1 - kEnd.size(), kEnd.size(), kEnd) != 0) {
    return "it does not end with </assembly>";
  }
  return "";
}

}  // namespace

MainProgramResources readMainProgramResources(const fs::path& program) {
  MainProgramResources found;
  const std::vector<uint8_t> image = readWholeFile(program);
  PeLayout layout;
  try {
    layout = readPeLayout(image);
  } catch (const PackError&) {
    return found;
  }
  ResourceNode tree;
  try {
    tree = readResourceTree(image, layout);
  } catch (const PackError& error) {
    throw PackError("the main program " + shown(program) + ": " + error.what());
  }
  if (const ResourceNode* version = firstResourceOfType(tree, kRtVersion)) {
    try {
      found.version.info = readVersionResource(version->data);
    } catch (const PackError& error) {
      found.version.problem = error.what();
    }
  }
  if (const ResourceNode* group = firstResourceOfType(tree, kRtGroupIcon)) {
    try {
      found.icon = readIconGroup(group->data, [&](uint16_t id) -> const std::vector<uint8_t>* {
        const ResourceNode* image_node = findResource(tree, kRtIcon, id);
        return image_node != nullptr ? &image_node->data : nullptr;
      });
    } catch (const PackError& error) {
      found.icon_problem = error.what();
    }
  }
  return found;
}

std::vector<IconImage> readIconOption(const fs::path& path) {
  const std::vector<uint8_t> bytes = readWholeFile(path);
  try {
    return readIconFile(bytes);
  } catch (const PackError& error) {
    throw PackError("the icon " + shown(path) + " cannot be used: " + error.what());
  }
}

std::vector<uint8_t> readManifestOption(const fs::path& path) {
  std::vector<uint8_t> bytes = readWholeFile(path);
  const std::string problem = manifestProblem(withoutByteOrderMark(bytes));
  if (!problem.empty()) throw PackError("the manifest " + shown(path) + " is not an application manifest: " + problem);
  return bytes;
}

void applyIdentityResources(ResourceNode& root, const AppIdentity& identity, const std::string& build_id,
                            const std::vector<IconImage>& icon, const std::optional<std::vector<uint8_t>>& manifest) {
  setResource(root, kRtRcdata, kSettingsResourceId, kLanguageNeutral, settingsResource(identity, build_id));
  removeResourceType(root, kRtVersion);
  setResource(root, kRtVersion, 1, kIdentityLanguage, writeVersionResource(versionInfoOf(identity)));
  if (!icon.empty()) {
    removeResourceType(root, kRtIcon);
    removeResourceType(root, kRtGroupIcon);
    for (size_t i = 0; i < icon.size(); ++i) {
      setResource(root, kRtIcon, static_cast<uint16_t>(i + 1), kIdentityLanguage, icon[i].data);
    }
    setResource(root, kRtGroupIcon, 1, kIdentityLanguage, iconGroupResource(icon, 1));
  }
  if (manifest) {
    removeResourceType(root, kRtManifest);
    setResource(root, kRtManifest, 1, kIdentityLanguage, *manifest);
  }
}
