// The bench's application with the two calls the launcher needs shell32 for: the user's local
// application-data folder and the split of its command line. Beside bench-child.exe (the same
// application without them), it shows what importing shell32 costs a start.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

int main() {
  wchar_t folder[MAX_PATH];
  int count = 0;
  const bool found = SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK;
  return found && CommandLineToArgvW(GetCommandLineW(), &count) != nullptr ? 42 : 1;
}
