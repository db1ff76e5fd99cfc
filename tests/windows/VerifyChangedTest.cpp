// Warm starts that check only what changed (--verify changed): a file the file system shows as it
// was when the last start had verified it is taken without being opened, and every other file is
// checked and repaired as under --verify all.
//
// That a warm start did not open a file is seen from outside with a file held open without any
// sharing: a start that reads it cannot open it, takes it for unreadable, fails to write it anew
// and ends with the open-failure report; a start that trusts its record never touches it.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <thread>
#include <vector>

#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

const std::wstring kProduct = L"OnefileVerifyTest";
const std::string kData = "the data of the build";
const std::string kMore = "more of the build";

std::wstring localAppData() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return folder;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

FILE_BASIC_INFO timesOf(const std::wstring& path) {
  FILE_BASIC_INFO times = {};
  HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  GetFileInformationByHandleEx(file, FileBasicInfo, &times, sizeof times);
  CloseHandle(file);
  return times;
}

// Puts every time back, the change time included, as a writer that covers its tracks would.
bool restoreTimes(const std::wstring& path, const FILE_BASIC_INFO& times) {
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  FILE_BASIC_INFO restored = times;
  const bool set = SetFileInformationByHandle(file, FileBasicInfo, &restored, sizeof restored) != 0;
  CloseHandle(file);
  return set;
}

bool overwriteInPlace(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  DWORD written = 0;
  const bool done = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
  CloseHandle(file);
  return done;
}

// Same length as kData, other bytes.
std::string otherData() {
  std::string bytes = kData;
  bytes[0] = 'T';
  return bytes;
}

class VerifyChanged : public testing::Test {
 protected:
  void SetUp() override {
    work_ = makeTemporaryDirectory(L"verify-changed");
    product_ = localAppData() + L"\\" + kProduct;
    folder_ = product_ + L"\\1.0";
    removeTree(product_);
  }
  void TearDown() override {
    removeTree(work_);
    removeTree(product_);
  }

  // One folder for every build of version 1.0, so that builds meet in it.
  std::wstring pack(const std::wstring& label, const std::string& data, const std::vector<std::wstring>& options) {
    const std::wstring app = work_ + L"\\" + label + L"-app";
    CreateDirectoryW(app.c_str(), nullptr);
    CreateDirectoryW((app + L"\\lib").c_str(), nullptr);
    EXPECT_TRUE(writeFileBytes(app + L"\\app.exe", readFileBytes(fullPath(L"fixtures\\build-child.exe"))));
    EXPECT_TRUE(writeFileBytes(app + L"\\data.txt", data));
    EXPECT_TRUE(writeFileBytes(app + L"\\lib\\more.txt", kMore));
    const std::wstring packed = work_ + L"\\" + label + L".exe";
    std::vector<std::wstring> arguments = {L"pack", app, L"--main", L"app.exe", L"-o", packed, L"--name", kProduct,
                                           L"--version", L"1.0", L"--extract-to", L"{CACHE_DIR}\\{PRODUCT}\\{VERSION}"};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const ProcessResult packing = runProgram(fullPath(L"onefile-pack.exe"), arguments);
    EXPECT_EQ(packing.exit_code, 0u) << packing.err;
    return packed;
  }

  DWORD start(const std::wstring& packed) {
    const ProcessResult started = runProgram(packed, {L"--exit", L"6"});
    EXPECT_TRUE(started.started) << started.start_error;
    return started.exit_code;
  }

