// The splash of a packed launcher, seen from its child: the window is up when the child starts,
// goes when the child deletes the feedback file, and otherwise stays until the launcher ends; a
// launcher without a usable image shows nothing, creates no file, says nothing and starts the
// child all the same.
#include <gtest/gtest.h>

#include <windows.h>
#include <shlobj.h>

#include <map>
#include <string>
#include <vector>

#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

std::u16string u16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::wstring temporaryDirectory() {
  wchar_t directory[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  std::wstring text = directory;
  if (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class SplashLauncher : public testing::Test {
 protected:
  void SetUp() override {
    const std::wstring name = widen(testing::UnitTest::GetInstance()->current_test_info()->name());
    work_ = makeTemporaryDirectory(L"splash-" + name);
    // All launchers of the product share one extraction directory: this test keeps to a subfolder.
    subfolder_ = L"splash-" + name;
    child_ = readFileBytes(fullPath(L"fixtures\\splash-child.exe"));
    // Process ids come round again soon: files that earlier runs left behind would stand for
    // this run's launcher.
    WIN32_FIND_DATAW found;
    const std::wstring directory = temporaryDirectory();
    HANDLE search = FindFirstFileW((directory + L"\\onefile_*_splash_feedback.tmp").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
      do DeleteFileW((directory + L"\\" + found.cFileName).c_str());
      while (FindNextFileW(search, &found));
      FindClose(search);
    }
    ASSERT_FALSE(child_.empty());
  }
  void TearDown() override {
    removeTree(work_);
    wchar_t local[MAX_PATH];
    if (SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)))
      removeTree(std::wstring(local) + L"\\Quorvell\\1.3\\" + subfolder_);
  }

  // Packs the child with `image` as resource 28 (none when empty) and runs it with the child's mode.
  ProcessResult start(const std::string& image, const std::wstring& mode) {
    const PayloadFile files[] = {{u16(subfolder_ + L"\\app.exe"), child_}};
    const std::wstring launcher = work_ + L"\\launcher.exe";
    std::wstring why;
    EXPECT_TRUE(makeLauncher(launcher, buildPayloadResource(files, 1), image, &why)) << narrow(why);
    report_path_ = work_ + L"\\child-report.txt";
    ProcessOptions options;
    options.application = launcher;
    options.command_line = quoteArgument(launcher) + L" " + quoteArgument(report_path_) + L" " + mode;
    return runProcess(options);
  }

  std::map<std::string, std::string> childReport() const { return readReportFile(report_path_); }

  static std::string image(const wchar_t* name) {
    return readFileBytes(fullPath(std::wstring(L"fixtures\\splash\\images\\") + name + L".img"));
  }

  static std::wstring feedbackPath(DWORD launcher_id) {
    return temporaryDirectory() + L"\\onefile_" + std::to_wstring(launcher_id) + L"_splash_feedback.tmp";
  }

  std::wstring work_;
  std::wstring subfolder_;
  std::wstring report_path_;
  std::string child_;
};

TEST_F(SplashLauncher, ChildSeesTheSplashAndDismissesItByDeletingTheFile) {
  const ProcessResult result = start(image(L"rgba8"), L"delete");
  ASSERT_TRUE(result.started) << result.start_error;
  EXPECT_EQ(result.exit_code, 7u);  // the child's
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  auto report = childReport();
  EXPECT_EQ(report["feedback_exists"], "1");
  EXPECT_EQ(report["feedback_size"], "0");
  EXPECT_EQ(report["window"], "1");
  EXPECT_EQ(report["deleted"], "1");
  EXPECT_EQ(report["window_gone"], "1");  // while the launcher still waited for the child
  EXPECT_FALSE(exists(feedbackPath(result.process_id)));
}

TEST_F(SplashLauncher, SplashStaysUntilTheLauncherEndsWhenTheChildNeverDeletesTheFile) {
  const ProcessResult result = start(image(L"rgba8"), L"keep");
  ASSERT_TRUE(result.started) << result.start_error;
  EXPECT_EQ(result.exit_code, 0u);
  auto report = childReport();
  EXPECT_EQ(report["window"], "1");
  EXPECT_EQ(report["later_window"], "1");
  EXPECT_EQ(report["later_handle"], report["handle"]);
  // Gone with the launcher; the file stays in the temporary directory.
  const HWND splash = reinterpret_cast<HWND>(static_cast<uintptr_t>(std::stoull(report["handle"])));
  EXPECT_FALSE(IsWindow(splash));
  const std::wstring feedback = feedbackPath(result.process_id);
  EXPECT_TRUE(exists(feedback));
  DeleteFileW(feedback.c_str());
}

// A user who clicks the splash during a long start must not get the system's "Not Responding"
// ghost: the launcher reads the window's messages while it waits for the application.
TEST_F(SplashLauncher, TheSplashAnswersWhileTheLauncherWaits) {
  const ProcessResult result = start(image(L"rgba8"), L"ping");
  ASSERT_TRUE(result.started) << result.start_error;
  EXPECT_EQ(result.exit_code, 7u);
  auto report = childReport();
  EXPECT_EQ(report["window"], "1");
  EXPECT_EQ(report["answered"], "1");
}

TEST_F(SplashLauncher, NoUsableImageMeansNoSplashNoFileNoMessageAndTheChildStarts) {
  const struct {
    const char* what;
    std::string image;
  } cases[] = {
      {"no resource 28", ""},
      {"not a PNG", image(L"not-png")},
      {"PNG cut short", image(L"truncated-png")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult result = start(c.image, L"look");
    ASSERT_TRUE(result.started) << result.start_error;
    EXPECT_EQ(result.exit_code, 5u);  // the child ran
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    auto report = childReport();
    EXPECT_EQ(report["window"], "0");
    EXPECT_EQ(report["feedback_exists"], "0");
    EXPECT_FALSE(exists(feedbackPath(result.process_id)));
  }
}

}  // namespace
