// The extraction directory as a cache on Linux: a second start writes nothing, a changed or
// deleted file is written again, modes follow the executable bits, and a link where a payload file
// or folder belongs is replaced without touching what it points to.
#include <unistd.h>

#include "LauncherFixture.h"

namespace {

std::map<std::string, std::string> expectedFiles(const std::vector<PackedFile>& files) {
  std::map<std::string, std::string> expected;
  for (const PackedFile& file : files) {
    std::string name(file.name.begin(), file.name.end());
    for (char& unit : name) unit = unit == '\\' ? '/' : unit;
    expected[name] = file.data;
  }
  return expected;
}

TEST_F(LinuxLauncherTest, ASecondStartWritesNothing) {
  const std::vector<PackedFile> files = standardFiles();
  makeLauncher(files);
  ASSERT_TRUE(exitedWith(run(), 0));
  EXPECT_EQ(std::vector<std::string>{}, differingFiles(expectedFiles(files), treeFiles(cacheFolder())));
  const auto before = treeState(cacheFolder());
  const Finished second = run();
  ASSERT_TRUE(exitedWith(second, 0)) << second.error;
  EXPECT_EQ(before, treeState(cacheFolder())) << "inode, mtime, ctime or mode of an entry changed";
}

TEST_F(LinuxLauncherTest, RepairsAChangedAndADeletedFile) {
  const std::vector<PackedFile> files = standardFiles();
  makeLauncher(files);
  ASSERT_TRUE(exitedWith(run(), 0));
  const struct {
    const char* what;
    void (*damage)(const std::string& path);
  } cases[] = {
      {"changed, same size", [](const std::string& path) { writeFile(path, std::string(70000, 'X') + "end"); }},
      {"cut short", [](const std::string& path) { writeFile(path, "LLL"); }},
      {"deleted", [](const std::string& path) { unlink(path.c_str()); }},
      {"a folder in its place", [](const std::string& path) {
         unlink(path.c_str());
         std::filesystem::create_directory(path);
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    row.damage(cacheFolder() + "/sub/lib.so");
    const Finished repaired = run();
    if (std::string(row.what) == "a folder in its place") {
      // As on Windows: a folder is never removed to make room for a file.
      EXPECT_TRUE(exitedWith(repaired, 2));
      EXPECT_EQ("Error, failed to open '" + cacheFolder() + "/sub/lib.so' for writing.\n", repaired.error);
      std::filesystem::remove(cacheFolder() + "/sub/lib.so");
      continue;
    }
    ASSERT_TRUE(exitedWith(repaired, 0)) << repaired.error;
    EXPECT_EQ(std::vector<std::string>{}, differingFiles(expectedFiles(files), treeFiles(cacheFolder())));
  }
}

TEST_F(LinuxLauncherTest, OnlyFilesMarkedExecutableAreExecutable) {
  const std::vector<PackedFile> files = standardFiles();
  makeLauncher(files);
  ASSERT_TRUE(exitedWith(run(), 0));
  const std::map<std::string, mode_t> expected = {
      {"app", 0755}, {"data.txt", 0644}, {"sub/lib.so", 0644}, {"tool.sh", 0755}, {"empty", 0644}};
  auto modes = [&] {
    std::map<std::string, mode_t> found;
    for (const auto& entry : expected) found[entry.first] = treeState(cacheFolder())[entry.first].mode & 07777;
    return found;
  };
  EXPECT_EQ(expected, modes()) << "with umask 022";

  // A warm start puts the bits right without writing the files again.
  const struct {
    mode_t tool;  // marked executable
    mode_t data;  // not marked
  } cases[] = {{0644, 0755}, {0655, 0645}, {0745, 0654}};
  for (const auto& row : cases) {
    char modes_shown[32];
    snprintf(modes_shown, sizeof modes_shown, "tool.sh %o, data.txt %o", row.tool, row.data);
    SCOPED_TRACE(modes_shown);
    chmod((cacheFolder() + "/tool.sh").c_str(), row.tool);
    chmod((cacheFolder() + "/data.txt").c_str(), row.data);
    const auto before = treeState(cacheFolder());
    ASSERT_TRUE(exitedWith(run(), 0));
    EXPECT_EQ(expected, modes());
    auto after = treeState(cacheFolder());
    for (const char* name : {"tool.sh", "data.txt"}) {
      EXPECT_EQ(before.at(name).inode, after.at(name).inode) << name;
      EXPECT_EQ(before.at(name).modified, after.at(name).modified) << name;
    }
  }
}

TEST_F(LinuxLauncherTest, ALinkInThePayloadsPlaceIsReplacedAndItsTargetLeftAlone) {
  const std::vector<PackedFile> files = standardFiles();
  makeLauncher(files);
  const std::string outside = root() + "/outside";
  std::filesystem::create_directories(outside);
  writeFile(outside + "/data.txt", "not the application's");
  std::filesystem::create_directories(cacheFolder());
  const struct {
    const char* what;
    std::string link;
  } cases[] = {
      {"a link where a folder belongs", cacheFolder() + "/sub"},
      {"a link where a file belongs", cacheFolder() + "/data.txt"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::error_code ignored;
    std::filesystem::remove_all(row.link, ignored);
    const std::string target = std::string(row.what).find("folder") != std::string::npos ? outside : outside + "/data.txt";
    ASSERT_EQ(0, symlink(target.c_str(), row.link.c_str()));
    const Finished finished = run();
    ASSERT_TRUE(exitedWith(finished, 0)) << finished.error;
    EXPECT_FALSE(std::filesystem::is_symlink(row.link));
    EXPECT_EQ(std::vector<std::string>{}, differingFiles(expectedFiles(files), treeFiles(cacheFolder())));
    EXPECT_EQ((std::map<std::string, std::string>{{"data.txt", "not the application's"}}), treeFiles(outside));
  }
}

}  // namespace
