#include "AppFolder.h"

#include <algorithm>
#include <map>
#include <optional>

#include "FileNameRules.h"
#include "NameCase.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "SeenNames.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

namespace {

struct FoundFile {
  std::vector<std::u16string> components;
  AppFile file;
};


std::u16string joinedName(const std::vector<std::u16string>& components) {
  std::u16string name;
  for (const std::u16string& component : components) {
    if (!name.empty()) name += u'\\';
    name += component;
  }
  return name;
}

std::string shown(const fs::path& path) { return "'" + displayPath(path) + "'"; }

void walkFolder(const fs::path& folder, LinkRule links, std::vector<std::u16string>& prefix, std::vector<FoundFile>& found) {
  std::error_code error;
  fs::directory_iterator entries(folder, error);
  if (error) throw PackError("cannot read folder " + shown(folder) + ": " + error.message());
  std::map<std::u16string, fs::path> seen;  // folded name -> first entry with it
  for (; entries != fs::directory_iterator(); entries.increment(error)) {
    const fs::path path = entries->path();
    const std::optional<std::u16string> units = entryNameUnits(path.filename());
    if (!units) throw PackError("the name of " + shown(path) + " is not valid Unicode (UTF-8); rename it");
    const std::string problem = windowsNameProblem(*units);
    if (!problem.empty()) throw PackError("the name of " + shown(path) + " " + problem);
    const auto [other, inserted] = seen.emplace(foldedLikeWindows(*units), path);
    if (!inserted) {
      throw PackError(shown(other->second) + " and " + shown(path) +
                      " differ only in letter case; Windows would make them one file");
    }

    const fs::file_status link_status = entries->symlink_status(error);
    if (error) throw PackError("cannot read " + shown(path) + ": " + error.message());
    if (links == LinkRule::refuse && fs::is_symlink(link_status)) {
      throw PackError(shown(path) + " is a symbolic link; the Linux launcher carries no links: put the file or folder "
                      "itself in its place");
    }
    const fs::file_status status = fs::status(path, error);
    if (fs::is_symlink(link_status) && !fs::exists(status)) {
      throw PackError(shown(path) + " is a symbolic link to nothing");
    }
    if (error) throw PackError("cannot read " + shown(path) + ": " + error.message());
    prefix.push_back(*units);
    if (fs::is_directory(status)) {
      if (fs::is_symlink(link_status)) {
        throw PackError(shown(path) + " is a symbolic link to a folder; such links are not followed");
      }
      walkFolder(path, links, prefix, found);
    } else if (fs::is_regular_file(status)) {
      FoundFile file;
      file.components = prefix;
      file.file.path = path;
      file.file.name = joinedName(prefix);
      if (file.file.name.size() > kMaximumNameUnits) {
        throw PackError("the payload name of " + shown(path) + " is " + std::to_string(file.file.name.size()) +
                        " UTF-16 units long; at most " + std::to_string(kMaximumNameUnits) + " are possible");
      }
      file.file.executable = ownerMayExecute(status);
      file.file.size = fs::file_size(path, error);
      if (error) throw PackError("cannot read " + shown(path) + ": " + error.message());
      found.push_back(std::move(file));
    } else {
      throw PackError(shown(path) + " is neither a regular file nor a folder");
    }
    prefix.pop_back();
  }
  if (error) throw PackError("cannot read folder " + shown(folder) + ": " + error.message());
}

std::vector<std::u16string> mainComponents(const std::string& main_relative) {
  const std::optional<std::u16string> units = utf16FromUtf8(main_relative);
  if (!units) throw PackError("--main '" + printableUtf8(main_relative) + "' is not valid UTF-8");
  const bool rooted = !units->empty() && (units->front() == u'/' || units->front() == u'\\');
  if (rooted || units->find(u':') != std::u16string::npos) {
    throw PackError("--main '" + printableUtf8(*units) + "' must be a path relative to the application folder");
  }
  std::vector<std::u16string> components;
  std::u16string component;
  for (size_t at = 0; at <= units->size(); ++at) {
    if (at < units->size() && (*units)[at] != u'/' && (*units)[at] != u'\\') {
      component += (*units)[at];
      continue;
    }
    if (component == u"..") {
      throw PackError("--main '" + printableUtf8(*units) + "' lies outside the application folder");
    }
    if (!component.empty() && component != u".") components.push_back(component);
    component.clear();
  }
  if (components.empty()) throw PackError("--main is empty; name the program to start");
  return components;
}

bool sameFolded(const std::vector<std::u16string>& a, const std::vector<std::u16string>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (foldedLikeWindows(a[i]) != foldedLikeWindows(b[i])) return false;
  }
  return true;
}

}  // namespace

std::u16string foldedLikeWindows(std::u16string name) {
  for (char16_t& unit : name) unit = static_cast<char16_t>(foldPathUnit(static_cast<WideUnit>(unit)));
  return name;
}

std::string windowsNameProblem(const std::u16string& component) {
  const std::basic_string<WideUnit> units(component.begin(), component.end());
  size_t at = 0;
  switch (fileNameProblem(units.c_str(), units.size(), &at)) {
    case FileNameProblem::none: return "";
    case FileNameProblem::empty: return "is empty";
    case FileNameProblem::controlCharacter: return "contains a control character";
    case FileNameProblem::reservedCharacter:
      return "contains '" + printableUtf8(component.substr(at, 1)) + "', which Windows does not allow in file names";
    case FileNameProblem::trailingDotOrSpace: return "ends with a dot or a space, which Windows drops";
    case FileNameProblem::deviceName: return "is a device name on Windows";
  }
  return "is not a file name Windows can hold";
}

std::vector<AppFile> collectAppFiles(const fs::path& folder, const std::string& main_relative, LinkRule links) {
  std::error_code error;
  const fs::file_status status = fs::status(folder, error);
  if (!fs::exists(status)) throw PackError("the application folder " + shown(folder) + " does not exist");
  if (!fs::is_directory(status)) throw PackError(shown(folder) + " is not a folder");
  const std::vector<std::u16string> main = mainComponents(main_relative);

  std::vector<FoundFile> found;
  std::vector<std::u16string> prefix;
  walkFolder(folder, links, prefix, found);
  if (found.size() > kSeenNamesLimit) {
    throw PackError(shown(folder) + " holds " + std::to_string(found.size()) + " files; the launcher takes at most " +
                    std::to_string(kSeenNamesLimit));
  }

  auto main_position = std::find_if(found.begin(), found.end(), [&](const FoundFile& file) { return file.components == main; });
  if (main_position == found.end()) {
    // Windows itself matches names without regard to case.
    main_position = std::find_if(found.begin(), found.end(), [&](const FoundFile& file) { return sameFolded(file.components, main); });
  }
  if (main_position == found.end()) {
    const std::string shown_main = "--main '" + printableUtf8(joinedName(main)) + "'";
    const std::optional<fs::path> on_disk = pathOfComponents(folder, main);
    if (on_disk && fs::is_directory(*on_disk, error)) throw PackError(shown_main + " is a folder, not a file");
    throw PackError(shown_main + " is not a file in " + shown(folder));
  }
  std::vector<AppFile> ordered{main_position->file};
  found.erase(main_position);
  std::stable_sort(found.begin(), found.end(), [](const FoundFile& a, const FoundFile& b) {
    const bool a_top = a.components.size() == 1;
    const bool b_top = b.components.size() == 1;
    if (a_top != b_top) return a_top;
    return a.components < b.components;
  });
  for (FoundFile& file : found) ordered.push_back(std::move(file.file));
  return ordered;
}
