// Builds of one application side by side on Linux: each build unpacks into a folder of its own, a
// start removes the folders of other builds once nothing uses them, keeps what the application or
// the user put there, and leaves everything else, inside the product folder or beyond a link out of
// it, exactly as it was.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "LauncherFixture.h"
#include "SettingsBytes.h"

namespace {

constexpr uint16_t kKeepAll = 0xFFFF;

struct BuildSettings {
  std::u16string version;
  uint16_t keep_builds = 0;
  uint16_t verify = 0;
  std::u16string extraction_template = kDefaultTemplate;
  std::u16string product = u"Prod";
  std::u16string build_id = u"0123456789abcdef";
};

std::string narrow(const std::u16string& text) { return std::string(text.begin(), text.end()); }

class LinuxBuildsTest : public LinuxLauncherTest {
 protected:
  std::string productFolder() const { return home() + "/.cache/Prod"; }
  std::string folderOf(const std::string& version) const { return productFolder() + "/" + version + "-01234567"; }

  // A launcher of the standard files whose data text names its version, at bin/<product>-<version>.
  std::string makeBuild(const BuildSettings& build) {
    std::vector<PackedFile> files = standardFiles();
    files[1].data = "data of " + narrow(build.version) + "\n";
    const std::string path = root() + "/bin/" + narrow(build.product) + "-" + narrow(build.version);
    const std::string settings = withVerify(
        withKeepBuilds(settingsResourceBytes(3, {build.product, build.version, u"", build.extraction_template,
                                                 build.build_id}),
                       build.keep_builds),
        build.verify);
    writeLauncher(path, settings, payloadOf(files), modesOf(files));
    return path;
  }

  pid_t startBuild(const std::string& launcher, const std::vector<std::string>& extra_environment = {}) {
    return startProgram(launcher, {launcher}, environment(extra_environment), root() + "/work", root() + "/stderr");
  }

  void runBuild(const std::string& launcher) {
    const Finished finished = waitFor(startBuild(launcher), root() + "/stderr");
    ASSERT_TRUE(exitedWith(finished, 0)) << finished.error;
  }

  void waitForFile(const std::string& path) {
    for (int waited = 0; waited < 6000 && access(path.c_str(), F_OK) != 0; ++waited) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(0, access(path.c_str(), F_OK)) << path;
  }

