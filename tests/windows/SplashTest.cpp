// The splash as a program that shows it sees it: the probes (SplashProbe.cpp) run showSplash from
// their own resource 28 and report the window, COM and the feedback file. What the screen shows is
// checked by splash_screenshot.py.
#include <gtest/gtest.h>

#include <windows.h>

#include <map>
#include <sstream>
#include <string>

#include "ExitCodes.h"
#include "ProcessRunner.h"

namespace {

constexpr long kImageWidth = 61;  // splash_fixtures.py
constexpr long kImageHeight = 37;

struct ProbeRun {
  ProcessResult process;
  std::map<std::string, std::string> report;
  bool reported = false;

  std::string operator[](const std::string& key) const {
    const auto found = report.find(key);
    return found == report.end() ? "<absent>" : found->second;
  }
};

std::wstring temporaryDirectory() {
  wchar_t directory[MAX_PATH];
  GetTempPathW(MAX_PATH, directory);
  std::wstring text = directory;
  if (!text.empty() && text.back() == L'\\') text.pop_back();
  return text;
}

std::wstring feedbackPathFor(DWORD process_id) {
  return temporaryDirectory() + L"\\onefile_" + std::to_wstring(process_id) + L"_splash_feedback.tmp";
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

ProbeRun runProbe(const std::wstring& fixture, const std::wstring& mode = L"show") {
  const std::wstring report_path = temporaryDirectory() + L"\\splash-report-" + fixture + L"-" + mode + L".txt";
  DeleteFileW(report_path.c_str());
  ProcessOptions options;
  options.application = fullPath(L"fixtures\\splash\\splash-probe-" + fixture + L".exe");
  options.command_line = quoteArgument(options.application) + L" " + quoteArgument(report_path) + L" " + mode;
  ProbeRun run;
  run.process = runProcess(options);
  HANDLE file = CreateFileW(report_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    std::istringstream lines(bytes);
    for (std::string line; std::getline(lines, line);) {
      const size_t equals = line.find('=');
      if (equals != std::string::npos) run.report[line.substr(0, equals)] = line.substr(equals + 1);
    }
    run.reported = true;
  }
  DeleteFileW(report_path.c_str());
  return run;
}

RECT parseRectangle(const std::string& text) {
  RECT r = {0, 0, 0, 0};
  std::istringstream(text) >> r.left >> r.top >> r.right >> r.bottom;
  return r;
}

// Resource 28 contents that give no splash: everything goes on as without an image, in silence.
class RefusedImage : public testing::TestWithParam<const wchar_t*> {};

TEST_P(RefusedImage, NoWindowNoFeedbackFileNoMessage) {
  const ProbeRun run = runProbe(GetParam());
  // COM is for decoding an image: a launcher without one never initialises it.
  const bool has_image = std::wstring(GetParam()) != L"none";
  ASSERT_TRUE(run.process.started) << run.process.start_error;
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run.process.exit_code, 0u);
  EXPECT_EQ(run.process.out, "");
  EXPECT_EQ(run.process.err, "");
  EXPECT_EQ(run["com_initialised"], has_image ? "1" : "0");
  EXPECT_EQ(run["window"], "0");
  EXPECT_EQ(run["pending"], "0");
  EXPECT_EQ(run["feedback"], "");
  EXPECT_FALSE(exists(feedbackPathFor(run.process.process_id)));
}

INSTANTIATE_TEST_SUITE_P(Probes, RefusedImage,
                         testing::Values(L"none",            // no resource 28
                                         L"not-png",         // a BMP: decodable, but not by the PNG decoder
                                         L"truncated-png"),  // image data cut short
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                           std::string name = narrow(info.param);
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

// Every pixel format: a layered, borderless, owner-less window of the image's size, centred on the
// work area, on the thread that showed it, and an empty feedback file named after the process id.
class ShownImage : public testing::TestWithParam<const wchar_t*> {};

TEST_P(ShownImage, CentredLayeredWindowAndEmptyFeedbackFile) {
  const ProbeRun run = runProbe(GetParam());
  ASSERT_TRUE(run.process.started) << run.process.start_error;
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run.process.exit_code, 0u);
  EXPECT_EQ(run.process.out, "");
  EXPECT_EQ(run.process.err, "");
  EXPECT_EQ(run["com_initialised"], "1");
  ASSERT_EQ(run["window"], "1");
  EXPECT_EQ(run["class"], "Splash");
  EXPECT_EQ(run["title_length"], "0");
  EXPECT_EQ(run["owner"], "0");
  EXPECT_EQ(run["visible"], "1");
  EXPECT_EQ(run["same_thread"], "1");

  const DWORD style = std::stoul(run["style"]);
  EXPECT_EQ(style & (WS_POPUP | WS_VISIBLE), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_CHILD), 0u);
  const DWORD extended = std::stoul(run["exstyle"]);
  EXPECT_EQ(extended & (WS_EX_LAYERED | WS_EX_TOOLWINDOW), static_cast<DWORD>(WS_EX_LAYERED | WS_EX_TOOLWINDOW));
  EXPECT_EQ(extended & (WS_EX_APPWINDOW | WS_EX_TOPMOST | WS_EX_TRANSPARENT), 0u);

