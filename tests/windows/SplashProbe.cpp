// Shows the splash from its own resource 28 exactly as the launcher does, then tells a test what
// came of it in a report file of "key=value" lines (written whole, then renamed into place, so a
// report that exists is complete):
//   splash-probe REPORT [MODE]
// Modes:
//   show        show, report, end.
//   hold        show, report, then poll the feedback file every 50 ms in the launcher's wait;
//               when a poll ends the splash, write REPORT.dismissed; end when REPORT.stop appears
//               (the child's end).
//   polls       show, then poll, delete the feedback file, poll, put the file back, poll again.
//   leftover    leave a non-empty file of the feedback file's name first, then show.
//   no-temp     point the temporary directory at a folder that does not exist, show, poll once.
//   trap-class  register a "Splash" class whose windows refuse to be created, then show.
#include <windows.h>
#include <objbase.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

#include "LauncherBuildConfig.h"
#include "LocationTemplate.h"
#include "OnefileSplashScreen.h"

namespace {

std::wstring report_path;
std::string report;

void add(const char* key, const std::string& value) { report += std::string(key) + "=" + value + "\n"; }
void add(const char* key, long long value) { add(key, std::to_string(value)); }

std::string utf8(const wchar_t* text) {
  char buffer[4 * 4096];
  const int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, nullptr, nullptr);
  return length > 0 ? std::string(buffer, static_cast<size_t>(length - 1)) : std::string();
}

std::string rectangle(const RECT& r) {
  return std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right) + " " +
         std::to_string(r.bottom);
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void writeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void publish(const std::wstring& path) {
  writeFile(path + L".part", report);
  MoveFileExW((path + L".part").c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING);
}

void describeWindow(HWND window) {
  add("window", window != nullptr ? 1 : 0);
  if (window == nullptr) return;
  char class_name[64] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  add("class", class_name);
  char title[64] = "";
  add("title_length", GetWindowTextA(window, title, sizeof title));
  add("style", static_cast<long long>(static_cast<DWORD>(GetWindowLongA(window, GWL_STYLE))));
  add("exstyle", static_cast<long long>(static_cast<DWORD>(GetWindowLongA(window, GWL_EXSTYLE))));
  add("owner", GetWindow(window, GW_OWNER) != nullptr ? 1 : 0);
  add("visible", IsWindowVisible(window) ? 1 : 0);
  add("same_thread", GetWindowThreadProcessId(window, nullptr) == GetCurrentThreadId() ? 1 : 0);
  RECT placed = {0, 0, 0, 0};
  GetWindowRect(window, &placed);
  add("rect", rectangle(placed));
}

void describeFeedback() {
  add("pending", splashFeedbackPending ? 1 : 0);
  add("feedback", utf8(splashFeedbackPath));
  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool present = splashFeedbackPath[0] != 0 && GetFileAttributesExW(splashFeedbackPath, GetFileExInfoStandard, &data);
  add("feedback_exists", present ? 1 : 0);
  if (present) add("feedback_size", static_cast<long long>(data.nFileSizeLow));
}

LRESULT CALLBACK refuseCreation(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) return FALSE;
  return DefWindowProcA(window, message, w, l);
}

void prepare(const std::wstring& mode) {
  // Process ids come round again soon: a file an earlier run left under this id goes first, so
  // that a file seen afterwards is this run's.
  WideBuffer<4096> path = {0};
  const WideUnit feedback_template[] = WIDE_TEXT(ONEFILE_SPLASH_FEEDBACK_TEMPLATE);
  if (expandLocationTemplate(path, feedback_template, 4096)) DeleteFileW(path);

  if (mode == L"leftover") {
    writeFile(path, "left over from an earlier run");
    add("leftover_written", exists(path) ? 1 : 0);
  } else if (mode == L"no-temp") {
    SetEnvironmentVariableW(L"TMP", L"C:\\onefile-no-such-folder\\below");
    SetEnvironmentVariableW(L"TEMP", L"C:\\onefile-no-such-folder\\below");
  } else if (mode == L"trap-class") {
    WNDCLASSA trap = {};
    trap.lpfnWndProc = refuseCreation;
    trap.lpszClassName = "Splash";
    add("trap_registered", RegisterClassA(&trap) != 0 ? 1 : 0);
  }
}

void pollSequence() {
  HWND shown = splash_window;
  add("poll_while_present", pollSplashFeedback() ? 1 : 0);
  add("window_after_first_poll", splash_window != nullptr && IsWindow(splash_window) ? 1 : 0);
  DeleteFileW(splashFeedbackPath);
  add("poll_after_delete", pollSplashFeedback() ? 1 : 0);
  add("handle_cleared", splash_window == nullptr ? 1 : 0);
  add("window_destroyed", shown != nullptr && !IsWindow(shown) ? 1 : 0);
  add("pending_after_delete", splashFeedbackPending ? 1 : 0);
  writeFile(splashFeedbackPath, "");
  add("poll_after_recreate", pollSplashFeedback() ? 1 : 0);
  DeleteFileW(splashFeedbackPath);
}

void hold() {
  const std::wstring stop = report_path + L".stop";
  while (!exists(stop)) {
    if (!pollSplashFeedback()) break;
    // The launcher's own wait: it dispatches the window's messages. Under Wine a window whose
    // thread never reads them may never reach the X screen, or leave it (Windows shows and hides a
    // layered window without them).
    waitKeepingSplashResponsive(GetCurrentProcess(), 50);
  }
  if (!exists(stop)) {
    report.clear();
    describeWindow(splash_window);
    describeFeedback();
    publish(report_path + L".dismissed");
  }
  for (int waited = 0; waited < 120000 && !exists(stop); waited += 20) Sleep(20);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  if (__argc < 2) return 64;
  report_path = __wargv[1];
  const std::wstring mode = __argc >= 3 ? __wargv[2] : L"show";

  // As the launcher does first: {PID} in the feedback file name is this process's id.
  SetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", std::to_wstring(GetCurrentProcessId()).c_str());
  add("pid", static_cast<long long>(GetCurrentProcessId()));
  prepare(mode);

  showSplash();

  // A second initialisation on the same thread answers S_FALSE: showSplash initialised COM.
  // Where it did not, this one is the first and answers S_OK.
  const HRESULT again = CoInitialize(nullptr);
  add("com_initialised", again == S_FALSE ? 1 : 0);
  describeWindow(splash_window);
  RECT work = {0, 0, 0, 0};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  add("work", rectangle(work));
  describeFeedback();

  if (mode == L"polls") pollSequence();
  if (mode == L"no-temp") {
    add("first_poll", pollSplashFeedback() ? 1 : 0);
    add("handle_cleared", splash_window == nullptr ? 1 : 0);
  }
  publish(report_path);
  if (mode == L"hold") hold();
  return 0;
}
