// A console application for the tests of console launchers: it reports whether it shares its
// console with the launcher that started it, and ends with a given code.
//   console-child REPORT EXIT_CODE
// REPORT gets "key=value" lines: has_console (0 or 1) and shares_launcher_console (1 when the
// launcher's process id, from TOLVAR_ONEFILE_PARENT, is attached to this console too).
#include <windows.h>

#include <stdlib.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) return 64;
  wchar_t parent[32] = L"";
  GetEnvironmentVariableW(L"TOLVAR_ONEFILE_PARENT", parent, 32);
  const DWORD launcher_id = wcstoul(parent, nullptr, 10);
  DWORD attached[64];
  const DWORD count = GetConsoleProcessList(attached, 64);
  bool shares = false;
  for (DWORD i = 0; i < count && i < 64; ++i) shares = shares || attached[i] == launcher_id;
  const std::string report = "has_console=" + std::to_string(GetConsoleWindow() != nullptr || count > 0 ? 1 : 0) +
                             "\nshares_launcher_console=" + std::to_string(shares ? 1 : 0) + "\n";
  const std::wstring part = std::wstring(argv[1]) + L".part";
  HANDLE file = CreateFileW(part.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(file, report.data(), static_cast<DWORD>(report.size()), &written, nullptr);
  CloseHandle(file);
  MoveFileExW(part.c_str(), argv[1], MOVEFILE_REPLACE_EXISTING);
  return static_cast<int>(wcstoul(argv[2], nullptr, 0));
}
