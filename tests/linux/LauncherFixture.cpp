#include "LauncherFixture.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

void LinuxLauncherTest::SetUp() {
  // The modes the tests expect; every launcher started inherits it.
  umask(022);
  // In the build tree, which no other user can write to: below /tmp every folder of a test would
  // be one below a folder anyone can write to, and the shared-folder tests need their own.
  std::string pattern = std::filesystem::current_path().string() + "/scratch-XXXXXX";
  ASSERT_NE(nullptr, mkdtemp(pattern.data()));
  root_ = pattern;
  std::filesystem::create_directories(home());
  std::filesystem::create_directories(root_ + "/bin");
  std::filesystem::create_directories(root_ + "/work");
}

void LinuxLauncherTest::TearDown() {
  // Folders the launcher made private are still the test's own to remove.
  std::error_code ignored;
  std::filesystem::remove_all(root_, ignored);
}

std::vector<PackedFile> LinuxLauncherTest::standardFiles() const {
  return {{u"app", recordingProgram(), true},
          {u"data.txt", "some data\n", false},
          {u"sub\\lib.so", std::string(70000, 'L') + "end", false},
          {u"tool.sh", "#!/bin/sh\necho tool\n", true},
          {u"empty", "", false}};
}

void LinuxLauncherTest::makeLauncher(const std::vector<PackedFile>& files, const std::u16string& extraction_template,
                                     uint16_t verify) {
  writeLauncher(launcherPath(), settingsFor(extraction_template, verify), payloadOf(files), modesOf(files));
}

std::vector<std::string> LinuxLauncherTest::environment(const std::vector<std::string>& extra) const {
  std::map<std::string, std::string> variables = {
      {"HOME", home()}, {"PATH", "/usr/bin:/bin"}, {"ONEFILE_TEST_RECORD", recordPath()}};
  for (const std::string& entry : extra) {
    const size_t equals = entry.find('=');
    if (equals == std::string::npos) {
      variables.erase(entry);
    } else {
      variables[entry.substr(0, equals)] = entry.substr(equals + 1);
    }
  }
  std::vector<std::string> result;
  for (const auto& variable : variables) result.push_back(variable.first + "=" + variable.second);
  return result;
}

pid_t LinuxLauncherTest::start(const std::vector<std::string>& extra_environment, std::vector<std::string> arguments,
                               const std::string& error_file) {
  if (arguments.empty()) arguments.push_back(launcherPath());
  return startProgram(launcherPath(), arguments, environment(extra_environment), root_ + "/work",
                      error_file.empty() ? root_ + "/stderr" : error_file);
}

Finished LinuxLauncherTest::run(const std::vector<std::string>& extra_environment,
                                const std::vector<std::string>& arguments) {
  return waitFor(start(extra_environment, arguments), root_ + "/stderr");
}

std::map<std::string, LinuxLauncherTest::EntryState> LinuxLauncherTest::treeState(const std::string& folder) const {
  std::map<std::string, EntryState> states;
  auto note = [&](const std::string& path, const std::string& relative) {
    struct stat entry = {};
    if (lstat(path.c_str(), &entry) != 0) return;
    states[relative] = {entry.st_ino, entry.st_mtim.tv_sec * 1000000000ll + entry.st_mtim.tv_nsec,
                        entry.st_ctim.tv_sec * 1000000000ll + entry.st_ctim.tv_nsec, entry.st_mode};
  };
  note(folder, ".");
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    note(entry.path().string(), std::filesystem::relative(entry.path(), folder).string());
  }
  return states;
}

std::map<std::string, std::string> LinuxLauncherTest::treeFiles(const std::string& folder) const {
  std::map<std::string, std::string> files;
  if (!std::filesystem::exists(folder)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file() && !entry.is_symlink()) {
      files[std::filesystem::relative(entry.path(), folder).string()] = readFile(entry.path().string());
    }
  }
  return files;
}
