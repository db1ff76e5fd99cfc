#include "DesktopLibraries.h"

namespace {

HMODULE loadSystemLibrary(const wchar_t* name) {
  return LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
}

// Through the generic function pointer type, which converts to and from every other one.
template <typename Function>
bool bind(HMODULE module, const char* name, Function& slot) {
  const FARPROC found = GetProcAddress(module, name);
  slot = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found));
  return found != nullptr;
}

#define BIND(table, function) bind(module, #function, (table).function)

bool bindUser32(User32& table) {
  HMODULE module = loadSystemLibrary(L"user32.dll");
  return module != nullptr && BIND(table, GetDC) && BIND(table, ReleaseDC) && BIND(table, LoadCursorA) &&
         BIND(table, RegisterClassA) && BIND(table, DefWindowProcA) && BIND(table, CreateWindowExA) &&
         BIND(table, MonitorFromPoint) && BIND(table, GetMonitorInfoA) && BIND(table, UpdateLayeredWindow) &&
         BIND(table, IsWindow) && BIND(table, DestroyWindow) && BIND(table, MsgWaitForMultipleObjectsEx) &&
         BIND(table, PeekMessageA) && BIND(table, TranslateMessage) && BIND(table, DispatchMessageA) &&
         BIND(table, GetProcessWindowStation) && BIND(table, GetUserObjectInformationW) && BIND(table, SetTimer) &&
         BIND(table, KillTimer) && BIND(table, PostQuitMessage) && BIND(table, PeekMessageW) &&
         BIND(table, MessageBoxW);
}

bool bindGdi32(Gdi32& table) {
  HMODULE module = loadSystemLibrary(L"gdi32.dll");
  return module != nullptr && BIND(table, CreateDIBSection) && BIND(table, GetObjectA) &&
         BIND(table, CreateCompatibleDC) && BIND(table, SelectObject) && BIND(table, DeleteDC) &&
         BIND(table, DeleteObject);
}

bool bindOle32(Ole32& table) {
  HMODULE module = loadSystemLibrary(L"ole32.dll");
  return module != nullptr && BIND(table, CoInitialize) && BIND(table, CreateStreamOnHGlobal) &&
         BIND(table, CoCreateInstance);
}

bool bindWindowsCodecs(WindowsCodecs& table) {
  HMODULE module = loadSystemLibrary(L"windowscodecs.dll");
  return module != nullptr && BIND(table, WICConvertBitmapSource);
}

#undef BIND

}  // namespace

// Each table is filled once, by the first caller; the initialisation of a local static waits for
// a second thread that comes meanwhile.
template <typename Table, bool (*bindTable)(Table&)>
const Table* boundTable() {
  static Table table;
  static const bool bound = bindTable(table);
  return bound ? &table : nullptr;
}

const User32* user32() { return boundTable<User32, bindUser32>(); }
const Gdi32* gdi32() { return boundTable<Gdi32, bindGdi32>(); }
const Ole32* ole32() { return boundTable<Ole32, bindOle32>(); }
const WindowsCodecs* windowsCodecs() { return boundTable<WindowsCodecs, bindWindowsCodecs>(); }