  // Truncating division, written out here rather than taken from the launcher's code.
  const RECT work = parseRectangle(run["work"]);
  const RECT placed = parseRectangle(run["rect"]);
  const long x = work.left + (work.right - work.left - kImageWidth) / 2;
  const long y = work.top + (work.bottom - work.top - kImageHeight) / 2;
  EXPECT_EQ(placed.left, x) << run["work"];
  EXPECT_EQ(placed.top, y) << run["work"];
  EXPECT_EQ(placed.right - placed.left, kImageWidth);
  EXPECT_EQ(placed.bottom - placed.top, kImageHeight);

  const std::wstring feedback = feedbackPathFor(run.process.process_id);
  EXPECT_EQ(run["feedback"], narrow(feedback));
  EXPECT_EQ(run["pending"], "1");
  EXPECT_EQ(run["feedback_exists"], "1");
  EXPECT_EQ(run["feedback_size"], "0");
  // The probe ends without deleting it, like a child that never signals: the file stays.
  EXPECT_TRUE(exists(feedback));
  DeleteFileW(feedback.c_str());
}

INSTANTIATE_TEST_SUITE_P(Probes, ShownImage,
                         testing::Values(L"rgba8", L"rgba8-interlaced", L"rgba16", L"rgb8", L"rgb16", L"palette",
                                         L"palette-alpha", L"grey8", L"grey16", L"grey-alpha8",
                                         L"grey-alpha16-interlaced", L"grey1"),
                         [](const testing::TestParamInfo<const wchar_t*>& info) {
                           std::string name = narrow(info.param);
                           for (char& c : name)
                             if (c == '-') c = '_';
                           return name;
                         });

TEST(SplashFeedback, ThePollAfterTheDeletionDestroysTheWindowAndLaterPollsTouchNothing) {
  const ProbeRun run = runProbe(L"rgba8", L"polls");
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run["poll_while_present"], "1");
  EXPECT_EQ(run["window_after_first_poll"], "1");
  EXPECT_EQ(run["poll_after_delete"], "0");
  EXPECT_EQ(run["handle_cleared"], "1");
  EXPECT_EQ(run["window_destroyed"], "1");
  EXPECT_EQ(run["pending_after_delete"], "0");
  // Once dismissed, a file of that name again changes nothing.
  EXPECT_EQ(run["poll_after_recreate"], "0");
}

TEST(SplashFeedback, ALeftoverFileOfTheSameNameIsReplacedByAnEmptyOne) {
  const ProbeRun run = runProbe(L"rgba8", L"leftover");
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run["leftover_written"], "1");
  EXPECT_EQ(run["window"], "1");
  EXPECT_EQ(run["pending"], "1");
  EXPECT_EQ(run["feedback_exists"], "1");
  EXPECT_EQ(run["feedback_size"], "0");
  DeleteFileW(feedbackPathFor(run.process.process_id).c_str());
}

TEST(SplashFeedback, AFileThatCannotBeCreatedIsPendingAndTheFirstPollDismisses) {
  const ProbeRun run = runProbe(L"rgba8", L"no-temp");
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run["window"], "1");
  EXPECT_EQ(run["feedback"].rfind("C:\\onefile-no-such-folder\\below\\onefile_", 0), 0u) << run["feedback"];
  EXPECT_EQ(run["feedback_exists"], "0");
  EXPECT_EQ(run["pending"], "1");
  EXPECT_EQ(run["first_poll"], "0");
  EXPECT_EQ(run["handle_cleared"], "1");
}

// A window that cannot be created (here: a class "Splash" registered first, whose windows refuse
// creation) costs the splash and nothing else: a picture must never stop an application.
TEST(SplashWindow, AWindowThatCannotBeCreatedIsSkipped) {
  const ProbeRun run = runProbe(L"rgba8", L"trap-class");
  ASSERT_TRUE(run.process.started);
  ASSERT_TRUE(run.reported);
  EXPECT_EQ(run["trap_registered"], "1");
  EXPECT_EQ(run["window"], "0");
  EXPECT_EQ(run["pending"], "0");
  EXPECT_EQ(run.process.out, "");
  EXPECT_EQ(run.process.err, "");
  EXPECT_EQ(run.process.exit_code, 0u);
  EXPECT_FALSE(exists(feedbackPathFor(run.process.process_id)));
}

}  // namespace
