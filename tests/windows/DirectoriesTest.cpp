// Directory creation on the real file system: the list's first entry is the profile directory as
// the system reports it, missing trees are made outermost first, and whatever stands at a path,
// even a file, counts as existing.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

#include "DirectoryCreation.h"

namespace {

bool isDirectory(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool isRemembered(const std::wstring& path) {
  for (int32_t i = 0; i < createdDirectories.count; ++i) {
    if (path == createdDirectories.entries[i]) return true;
  }
  return false;
}

bool createFile(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

// A fresh folder below the temporary directory, not yet created, removed with everything in it.
class Directories : public testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH + 1];
    ASSERT_GT(GetTempPathW(MAX_PATH + 1, temp), 0u);
    const std::string test_name = testing::UnitTest::GetInstance()->current_test_info()->name();
    root_ = std::wstring(temp) + L"onefile-directories-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::wstring(test_name.begin(), test_name.end());
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  std::wstring root_;
};

TEST_F(Directories, FirstEntryIsTheProfileDirectory) {
  ASSERT_TRUE(ensureDirectory(root_.c_str()));
  wchar_t profile[MAX_PATH];
  ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, profile), S_OK);
  ASSERT_GE(createdDirectories.count, 1);
  EXPECT_STREQ(createdDirectories.entries[0], profile);
}

TEST_F(Directories, NestedTreeIsMadeAndTheFileCanBeCreated) {
  const std::wstring deepest = root_ + L"\\a\\b\\c";
  ensureParentDirectories((deepest + L"\\f.txt").c_str());
  for (const std::wstring& directory : {root_, root_ + L"\\a", root_ + L"\\a\\b", deepest}) {
    EXPECT_TRUE(isDirectory(directory));
    EXPECT_TRUE(isRemembered(directory));
  }
  EXPECT_TRUE(createFile(deepest + L"\\f.txt"));
  // A sibling branch is made below the remembered part only.
  ensureParentDirectories((root_ + L"\\a\\x\\y\\g.txt").c_str());
  EXPECT_TRUE(isDirectory(root_ + L"\\a\\x\\y"));
}

TEST_F(Directories, OtherCaseIsFoundOnDiskAndRememberedToo) {
  ASSERT_TRUE(ensureDirectory(root_.c_str()));
  ASSERT_TRUE(ensureDirectory((root_ + L"\\Case").c_str()));
  EXPECT_TRUE(ensureDirectory((root_ + L"\\CASE").c_str()));
  EXPECT_TRUE(isRemembered(root_ + L"\\Case"));
  EXPECT_TRUE(isRemembered(root_ + L"\\CASE"));
}

TEST_F(Directories, FileWhereADirectoryShouldBeCountsAsExisting) {
  ASSERT_TRUE(ensureDirectory(root_.c_str()));
  const std::wstring file = root_ + L"\\file";
  ASSERT_TRUE(createFile(file));
  EXPECT_TRUE(ensureDirectory(file.c_str()));
  EXPECT_TRUE(isRemembered(file));
  // The failure shows only when the file below it is created.
  ensureParentDirectories((file + L"\\g.txt").c_str());
  EXPECT_FALSE(createFile(file + L"\\g.txt"));
  // A directory below a file cannot be made: false, and nothing is remembered.
  EXPECT_FALSE(ensureDirectory((file + L"\\sub").c_str()));
  EXPECT_FALSE(isRemembered(file + L"\\sub"));
}

}  // namespace
