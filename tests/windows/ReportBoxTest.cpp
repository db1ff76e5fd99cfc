// Reports where a user can see them: a launcher started as a double-click starts it (no standard
// handles) shows its one line in a message box too, titled with the product's name, and still
// ends with the report's exit code; with a handle that leads somewhere, or on a window station
// that nobody sees, nothing but the line is written. The box is found and closed here as a user
// would close it. Under Wine the box gets no focus from a window manager (there is none); its
// window, title and text are what a test can check.
#include <gtest/gtest.h>

#include <shlobj.h>

#include <string>

#include "ExitCodes.h"
#include "LauncherFactory.h"
#include "LauncherSettings.h"
#include "ProcessRunner.h"

namespace {

struct SeenBox {
  bool seen = false;
  std::wstring title;
  std::wstring text;
};

struct BoxSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  wchar_t class_name[16] = L"";
  GetClassNameW(window, class_name, 16);
  if (owner != search->process_id || wcscmp(class_name, L"#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK collectStaticText(HWND window, LPARAM parameter) {
  wchar_t class_name[16] = L"";
  GetClassNameW(window, class_name, 16);
  wchar_t text[4096] = L"";
  if (_wcsicmp(class_name, L"Static") == 0 && GetWindowTextW(window, text, 4096) > 0) {
    *reinterpret_cast<std::wstring*>(parameter) += text;
  }
  return TRUE;
}

// The visible dialog box of a process, or null.
HWND findBox(DWORD process_id) {
  BoxSearch search = {process_id, nullptr};
  EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Closes a box as its OK button would.
void closeBox(HWND box) { PostMessageW(box, WM_COMMAND, IDOK, 0); }

// Watches a running program until it ends by itself or shows a dialog box; a box is read and, with
// `close`, closed with its OK button. A hang guard of a minute, no time limit.
SeenBox watchForBox(DWORD process_id, bool close) {
  SeenBox box;
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id);
  for (int waited = 0; waited < 60000; waited += 20) {
    const HWND found = findBox(process_id);
    if (found != nullptr) {
      box.seen = true;
      wchar_t title[256] = L"";
      GetWindowTextW(found, title, 256);
      box.title = title;
      EnumChildWindows(found, collectStaticText, reinterpret_cast<LPARAM>(&box.text));
      if (close) closeBox(found);
      break;
    }
    if (process == nullptr || WaitForSingleObject(process, 20) == WAIT_OBJECT_0) break;
  }
  if (process != nullptr) CloseHandle(process);
  return box;
}

// The report probe with a box of its own, started as a double-click starts it, watched for its box.
ProcessOptions boxProbe(const std::wstring& arguments, SeenBox& box, bool close) {
  ProcessOptions options;
  options.application = fullPath(L"fixtures\\report-probe.exe");
  options.command_line = quoteArgument(options.application) + L" " + arguments;
  options.no_standard_output = true;
  options.no_standard_error = true;
  options.while_running = [&box, close](DWORD process_id) { box = watchForBox(process_id, close); };
  // Shorter than the box's own time-out: a box that nobody was meant to see shows as a hang.
  options.timeout_ms = 25000;
  return options;
}

struct BoxCase {
  const char* what;
  const wchar_t* program;  // in bin\fixtures
  const wchar_t* arguments;
  bool no_output;
  bool no_error;
  std::string box_text;  // empty: no box
  DWORD exit_code;
};

TEST(ReportBox, ShownWhereTheReportsStreamLeadsNowhere) {
  const std::string header = "Error, couldn't find attached data header.";
  const std::string disk_full =
      "Error, couldn't unpack file to target path. ([Error 112] " + reportedSystemText(112) + ")";
  const BoxCase cases[] = {
      {"double-clicked launcher, no payload", L"..\\onefile-launcher.exe", L"", true, true, header, kFatalExitCode},
      {"no standard output for a fatal error", L"report-probe.exe", L"fatal \"Error, couldn't allocate memory.\"", true,
       false, "Error, couldn't allocate memory.", kFatalExitCode},
      {"standard output redirected, no standard error", L"report-probe.exe",
       L"fatal \"Error, couldn't allocate memory.\"", false, true, "", kFatalExitCode},
      {"no handles, an OS error on one line", L"report-probe.exe",
       L"os 112 \"Error, couldn't unpack file to target path.\"", true, true, disk_full, kFatalExitCode},
      {"standard error redirected", L"report-probe.exe", L"os 112 \"Error, couldn't unpack file to target path.\"",
       true, false, "", kFatalExitCode},
      {"no handles, a template", L"report-probe.exe", L"template {HOME}", true, true,
       "Error, couldn't runtime expand spec '{HOME}'.", kFatalExitCode},
      {"no handles, a file that cannot be opened", L"report-probe.exe", L"open C:\\app\\data.bin", true, true,
       "Error, failed to open 'C:\\app\\data.bin' for writing.", kFatalExitCode},
      {"no handles, a stop without report", L"report-probe.exe", L"stop", true, true, "", kStopExitCode},
  };
  for (const BoxCase& c : cases) {
    SCOPED_TRACE(c.what);
    SeenBox box;
    ProcessOptions options;
    options.application = fullPath(std::wstring(L"fixtures\\") + c.program);
    options.command_line = quoteArgument(options.application) + L" " + c.arguments;
    options.no_standard_output = c.no_output;
    options.no_standard_error = c.no_error;
    options.while_running = [&](DWORD process_id) { box = watchForBox(process_id, true); };
    // Shorter than the box's own time-out of a minute: a box that nobody was meant to see shows as
    // a hang.
    options.timeout_ms = 45000;
    const ProcessResult result = runProcess(options);
    ASSERT_TRUE(result.started) << result.start_error;
    EXPECT_FALSE(result.timed_out);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(box.seen, !c.box_text.empty());
    if (box.seen) {
      EXPECT_EQ(narrow(box.title), "Quorvell");
      EXPECT_EQ(narrow(box.text), c.box_text);
    }
  }
}

// A packed launcher's box is titled with the product name it was packed with, not the stub's.
// Its main program is no program, so the start fails after the settings were read.
TEST(ReportBox, TitledWithThePackedProductName) {
  LauncherSettings settings = compiledLauncherSettings();
  const wchar_t kProduct[] = L"Box Title App";
  wcscpy(settings.product, kProduct);
  wcscpy(settings.build_id, L"0123456789abcdef");  // as the packer writes it: every build has an id
  uint8_t settings_bytes[8192];
  const size_t settings_length = encodeLauncherSettings(settings, settings_bytes, sizeof settings_bytes);
  ASSERT_NE(settings_length, 0u);
  const PayloadFile files[] = {{u"onefile-box-title\\app.exe", "not a program"}};
  const std::wstring work = makeTemporaryDirectory(L"report-box-title");
  const std::wstring launcher = work + L"\\launcher.exe";
  std::wstring why;
  ASSERT_TRUE(makeLauncher(launcher, buildPayloadResource(files, 1), "", &why)) << narrow(why);
  ASSERT_TRUE(addDataResource(launcher, kSettingsResourceId,
                              std::string(reinterpret_cast<const char*>(settings_bytes), settings_length), &why))
      << narrow(why);

  SeenBox box;
  ProcessOptions options;
  options.application = launcher;
  options.command_line = quoteArgument(launcher);
  options.no_standard_output = true;
  options.no_standard_error = true;
  options.while_running = [&](DWORD process_id) { box = watchForBox(process_id, true); };
  options.timeout_ms = 45000;
  const ProcessResult result = runProcess(options);
  wchar_t cache[MAX_PATH] = L"";
  GetEnvironmentVariableW(L"LOCALAPPDATA", cache, MAX_PATH);
  removeTree(std::wstring(cache) + L"\\" + kProduct);
  removeTree(work);
  ASSERT_TRUE(result.started) << result.start_error;
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(narrow(box.title), "Box Title App");
  EXPECT_EQ(narrow(box.text).rfind("Error, couldn't launch child ([Error 193] ", 0), 0u) << narrow(box.text);
}

// A launcher packed for a product with a Cyrillic name, whose one file lies in a folder with a CJK
// name and cannot be written: a directory stands where the file should be. Every start fails with
// the open failure, which names a path in two scripts besides ASCII.
class WideProduct : public testing::Test {
 protected:
  void SetUp() override {
    LauncherSettings settings = compiledLauncherSettings();
    wcscpy(settings.product, kProduct);
    wcscpy(settings.build_id, L"0123456789abcdef");
    uint8_t settings_bytes[8192];
    const size_t settings_length = encodeLauncherSettings(settings, settings_bytes, sizeof settings_bytes);
    ASSERT_NE(settings_length, 0u);
    const PayloadFile files[] = {{u"\u6570\u636e\\app.exe", "not a program"}};
    work_ = makeTemporaryDirectory(L"report-wide-product");
    launcher_ = work_ + L"\\launcher.exe";
    std::wstring why;
    ASSERT_TRUE(makeLauncher(launcher_, buildPayloadResource(files, 1), "", &why)) << narrow(why);
    ASSERT_TRUE(addDataResource(launcher_, kSettingsResourceId,
                                std::string(reinterpret_cast<const char*>(settings_bytes), settings_length), &why))
        << narrow(why);
    wchar_t cache[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, cache);
    product_directory_ = std::wstring(cache) + L"\\" + kProduct;
    blocked_ = product_directory_ + L"\\" + settings.version + L"\\\u6570\u636e\\app.exe";
    ASSERT_EQ(SHCreateDirectoryExW(nullptr, blocked_.c_str(), nullptr), ERROR_SUCCESS);
  }

  void TearDown() override {
    removeTree(product_directory_);
    removeTree(work_);
  }

  // A start with standard error redirected, or, with `double_click`, without standard handles.
  ProcessOptions start(bool double_click) const {
    ProcessOptions options;
    options.application = launcher_;
    options.command_line = quoteArgument(launcher_);
    options.no_standard_output = double_click;
    options.no_standard_error = double_click;
    return options;
  }

  std::wstring openFailure() const { return L"Error, failed to open '" + blocked_ + L"' for writing."; }

  static constexpr const wchar_t* kProduct = L"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435";
  std::wstring work_;
  std::wstring launcher_;
  std::wstring product_directory_;
  std::wstring blocked_;
};

TEST_F(WideProduct, TheWholePathReachesStandardErrorAndTheBox) {
  const ProcessResult redirected = runProcess(start(false));
  ASSERT_TRUE(redirected.started) << redirected.start_error;
  EXPECT_EQ(redirected.err, narrow(openFailure()) + "\r\n");
  EXPECT_EQ(redirected.exit_code, static_cast<DWORD>(kFatalExitCode));

  SeenBox box;
  ProcessOptions double_clicked = start(true);
  double_clicked.while_running = [&](DWORD process_id) { box = watchForBox(process_id, true); };
  double_clicked.timeout_ms = 45000;
  const ProcessResult shown = runProcess(double_clicked);
  EXPECT_FALSE(shown.timed_out);
  EXPECT_EQ(shown.exit_code, static_cast<DWORD>(kFatalExitCode));
  ASSERT_TRUE(box.seen);
  EXPECT_EQ(box.title, kProduct);
  EXPECT_EQ(box.text, openFailure());
}

// The box may wait a minute for its user; a start meanwhile must not wait with it. The second
// start runs to its own report while the first one's box is still up: had the first start kept
// its extraction lock, the second would end only after that box had gone by itself.
TEST_F(WideProduct, ASecondStartDoesNotWaitForTheFirstStartsBox) {
  SeenBox first_box;
  ProcessResult second;
  bool box_up_after_second = false;
  ProcessOptions first = start(true);
  first.while_running = [&](DWORD process_id) {
    first_box = watchForBox(process_id, false);
    if (!first_box.seen) return;
    second = runProcess(start(false));
    const HWND still_up = findBox(process_id);
    box_up_after_second = still_up != nullptr;
    if (still_up != nullptr) closeBox(still_up);
  };
  first.timeout_ms = 180000;
  const ProcessResult first_result = runProcess(first);
  ASSERT_TRUE(first_box.seen);
  ASSERT_TRUE(second.started) << second.start_error;
  EXPECT_EQ(second.err, narrow(openFailure()) + "\r\n");
  EXPECT_EQ(second.exit_code, static_cast<DWORD>(kFatalExitCode));
  EXPECT_TRUE(box_up_after_second);
  EXPECT_EQ(first_result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

// Nobody clicks: the box goes by itself, and the report ends the program as it would have.
TEST(ReportBox, ClosesByItselfAfterItsTimeOut) {
  SeenBox box;
  const ProcessResult result = runProcess(boxProbe(L"box 1500 \"nobody reads this\"", box, false));
  EXPECT_FALSE(result.timed_out);
  EXPECT_TRUE(box.seen);
  EXPECT_EQ(narrow(box.text), "nobody reads this");
  EXPECT_EQ(result.exit_code, 1u);  // shown, then gone by itself
}

// A window station of our own is not interactive, as a service's or a scheduled task's is not:
// a box there would wait for a user who cannot exist.
TEST(ReportBox, NotShownOnAStationNobodySees) {
  HWINSTA own = GetProcessWindowStation();
  HWINSTA hidden = CreateWindowStationW(L"onefile-test-hidden", 0, WINSTA_ALL_ACCESS, nullptr);
  ASSERT_NE(hidden, nullptr) << GetLastError();
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  ASSERT_TRUE(GetUserObjectInformationW(hidden, UOI_FLAGS, &flags, sizeof flags, &needed));
  if ((flags.dwFlags & WSF_VISIBLE) != 0) GTEST_SKIP() << "this system makes a new window station interactive";
  ASSERT_TRUE(SetProcessWindowStation(hidden));
  HDESK desktop = CreateDesktopW(L"Default", nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  SetProcessWindowStation(own);
  ASSERT_NE(desktop, nullptr) << GetLastError();

  SeenBox box;
  ProcessOptions options = boxProbe(L"box 30000 \"nobody can read this\"", box, true);
  options.desktop = L"onefile-test-hidden\\Default";
  const ProcessResult result = runProcess(options);
  CloseDesktop(desktop);
  CloseWindowStation(hidden);
  ASSERT_TRUE(result.started) << result.start_error;
  EXPECT_FALSE(result.timed_out);
  EXPECT_FALSE(box.seen);
  EXPECT_EQ(result.exit_code, 0u);
}

}  // namespace
