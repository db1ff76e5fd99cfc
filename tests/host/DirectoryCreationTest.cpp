// Directory creation against a fake file system that records every path reaching the system
// call. The fake profile directory is C:\Users\u; a directory can be made only where its parent
// stands, and paths match without regard to case there, as on Windows.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "DirectoryCreation.h"
#include "ExitCodes.h"
#include "HostFakes.h"

namespace {

typedef std::vector<std::u16string> Paths;

const std::u16string kLocal = u"C:\\Users\\u\\AppData\\Local";

void forgetCreatedDirectories() {
  for (int32_t i = 0; i < createdDirectories.count; ++i) free(createdDirectories.entries[i]);
  createdDirectories.count = 0;
}

Paths rememberedDirectories() {
  Paths paths;
  for (int32_t i = 0; i < createdDirectories.count; ++i) paths.push_back(createdDirectories.entries[i]);
  return paths;
}

void stand(std::initializer_list<const char16_t*> paths) {
  for (const char16_t* path : paths) fakeSystem().addStanding(path);
}

class DirectoryCreation : public testing::Test {
 protected:
  void SetUp() override {
    resetFakeSystem();
    forgetCreatedDirectories();
  }
};

struct DirectoryCase {
  const char* label;
  void (*arrange)();
  std::vector<std::u16string> files;  // passed to ensureParentDirectories in turn
  Paths calls;                        // every path that reached the system, in order
  Paths remembered;                   // the list afterwards
};

void profileStands() { stand({u"C:", u"C:\\Users", u"C:\\Users\\u"}); }
void localStands() {
  profileStands();
  stand({u"C:\\Users\\u\\AppData", u"C:\\Users\\u\\AppData\\Local"});
}

const DirectoryCase kDirectoryCases[] = {
    {"the extraction example",
     localStands,
     {kLocal + u"\\Quorvell\\1.3\\a.dll", kLocal + u"\\Quorvell\\1.3\\b.dll",
      kLocal + u"\\Quorvell\\1.3\\lib\\codecs\\b.dll"},
     {kLocal + u"\\Quorvell\\1.3", kLocal + u"\\Quorvell", kLocal + u"\\Quorvell\\1.3",
      kLocal + u"\\Quorvell\\1.3\\lib\\codecs", kLocal + u"\\Quorvell\\1.3\\lib", kLocal + u"\\Quorvell\\1.3\\lib\\codecs"},
     {u"C:\\Users\\u", kLocal + u"\\Quorvell", kLocal + u"\\Quorvell\\1.3", kLocal + u"\\Quorvell\\1.3\\lib",
      kLocal + u"\\Quorvell\\1.3\\lib\\codecs"}},
    {"a file in a drive root needs no call", profileStands, {u"C:\\a.dll", u"Q:\\a.dll"}, {}, {u"C:\\Users\\u"}},
    {"no backslash after the first unit: nothing at all", profileStands, {u"a.dll", u"\\a.dll"}, {}, {}},
    {"a path ending in a backslash makes its last directory",
     [] { stand({u"C:", u"C:\\x"}); },
     {u"C:\\x\\y\\"},
     {u"C:\\x\\y"},
     {u"C:\\Users\\u", u"C:\\x\\y"}},
    // Even with everything below the profile missing, the climb stops at it.
    {"the climb never goes above the profile",
     profileStands,
     {u"C:\\Users\\u\\a\\b\\f.txt", u"C:\\Users\\u\\g.txt"},
     {u"C:\\Users\\u\\a\\b", u"C:\\Users\\u\\a", u"C:\\Users\\u\\a\\b"},
     {u"C:\\Users\\u", u"C:\\Users\\u\\a", u"C:\\Users\\u\\a\\b"}},
    {"the climb stops at the drive when the profile lies elsewhere",
     [] { stand({u"D:"}); },
     {u"D:\\x\\y\\f"},
     {u"D:\\x\\y", u"D:\\x", u"D:\\x\\y"},
     {u"C:\\Users\\u", u"D:\\x", u"D:\\x\\y"}},
    {"another case is another entry",
     [] { stand({u"C:"}); },
     {u"C:\\Data\\a", u"C:\\DATA\\b", u"C:\\DATA\\c"},
     {u"C:\\Data", u"C:\\DATA"},
     {u"C:\\Users\\u", u"C:\\Data", u"C:\\DATA"}},
    {"a file where a directory should be counts as existing",
     [] { stand({u"C:", u"C:\\x", u"C:\\x\\f"}); },
     {u"C:\\x\\f\\g.txt"},
     {u"C:\\x\\f"},
     {u"C:\\Users\\u", u"C:\\x\\f"}},
    // The top of a climb that found nothing to stand on is tried once more on the way down.
    {"a top that cannot be made is neither made nor recorded",
     [] {},
     {u"data\\x\\f"},
     {u"data\\x", u"data", u"data", u"data\\x"},
     {u"C:\\Users\\u"}},
};

class DirectoryTable : public DirectoryCreation, public testing::WithParamInterface<DirectoryCase> {};

TEST_P(DirectoryTable, MakesWhatIsMissingOnce) {
  const DirectoryCase& c = GetParam();
  c.arrange();
  for (const std::u16string& file : c.files) ensureParentDirectories(file.c_str());
  EXPECT_EQ(fakeSystem().directory_calls, c.calls);
  EXPECT_EQ(rememberedDirectories(), c.remembered);
}

std::string caseName(const testing::TestParamInfo<DirectoryCase>& info) {
  std::string name;
  for (const char* p = info.param.label; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, DirectoryTable, testing::ValuesIn(kDirectoryCases), caseName);

TEST_F(DirectoryCreation, ProfileAndDrivesAreTrueWithoutCallAndFailuresAreNotRecorded) {
  stand({u"C:"});
  EXPECT_TRUE(ensureDirectory(u"C:\\Users\\u"));
  EXPECT_TRUE(ensureDirectory(u"Z:"));
  EXPECT_TRUE(fakeSystem().directory_calls.empty());
  EXPECT_FALSE(ensureDirectory(u"C:\\missing\\x"));
  EXPECT_EQ(rememberedDirectories(), Paths{u"C:\\Users\\u"});
}

TEST_F(DirectoryCreation, The1025thDirectoryIsMadeButNotRecorded) {
  stand({u"C:"});
  for (int i = 0; i < kCreatedDirectoriesCapacity - 1; ++i) {
    const std::string digits = std::to_string(i);
    const std::u16string path = u"C:\\d" + std::u16string(digits.begin(), digits.end());
    ASSERT_TRUE(ensureDirectory(path.c_str()));
  }
  ASSERT_EQ(createdDirectories.count, kCreatedDirectoriesCapacity);
  fakeSystem().directory_calls.clear();
  EXPECT_TRUE(ensureDirectory(u"C:\\last"));
  EXPECT_TRUE(fakeSystem().isStanding(u"C:\\last"));
  EXPECT_EQ(createdDirectories.count, kCreatedDirectoriesCapacity);
  // Not remembered, so it is asked again; the system then says it exists.
  EXPECT_TRUE(ensureDirectory(u"C:\\last"));
  EXPECT_EQ(fakeSystem().directory_calls, (Paths{u"C:\\last", u"C:\\last"}));
  // The first entries are still found without a call.
  EXPECT_TRUE(ensureDirectory(u"C:\\d0"));
  EXPECT_EQ(fakeSystem().directory_calls.size(), 2u);
}

// Nearly 2000 missing levels under a drive that does not exist: every level fails twice, and the
// climb must not need a working copy of the path per level on the stack.
TEST_F(DirectoryCreation, DeepMissingTreeIsClimbedWithoutExhaustingTheStack) {
  std::u16string path = u"Z:";
  const int levels = 2040;
  for (int i = 0; i < levels; ++i) path += u"\\d";
  path += u"\\f";
  ASSERT_LE(path.size(), 4096u);
  ensureParentDirectories(path.c_str());
  const Paths& calls = fakeSystem().directory_calls;
  ASSERT_EQ(calls.size(), 2u * levels);
  EXPECT_EQ(calls.front(), path.substr(0, path.size() - 2));
  EXPECT_EQ(calls[levels - 1], u"Z:\\d");
  EXPECT_EQ(calls[levels], u"Z:\\d");
  EXPECT_EQ(calls.back(), calls.front());
}

TEST_F(DirectoryCreation, StopsOnAnUnexpandableProfileAndOnAnOverlongPath) {
  fakeSystem().profile_directory_fails = true;
  EXPECT_EXIT(ensureDirectory(u"C:\\x"), testing::ExitedWithCode(kFatalExitCode),
              "^Error, couldn't runtime expand spec '.HOME.'\\.\n$");
  resetFakeSystem();
  const std::u16string overlong = u"C:\\" + std::u16string(4094, u'p');
  EXPECT_EXIT(ensureParentDirectories(overlong.c_str()), testing::ExitedWithCode(kStopExitCode), "^$");
}

}  // namespace