  // A start while lib\more.txt is held open without sharing: 6 (the child's code) when the start
  // did not open it, 2 when it did.
  DWORD startWithFileHeld(const std::wstring& packed) {
    HANDLE held = CreateFileW((folder_ + L"\\lib\\more.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(held, INVALID_HANDLE_VALUE);
    const DWORD code = start(packed);
    CloseHandle(held);
    return code;
  }

  std::wstring data() const { return folder_ + L"\\data.txt"; }

  std::wstring work_;
  std::wstring product_;
  std::wstring folder_;
};

TEST_F(VerifyChanged, AWarmStartOpensOnlyWhatChangedUnderChangedAndEverythingUnderAll) {
  const struct {
    const char* what;
    std::vector<std::wstring> options;
    DWORD held_start;
  } cases[] = {
      {"the default, changed", {}, 6},
      {"--verify changed", {L"--verify", L"changed"}, 6},
      {"--verify all reads every file, as always", {L"--verify", L"all"}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(product_);
    const std::wstring packed = pack(L"app", kData, c.options);
    ASSERT_EQ(start(packed), 6u);
    EXPECT_EQ(startWithFileHeld(packed), c.held_start);
    EXPECT_EQ(start(packed), 6u);
    EXPECT_EQ(readFileBytes(data()), kData);
  }
}

// Whatever happened to data.txt, the next start under either mode puts the build's file back; the
// other files are still not opened under changed.
TEST_F(VerifyChanged, AFileChangedInAnyWayIsWrittenAgain) {
  const struct {
    const char* what;
    bool (*change)(const std::wstring& path);
  } changes[] = {
      {"changed in place, same size", [](const std::wstring& path) { return overwriteInPlace(path, otherData()); }},
      {"deleted", [](const std::wstring& path) { return DeleteFileW(path.c_str()) != 0; }},
      {"truncated",
       [](const std::wstring& path) {
         HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr);
         CloseHandle(file);
         return file != INVALID_HANDLE_VALUE;
       }},
      {"replaced by another file of the same size and times",
       [](const std::wstring& path) {
         const FILE_BASIC_INFO times = timesOf(path);
         return DeleteFileW(path.c_str()) && writeFileBytes(path, otherData()) && restoreTimes(path, times);
       }},
      {"another file of the same size and times moved in",
       [](const std::wstring& path) {
         const FILE_BASIC_INFO times = timesOf(path);
         const std::wstring moved = path + L".new";
         return writeFileBytes(moved, otherData()) && restoreTimes(moved, times) &&
                MoveFileExW(moved.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
       }},
  };
  for (const wchar_t* mode : {L"changed", L"all"}) {
    removeTree(product_);
    const std::wstring packed = pack(L"app", kData, {L"--verify", mode});
    ASSERT_EQ(start(packed), 6u);
    for (const auto& c : changes) {
      SCOPED_TRACE(narrow(mode) + ": " + c.what);
      ASSERT_TRUE(c.change(data()));
      EXPECT_EQ(start(packed), 6u);
      EXPECT_EQ(readFileBytes(data()), kData);
    }
    if (std::wstring(mode) == L"changed") {
      EXPECT_EQ(startWithFileHeld(packed), 6u) << "the record, written again, is trusted";
    }
  }
}

// The one change `changed` cannot see: the same size, and every time the file system shows put back
// as it was. Windows lets a program set the change time, so there the file is kept, as the README
// says; Wine cannot (a Unix file's change time moves with every change, setting the times included),
// so here the change shows and the file is written again. Under all it is always written again.
TEST_F(VerifyChanged, AChangeWithItsTimesPutBackIsSeenOnlyWhereTheChangeTimeMoved) {
  for (const wchar_t* mode : {L"changed", L"all"}) {
    SCOPED_TRACE(narrow(mode));
    removeTree(product_);
    const std::wstring packed = pack(L"app", kData, {L"--verify", mode});
    ASSERT_EQ(start(packed), 6u);
    const FILE_BASIC_INFO before = timesOf(data());
    ASSERT_TRUE(overwriteInPlace(data(), otherData()));
    ASSERT_TRUE(restoreTimes(data(), before));
    const FILE_BASIC_INFO after = timesOf(data());
    const bool times_as_before = after.LastWriteTime.QuadPart == before.LastWriteTime.QuadPart &&
                                 after.ChangeTime.QuadPart == before.ChangeTime.QuadPart;
    EXPECT_EQ(start(packed), 6u);
    const bool kept = std::wstring(mode) == L"changed" && times_as_before;
    EXPECT_EQ(readFileBytes(data()), kept ? otherData() : kData) << "times as before: " << times_as_before;
  }
}

// A record that cannot be trusted is not used: every file is read (the held file stops the start),
// and once nothing stands in the way a new record is written that later starts trust again.
TEST_F(VerifyChanged, ARecordThatCannotBeTrustedMeansAFullCheck) {
  const std::wstring record = folder_ + L".onefile-build";
  const struct {
    const char* what;
    void (*spoil)(std::string& bytes);
  } cases[] = {
      {"a byte of a state changed", [](std::string& bytes) { bytes[bytes.size() - 20] ^= 0x01; }},
      {"the trailer changed", [](std::string& bytes) { bytes[bytes.size() - 1] ^= 0x40; }},
      {"cut short", [](std::string& bytes) { bytes.resize(bytes.size() - 30); }},
  };
  const std::wstring packed = pack(L"app", kData, {});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    removeTree(product_);
    ASSERT_EQ(start(packed), 6u);
    std::string bytes = readFileBytes(record);
    ASSERT_GT(bytes.size(), 100u);
    c.spoil(bytes);
    ASSERT_TRUE(writeFileBytes(record, bytes));
    ASSERT_TRUE(overwriteInPlace(data(), otherData()));
    EXPECT_EQ(startWithFileHeld(packed), 2u);
    EXPECT_EQ(start(packed), 6u);
    EXPECT_EQ(readFileBytes(data()), kData);
    EXPECT_EQ(startWithFileHeld(packed), 6u);
  }
}

// Another build of the application in the same folder: its record lists states of files that are
// not this build's. Trusting them would keep the other build's data.txt.
TEST_F(VerifyChanged, TheRecordOfAnotherBuildIsIgnored) {
  const std::wstring other = pack(L"other", otherData(), {});
  const std::wstring packed = pack(L"app", kData, {});
  ASSERT_EQ(start(other), 6u);
  EXPECT_EQ(readFileBytes(data()), otherData());
  EXPECT_EQ(start(packed), 6u);
  EXPECT_EQ(readFileBytes(data()), kData);
  EXPECT_EQ(startWithFileHeld(packed), 6u) << "the record is this build's now";
  EXPECT_EQ(start(other), 6u);
  EXPECT_EQ(readFileBytes(data()), otherData());
}

// Starts at the same moment, after a change that each of them would repair: all run, and what is
// left is a whole record that the next start trusts, and no temporary file.
TEST_F(VerifyChanged, ConcurrentStartsLeaveAValidRecord) {
  const std::wstring packed = pack(L"app", kData, {});
  ASSERT_EQ(start(packed), 6u);
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    ASSERT_TRUE(overwriteInPlace(data(), otherData()));
    DWORD codes[3] = {0, 0, 0};
    std::thread starts[3] = {std::thread([&] { codes[0] = start(packed); }), std::thread([&] { codes[1] = start(packed); }),
                             std::thread([&] { codes[2] = start(packed); })};
    for (std::thread& thread : starts) thread.join();
    for (DWORD code : codes) EXPECT_EQ(code, 6u);
    EXPECT_EQ(readFileBytes(data()), kData);
    EXPECT_FALSE(exists(folder_ + L".onefile-build.tmp"));
    EXPECT_EQ(startWithFileHeld(packed), 6u);
  }
}

}  // namespace
