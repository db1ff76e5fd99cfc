// Where a start unpacks on Linux: the folders templates name, taken from the environment alone,
// and the checks below a folder anyone can write to.
#include <stdlib.h>
#include <unistd.h>

#include "LauncherFixture.h"

namespace {

mode_t modeOf(const std::string& path) {
  struct stat entry = {};
  return lstat(path.c_str(), &entry) == 0 ? entry.st_mode & 07777 : 0;
}

TEST_F(LinuxLauncherTest, TemplatesTakeTheirFoldersFromTheEnvironment) {
  const std::string program = recordingProgram();
  const struct {
    const char* what;
    std::u16string extraction_template;
    std::vector<std::string> environment;
    std::string folder;  // relative to the scratch folder; empty when the start must fail
    std::string error;
  } cases[] = {
      {"the cache folder below HOME", kDefaultTemplate, {}, "home/.cache/Prod/1.0-01234567", ""},
      {"XDG_CACHE_HOME", kDefaultTemplate, {"XDG_CACHE_HOME=@/xdg"}, "xdg/Prod/1.0-01234567", ""},
      {"a relative XDG_CACHE_HOME is not taken", kDefaultTemplate, {"XDG_CACHE_HOME=xdg"}, "home/.cache/Prod/1.0-01234567", ""},
      {"XDG_CACHE_HOME without HOME", kDefaultTemplate, {"HOME", "XDG_CACHE_HOME=@/xdg"}, "xdg/Prod/1.0-01234567", ""},
      {"a home folder whose name is not UTF-8", kDefaultTemplate, {"HOME=@/h\xe9me"}, "h\xe9me/.cache/Prod/1.0-01234567", ""},
      {"a home folder in UTF-8", kDefaultTemplate, {"HOME=@/h\xc3\xa9me"}, "h\xc3\xa9me/.cache/Prod/1.0-01234567", ""},
      {"backslashes as separators", u"{HOME}\\apps\\{PRODUCT}", {}, "home/apps/Prod", ""},
      {"TMPDIR", u"{TEMP}/{PRODUCT}", {"TMPDIR=@/temp"}, "temp/Prod", ""},
      {"TMPDIR without HOME", u"{TEMP}/{PRODUCT}", {"HOME", "TMPDIR=@/temp"}, "temp/Prod", ""},
      {"beside the launcher", u"{PROGRAM_DIR}/{PRODUCT}-files", {}, "bin/Prod-files", ""},
      {"neither HOME nor XDG_CACHE_HOME", kDefaultTemplate, {"HOME"}, "",
       "Error, couldn't runtime expand spec '{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}'. (neither XDG_CACHE_HOME nor "
       "HOME is set to an absolute path)\n"},
      {"a relative HOME", u"{HOME}/{PRODUCT}", {"HOME=home"}, "",
       "Error, couldn't runtime expand spec '{HOME}/{PRODUCT}'. (HOME is not set to an absolute path)\n"},
      {"a literal absolute path, with what only Windows refuses", u"@/opt/a:b/{PRODUCT}", {}, "opt/a:b/Prod", ""},
      {"a Windows drive: settings no Linux pack writes", u"C:\\{PRODUCT}", {}, "",
       "Error, couldn't read launcher settings: the extraction template is not a value the packer writes.\n"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::u16string extraction_template = row.extraction_template;
    const size_t root_at = extraction_template.find(u'@');
    const std::string scratch = root();
    if (root_at != std::u16string::npos) extraction_template.replace(root_at, 1, std::u16string(scratch.begin(), scratch.end()));
    makeLauncher({{u"app", program, true}, {u"data.txt", "data"}}, extraction_template);
    std::vector<std::string> environment;
    for (std::string entry : row.environment) {
      const size_t at = entry.find('@');
      if (at != std::string::npos) entry.replace(at, 1, root());
      environment.push_back(entry);
    }
    const Finished finished = run(environment);
    if (row.folder.empty()) {
      EXPECT_TRUE(exitedWith(finished, 2));
      EXPECT_EQ(row.error, finished.error);
      continue;
    }
    ASSERT_TRUE(exitedWith(finished, 0)) << finished.error;
    EXPECT_EQ(root() + "/" + row.folder + "/app", recordMap(readRecord(recordPath())).at("exe"));
  }
}

// True when `path` or a folder above it is one anyone can write to.
bool belowFolderAnyoneCanWriteTo(std::filesystem::path path) {
  for (; !path.empty(); path = path.parent_path()) {
    struct stat entry = {};
    if (stat(path.c_str(), &entry) == 0 && (entry.st_mode & S_IWOTH) != 0) return true;
    if (path == path.root_path()) return false;
  }
  return false;
}

// A folder of the test's own stands in for /tmp: anyone can write to it, sticky. It must lie below
// no other such folder (a second one below /tmp is refused itself), so when the build tree lies
// below /tmp it goes below the home folder instead.
class SharedFolderTest : public LinuxLauncherTest {
 protected:
  void SetUp() override {
    LinuxLauncherTest::SetUp();
    std::string base = root();
    if (belowFolderAnyoneCanWriteTo(base)) {
      const char* home = getenv("HOME");
      if (home == nullptr || home[0] != '/' || belowFolderAnyoneCanWriteTo(home)) {
        GTEST_SKIP() << "the build tree and the home folder lie below a folder anyone can write to";
      }
      std::string pattern = std::string(home) + "/onefile-shared-test-XXXXXX";
      ASSERT_NE(nullptr, mkdtemp(pattern.data()));
      base = own_base_ = pattern;
    }
    shared_ = base + "/shared";
    std::filesystem::create_directories(shared_);
    chmod(shared_.c_str(), 01777);
    makeLauncher({{u"app", recordingProgram(), true}}, u"{TEMP}/app-cache/{PRODUCT}");
  }
  void TearDown() override {
    std::error_code ignored;
    if (!own_base_.empty()) std::filesystem::remove_all(own_base_, ignored);
    LinuxLauncherTest::TearDown();
  }
  std::string shared() const { return shared_; }
  Finished runInShared() { return run({"TMPDIR=" + shared()}); }

 private:
  std::string shared_;
  std::string own_base_;
};

TEST_F(SharedFolderTest, MakesItsFoldersPrivateBelowAFolderAnyoneCanWriteTo) {
  ASSERT_TRUE(exitedWith(runInShared(), 0));
  EXPECT_EQ(0700u, modeOf(shared() + "/app-cache"));
  EXPECT_EQ(0700u, modeOf(shared() + "/app-cache/Prod"));
  const Finished again = runInShared();
  EXPECT_TRUE(exitedWith(again, 0)) << again.error;
}

TEST_F(SharedFolderTest, RefusesAFolderOthersCanWriteTo) {
  for (mode_t mode : {0777, 0770, 0720}) {
    SCOPED_TRACE(mode);
    std::filesystem::create_directories(shared() + "/app-cache");
    chmod((shared() + "/app-cache").c_str(), mode);
    const Finished finished = runInShared();
    EXPECT_TRUE(exitedWith(finished, 2));
    EXPECT_EQ("Error, refusing to unpack into '" + shared() +
                  "/app-cache': others can write to it, below a folder anyone can write to.\n",
              finished.error);
    EXPECT_FALSE(std::filesystem::exists(shared() + "/app-cache/Prod"));
  }
}

TEST_F(SharedFolderTest, RefusesAnotherUsersFolderOrLink) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can make a folder another user's";
  const uid_t other = 65534;
  const std::string victim = root() + "/victim";
  std::filesystem::create_directories(victim);
  const struct {
    const char* what;
    std::function<void(const std::string&)> arrange;
  } cases[] = {
      {"another user's private folder", [&](const std::string& path) {
         mkdir(path.c_str(), 0700);
         chown(path.c_str(), other, other);
       }},
      {"another user's link to the user's own folder", [&](const std::string& path) {
         symlink(victim.c_str(), path.c_str());
         lchown(path.c_str(), other, other);
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    std::error_code ignored;
    std::filesystem::remove_all(shared() + "/app-cache", ignored);
    row.arrange(shared() + "/app-cache");
    const Finished finished = runInShared();
    EXPECT_TRUE(exitedWith(finished, 2));
    EXPECT_EQ("Error, refusing to unpack into '" + shared() +
                  "/app-cache': it belongs to another user, below a folder anyone can write to.\n",
              finished.error);
    EXPECT_TRUE(std::filesystem::is_empty(victim));
  }
}

}  // namespace
