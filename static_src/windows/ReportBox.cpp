#include "ReportBox.h"

#include "DesktopLibraries.h"
#include "OnefileSplashScreen.h"
#include "ProductName.h"

namespace {

bool isUsable(HANDLE handle) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  // A handle of a kind the system does not know still works; a closed or foreign one does not.
  SetLastError(NO_ERROR);
  return GetFileType(handle) != FILE_TYPE_UNKNOWN || GetLastError() == NO_ERROR;
}

bool onInteractiveStation(const User32& user) {
  HWINSTA station = user.GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  return station != nullptr && user.GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, &needed) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

// The box's own message loop dispatches the timer; the quit message ends the box (and is put back
// into the queue, where the caller takes it out again).
void CALLBACK endReportBox(HWND, UINT, UINT_PTR, DWORD) { user32()->PostQuitMessage(0); }

}  // namespace

bool showReportIfUnseen(DWORD standard_stream, const WideUnit* line, DWORD timeout) {
  if (isUsable(GetStdHandle(standard_stream))) return false;
  const User32* user = user32();
  if (user == nullptr || !onInteractiveStation(*user)) return false;
  // The splash would stand for an application that is still coming.
  dismissSplash();
  const UINT_PTR timer = user->SetTimer(nullptr, 0, timeout, endReportBox);
  user->MessageBoxW(nullptr, line, productName(), MB_OK | MB_ICONERROR | MB_SETFOREGROUND);
  if (timer != 0) user->KillTimer(nullptr, timer);
  MSG quit;
  user->PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
  return true;
}