  // The names directly in a folder, sorted.
  static std::vector<std::string> namesIn(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ignored)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  // The folders and records that builds of these versions leave.
  static std::vector<std::string> buildsLeft(const std::vector<std::string>& versions, bool records = true) {
    std::vector<std::string> names;
    for (const std::string& version : versions) {
      names.push_back(version + "-01234567");
      if (records) names.push_back(version + "-01234567.onefile-build");
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  static std::string joined(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
  }
};

const std::map<std::string, std::string> kUnpackedNames = {
    {"app", ""}, {"data.txt", ""}, {"sub/lib.so", ""}, {"tool.sh", ""}, {"empty", ""}};

std::vector<std::string> fileNames(const std::map<std::string, std::string>& files) {
  std::vector<std::string> names;
  for (const auto& file : files) names.push_back(file.first);
  return names;
}

// Versions started in turn, as a user who updates would: the folders left are the current one and
// as many others as the application keeps, each with its record beside it and nothing else.
TEST_F(LinuxBuildsTest, EachStartLeavesItsBuildAndAsManyOthersAsAsked) {
  const struct {
    const char* what;
    uint16_t keep_builds;
    uint16_t verify;
    std::vector<std::string> versions_left;
    bool records;
  } cases[] = {
      {"keeping none, the older builds go", 0, 0, {"1.2"}, true},
      {"--keep-builds 1 keeps the most recent other", 1, 1, {"1.1", "1.2"}, true},
      {"--keep-builds all removes nothing (and records nothing under --verify all)", kKeepAll, 0,
       {"1.0", "1.1", "1.2"}, false},
      {"--keep-builds all under --verify changed removes nothing", kKeepAll, 1, {"1.0", "1.1", "1.2"}, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove_all(productFolder());
    for (const std::u16string version : {u"1.0", u"1.1", u"1.2"}) {
      runBuild(makeBuild({version, c.keep_builds, c.verify}));
      // Each start leaves its own record a little later than the last, whatever the clock's grain.
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_EQ(namesIn(productFolder()), buildsLeft(c.versions_left, c.records)) << joined(namesIn(productFolder()));
    for (const std::string& version : c.versions_left) {
      EXPECT_EQ(fileNames(treeFiles(folderOf(version))), fileNames(kUnpackedNames)) << version;
    }
  }
}

// With --keep-builds 1, a start of the kept older build makes it the most recent other: the build
// that goes next is the one not used for longest.
TEST_F(LinuxBuildsTest, AKeptBuildStartedAgainIsTheOneKept) {
  const std::string first = makeBuild({u"1.0", 1});
  runBuild(first);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  runBuild(makeBuild({u"1.1", 1}));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  runBuild(first);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  runBuild(makeBuild({u"1.2", 1}));
  EXPECT_EQ(namesIn(productFolder()), buildsLeft({"1.0", "1.2"})) << joined(namesIn(productFolder()));
}

// A build whose program still runs is in use: a newer build's start leaves it whole, and the first
// start after the program ended removes it.
TEST_F(LinuxBuildsTest, ARunningBuildIsKeptAndGoesOnceItEnded) {
  const std::string old_build = makeBuild({u"1.0"});
  const std::string hold = root() + "/release";
  const pid_t running = startBuild(old_build, {"ONEFILE_TEST_HOLD=" + hold});
  waitForFile(hold + ".running");
  const auto old_files = treeFiles(folderOf("1.0"));

  const std::string new_build = makeBuild({u"2.0"});
  runBuild(new_build);
  EXPECT_EQ(treeFiles(folderOf("1.0")), old_files) << "the running build's folder is untouched";
  EXPECT_EQ(namesIn(productFolder()), buildsLeft({"1.0", "2.0"})) << joined(namesIn(productFolder()));

  writeFile(hold, "");
  const Finished finished = waitFor(running, root() + "/stderr");
  EXPECT_TRUE(exitedWith(finished, 0)) << finished.error;

  runBuild(new_build);
  EXPECT_EQ(namesIn(productFolder()), buildsLeft({"2.0"})) << joined(namesIn(productFolder()));
}

// What the user put into an old build's folder stays with the folders that hold it, and so does a
// file of the build that was changed since; everything else the build wrote goes, with its record.
TEST_F(LinuxBuildsTest, WhatTheBuildDidNotWriteStays) {
  runBuild(makeBuild({u"1.0"}));
  const std::string old_folder = folderOf("1.0");
  writeFile(old_folder + "/notes.txt", "mine");
  std::filesystem::create_directories(old_folder + "/sub/logs");
  writeFile(old_folder + "/sub/logs/today.log", "entry");
  writeFile(old_folder + "/tool.sh", "changed by the user");

  runBuild(makeBuild({u"2.0"}));
  const std::map<std::string, std::string> kept = {
      {"notes.txt", "mine"}, {"sub/logs/today.log", "entry"}, {"tool.sh", "changed by the user"}};
  EXPECT_EQ(treeFiles(old_folder), kept);
  EXPECT_EQ(namesIn(productFolder()), (std::vector<std::string>{"1.0-01234567", "2.0-01234567",
                                                                  "2.0-01234567.onefile-build"}))
      << "the folder is the user's now: it has no record, and no later start looks at it";
}

// Symbolic links in an old build, where a folder and a file of it stood, point out of the product
// folder at files with exactly the content the build unpacked, which a removal that followed them
// would delete: nothing beyond them changes, and the links stay.
TEST_F(LinuxBuildsTest, NothingIsFollowedThroughALink) {
  runBuild(makeBuild({u"1.0"}));
  const std::string old_folder = folderOf("1.0");
  const std::string outside = root() + "/outside";
  std::filesystem::create_directories(outside + "/sub");
  const auto unpacked = treeFiles(old_folder);
  writeFile(outside + "/sub/lib.so", unpacked.at("sub/lib.so"));
  writeFile(outside + "/data.txt", unpacked.at("data.txt"));
  std::filesystem::remove_all(old_folder + "/sub");
  std::filesystem::remove(old_folder + "/data.txt");
  std::filesystem::create_directory_symlink(outside + "/sub", old_folder + "/sub");
  std::filesystem::create_symlink(outside + "/data.txt", old_folder + "/data.txt");
  // A link in place of a whole build's folder, with a sound record of this product beside it.
  std::filesystem::create_directory_symlink(outside, productFolder() + "/0.9-01234567");
  std::filesystem::copy_file(old_folder + ".onefile-build", productFolder() + "/0.9-01234567.onefile-build");
  const auto outside_files = treeFiles(outside);
  const auto outside_state = treeState(outside);

  runBuild(makeBuild({u"2.0"}));
  EXPECT_EQ(treeFiles(outside), outside_files);
  EXPECT_EQ(treeState(outside), outside_state) << "no file, folder or time beyond a link changed";
  EXPECT_EQ(namesIn(old_folder), (std::vector<std::string>{"data.txt", "sub"})) << "only the links are left";
  EXPECT_TRUE(std::filesystem::is_symlink(old_folder + "/sub"));
  EXPECT_TRUE(std::filesystem::is_symlink(old_folder + "/data.txt"));
  EXPECT_TRUE(std::filesystem::is_symlink(productFolder() + "/0.9-01234567"));
}

// Only folders with a sound record of this product are builds to remove; and a template whose
// last folder names neither {VERSION} nor {BUILD} makes no build folders, so it removes nothing.
TEST_F(LinuxBuildsTest, FoldersThatAreNotThisProductsBuildsAreLeftAlone) {
  // A folder that merely looks like a build.
  std::filesystem::create_directories(productFolder() + "/0.5-01234567");
  writeFile(productFolder() + "/0.5-01234567/app", "not recorded");
  // A build whose record was damaged after it was written.
  runBuild(makeBuild({u"0.9", kKeepAll, 1}));
  std::string record = readFile(folderOf("0.9") + ".onefile-build");
  ASSERT_GT(record.size(), 40u);
  record[record.size() / 2] ^= 0x20;
  writeFile(folderOf("0.9") + ".onefile-build", record);
  // Another product that keeps its builds in the same folder.
  runBuild(makeBuild({u"7.0", kKeepAll, 1, u"{CACHE_DIR}/Prod/other-{VERSION}-{BUILD}", u"Other"}));
  // A sound build of this product, kept so far.
  runBuild(makeBuild({u"0.8", kKeepAll, 1}));
  const auto before = treeState(productFolder());
  const auto files_before = treeFiles(productFolder());

  // Keeping none, but from a folder that is not one build's own (and, under --verify all, without
  // a record: a folder a later build must not take for one of its own).
  runBuild(makeBuild({u"3.0", 0, 0, u"{CACHE_DIR}/Prod/current"}));
  // The product folder itself changed: the new build's folder is in it.
  auto before_others = before;
  before_others.erase(".");
  auto after = treeState(productFolder());
  for (auto entry = after.begin(); entry != after.end();) {
    entry = entry->first == "." || entry->first.rfind("current", 0) == 0 ? after.erase(entry) : std::next(entry);
  }
  EXPECT_EQ(after, before_others) << "a template without {VERSION} or {BUILD} in its last folder removes nothing";

  runBuild(makeBuild({u"2.0", 0, 1}));
  std::vector<std::string> expected = {"0.5-01234567", "0.9-01234567", "0.9-01234567.onefile-build",
                                       "2.0-01234567", "2.0-01234567.onefile-build", "current", "other-7.0-01234567",
                                       "other-7.0-01234567.onefile-build"};
  EXPECT_EQ(namesIn(productFolder()), expected) << joined(namesIn(productFolder()));
  auto files_after = treeFiles(productFolder());
  for (const auto& file : files_before) {
    if (file.first.rfind("0.8-", 0) == 0) continue;
    EXPECT_EQ(files_after[file.first], file.second) << file.first;
  }
}

}  // namespace
