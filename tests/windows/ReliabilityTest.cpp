// What users do to a launcher: start it several times at once, kill it halfway, lock its files, fill
// the disk. No start may run a program made of half-written files, no fault may pass for success,
// and the next start heals the cache.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <stdio.h>

#include <string>
#include <thread>
#include <vector>

#include "Crc32.h"
#include "ExitCodes.h"
#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

std::wstring extractionDirectory() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Quorvell\\1.3";
}

std::string bytesOf(size_t size, uint32_t seed) {
  std::string data(size, '\0');
  uint32_t state = seed;
  for (size_t i = 0; i < size; ++i) {
    state = state * 1664525u + 1013904223u;
    // Half text-like, half noise, so the frame has both kinds of blocks.
    data[i] = (i / 4096) % 2 ? static_cast<char>(state >> 24) : static_cast<char>('a' + (i % 26));
  }
  return data;
}

// An application in a subfolder of the shared extraction directory: the verifying child first,
// then `count` files of `size` bytes each and the manifest the child checks them against.
class Reliability : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name = widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    subfolder_ = L"reliability-" + name;
    work_ = makeTemporaryDirectory(name);
    removeTree(target(L""));
  }
  void TearDown() override {
    removeTree(work_);
    removeTree(target(L""));
  }

  std::wstring target(const std::wstring& name) const {
    return extractionDirectory() + L"\\" + subfolder_ + (name.empty() ? L"" : L"\\" + name);
  }

  std::wstring makeApplication(size_t count, size_t size) {
    const std::wstring prefix = subfolder_ + L"\\";
    std::vector<PayloadFile> files;
    files.push_back({std::u16string(prefix.begin(), prefix.end()) + u"app.exe",
                     readFileBytes(fullPath(L"fixtures\\verifying-child.exe"))});
    std::string manifest;
    for (size_t i = 0; i < count; ++i) {
      const std::string name = "data\\part" + std::to_string(i) + ".bin";
      std::string data = bytesOf(size + i, static_cast<uint32_t>(i + 1));
      char line[128];
      snprintf(line, sizeof line, "%08x %zu %s\n", crc32Update(0, data.data(), data.size()), data.size(), name.c_str());
      manifest += line;
      files.push_back({std::u16string(prefix.begin(), prefix.end()) + std::u16string(name.begin(), name.end()),
                       std::move(data)});
    }
    files.push_back({std::u16string(prefix.begin(), prefix.end()) + u"manifest.txt", manifest});
    const std::wstring launcher = work_ + L"\\launcher.exe";
    std::wstring why;
    EXPECT_TRUE(makeLauncher(launcher, buildPayloadResource(files.data(), files.size()), "", &why)) << narrow(why);
    return launcher;
  }

  static ProcessResult start(const std::wstring& launcher) {
    ProcessOptions options;
    options.application = launcher;
    options.command_line = quoteArgument(launcher);
    return runProcess(options);
  }

  std::wstring subfolder_;
  std::wstring work_;
};

TEST_F(Reliability, LaunchersStartedTogetherAllRunCompleteFiles) {
  const std::wstring launcher = makeApplication(24, 300000);
  for (int together : {2, 4, 8}) {
    SCOPED_TRACE(together);
    removeTree(target(L""));
    std::vector<ProcessResult> results(together);
    std::vector<std::thread> threads;
    for (int i = 0; i < together; ++i) threads.emplace_back([&, i] { results[i] = start(launcher); });
    for (std::thread& thread : threads) thread.join();
    for (const ProcessResult& result : results) {
      EXPECT_EQ(result.exit_code, 0u) << result.out << result.err;
      EXPECT_EQ(result.err, "");
    }
  }
}

TEST_F(Reliability, ALauncherKilledDuringItsFirstExtractionIsHealedByTheNextStart) {
  const std::wstring launcher = makeApplication(12, 2000000);
  // Moments counted from the creation of the application's folder, when extraction is under way
  // (the first file is being written).
  const DWORD moments[] = {1, 20, 60, 120, 250, 400};
  for (DWORD moment : moments) {
    SCOPED_TRACE(moment);
    removeTree(target(L""));
    ProcessOptions options;
    options.application = launcher;
    options.command_line = quoteArgument(launcher);
    options.kill_after_path_appears = target(L"");
    options.kill_after_ms = moment;
    runProcess(options);
    const ProcessResult healed = start(launcher);
    EXPECT_EQ(healed.exit_code, 0u) << healed.out << healed.err;
  }
}

TEST_F(Reliability, AChangedFileLockedAgainstWritingIsReportedAndKept) {
  const std::wstring launcher = makeApplication(3, 5000);
  ASSERT_EQ(start(launcher).exit_code, 0u);
  const std::wstring locked = target(L"data\\part1.bin");
  ASSERT_TRUE(writeFileBytes(locked, "changed by the user"));
  HANDLE handle = CreateFileW(locked.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  const ProcessResult result = start(launcher);
  CloseHandle(handle);
  EXPECT_EQ(result.err, "Error, failed to open '" + narrow(locked) + "' for writing.\r\n");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  EXPECT_EQ(readFileBytes(locked), "changed by the user");
  // Once the lock is gone the next start heals the file.
  EXPECT_EQ(start(launcher).exit_code, 0u);
}

// Run by tests/windows/small-disk-test.sh with a read-only file system mounted at this test's
// subfolder (a read-only attribute or permission would not stop Wine running as root); skipped
// otherwise.
TEST_F(Reliability, AReadOnlyDirectoryInTheWayIsReported) {
  wchar_t mounted[8];
  if (GetEnvironmentVariableW(L"ONEFILE_TEST_READ_ONLY_DIRECTORY", mounted, 8) == 0) GTEST_SKIP() << "needs the read-only mount";
  subfolder_ = L"read-only";
  const std::wstring launcher = makeApplication(1, 100);
  const ProcessResult result = start(launcher);
  EXPECT_EQ(result.err, "Error, failed to open '" + narrow(target(L"app.exe")) + "' for writing.\r\n");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

// Run by tests/windows/small-disk-test.sh with a 1 MiB file system mounted at this test's
// subfolder of the extraction directory; skipped otherwise.
TEST_F(Reliability, AFullDiskIsReportedWithTheSystemsCode) {
  wchar_t mounted[8];
  if (GetEnvironmentVariableW(L"ONEFILE_TEST_SMALL_DISK", mounted, 8) == 0) GTEST_SKIP() << "needs the small disk";
  subfolder_ = L"disk-full";
  const std::wstring launcher = makeApplication(4, 600000);
  const ProcessResult result = start(launcher);
  const std::string expected = "Error, couldn't unpack file to target path. ([Error 112] " + reportedSystemText(112) + ")\n";
  EXPECT_EQ(result.err, textModeBytes(expected));
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

}  // namespace
