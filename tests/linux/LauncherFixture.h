// A scratch folder per test with a home folder, a launcher built from the files given, and runs of
// it as a caller makes them: the tests of the Linux launcher share this.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "LinuxLauncherFactory.h"

// The default template as the packer writes it for Linux.
inline const std::u16string kDefaultTemplate = u"{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}";

class LinuxLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The recording program as "app" (executable), a text, a library in a folder, a script
  // (executable) and an empty file.
  std::vector<PackedFile> standardFiles() const;
  // Writes the launcher at launcherPath().
  void makeLauncher(const std::vector<PackedFile>& files, const std::u16string& extraction_template = kDefaultTemplate,
                    uint16_t verify = 0);

  // HOME, PATH and ONEFILE_TEST_RECORD; `extra` entries ("NAME=value") are added, and an entry
  // "NAME" alone removes that variable.
  std::vector<std::string> environment(const std::vector<std::string>& extra = {}) const;
  pid_t start(const std::vector<std::string>& extra_environment = {}, std::vector<std::string> arguments = {},
              const std::string& error_file = "");
  Finished run(const std::vector<std::string>& extra_environment = {}, const std::vector<std::string>& arguments = {});

  std::string root() const { return root_; }
  std::string home() const { return root_ + "/home"; }
  std::string launcherPath() const { return root_ + "/bin/app"; }
  std::string recordPath() const { return root_ + "/record"; }
  // Where the default template unpacks.
  std::string cacheFolder() const { return home() + "/.cache/Prod/1.0-01234567"; }

  // Every entry below a folder (relative path -> inode, mtime and ctime in nanoseconds, mode).
  struct EntryState {
    ino_t inode;
    int64_t modified;
    int64_t changed;
    mode_t mode;
    bool operator==(const EntryState& other) const {
      return inode == other.inode && modified == other.modified && changed == other.changed && mode == other.mode;
    }
  };
  std::map<std::string, EntryState> treeState(const std::string& folder) const;

  // Every regular file below a folder with its bytes (relative paths with "/").
  std::map<std::string, std::string> treeFiles(const std::string& folder) const;

 private:
  std::string root_;
};

// The names whose bytes differ between two trees of files (or stand in one only): a failure shows
// names, not megabytes.
inline std::vector<std::string> differingFiles(const std::map<std::string, std::string>& expected,
                                               const std::map<std::string, std::string>& found) {
  std::vector<std::string> names;
  for (const auto& file : expected) {
    const auto match = found.find(file.first);
    if (match == found.end() || match->second != file.second) names.push_back(file.first);
  }
  for (const auto& file : found) {
    if (expected.count(file.first) == 0) names.push_back(file.first);
  }
  return names;
}

inline bool exitedWith(const Finished& finished, int code) {
  return WIFEXITED(finished.status) && WEXITSTATUS(finished.status) == code;
}
