// An application for splash tests: it finds its launcher's splash window and feedback file the way
// a packed application would, reports them to a file, and dismisses the splash or not.
//   splash-child REPORT delete|keep|look
//   delete  report, delete the feedback file, wait until the splash window is gone, exit 7
//   keep    report, wait for several of the launcher's polls, report again, exit 0; the file stays
//   look    report, exit 5
//   ping    report, send the splash window a message that only a thread which reads its messages
//           answers, report whether it did, delete the feedback file, exit 7
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

#include <string>

namespace {

struct Found {
  DWORD process_id;
  HWND window;
};

BOOL CALLBACK findSplash(HWND window, LPARAM parameter) {
  Found* found = reinterpret_cast<Found*>(parameter);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  char class_name[32] = "";
  GetClassNameA(window, class_name, sizeof class_name);
  if (owner == found->process_id && strcmp(class_name, "Splash") == 0 && IsWindowVisible(window)) {
    found->window = window;
    return FALSE;
  }
  return TRUE;
}

HWND launcherSplash(DWORD launcher_id) {
  Found found = {launcher_id, nullptr};
  EnumWindows(findSplash, reinterpret_cast<LPARAM>(&found));
  return found.window;
}

std::string text;

void add(const char* key, const std::string& value) { text += std::string(key) + "=" + value + "\n"; }
void add(const char* key, long long value) { add(key, std::to_string(value)); }

void publish(const wchar_t* path) {
  const std::wstring part = std::wstring(path) + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(part.c_str(), path, MOVEFILE_REPLACE_EXISTING);
}

void describeSplash(const char* prefix, HWND window) {
  add((std::string(prefix) + "window").c_str(), window != nullptr ? 1 : 0);
  if (window == nullptr) return;
  RECT r = {0, 0, 0, 0};
  GetWindowRect(window, &r);
  add((std::string(prefix) + "rect").c_str(), std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                                                  std::to_string(r.right) + " " + std::to_string(r.bottom));
  add((std::string(prefix) + "handle").c_str(), static_cast<long long>(reinterpret_cast<uintptr_t>(window)));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 64;
  const std::wstring mode = argv[2];

  // The launcher's process id and temporary directory, as the child inherits them.
  wchar_t parent[32] = L"";
  GetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", parent, 32);
  wchar_t temporary[MAX_PATH] = L"";
  GetTempPathW(MAX_PATH, temporary);
  std::wstring feedback = temporary;
  if (!feedback.empty() && feedback.back() == L'\\') feedback.pop_back();
  feedback += L"\\onefile_" + std::wstring(parent) + L"_splash_feedback.tmp";
  const DWORD launcher_id = static_cast<DWORD>(wcstoul(parent, nullptr, 10));

  WIN32_FILE_ATTRIBUTE_DATA data;
  const bool present = GetFileAttributesExW(feedback.c_str(), GetFileExInfoStandard, &data) != 0;
  add("feedback_exists", present ? 1 : 0);
  if (present) add("feedback_size", static_cast<long long>(data.nFileSizeLow));
  const HWND splash = launcherSplash(launcher_id);
  describeSplash("", splash);

  if (mode == L"delete") {
    add("deleted", DeleteFileW(feedback.c_str()) ? 1 : 0);
    // A hang guard only: the launcher's next poll, 50 ms on, should destroy the window.
    int waited = 0;
    while (splash != nullptr && IsWindow(splash) && waited < 30000) {
      Sleep(10);
      waited += 10;
    }
    add("window_gone", splash != nullptr && !IsWindow(splash) ? 1 : 0);
    publish(argv[1]);
    return 7;
  }
  if (mode == L"ping") {
    // What the system does before it calls a window hung; 20 s is a hang guard.
    DWORD_PTR answer = 0;
    const bool answered =
        splash != nullptr && SendMessageTimeoutW(splash, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer) != 0;
    add("answered", answered ? 1 : 0);
    DeleteFileW(feedback.c_str());
    publish(argv[1]);
    return 7;
  }
  if (mode == L"keep") {
    Sleep(500);
    describeSplash("later_", launcherSplash(launcher_id));
    publish(argv[1]);
    return 0;
  }
  publish(argv[1]);
  return 5;
}
