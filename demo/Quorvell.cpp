// The demo application that scripts/demo packs and starts through the launcher. It prints what
// the launcher handed it (arguments, the hand-off variables, its current directory), the identity
// that the launcher carries in its version resource, shows that its library and data files were
// unpacked beside it, dismisses the splash screen after a short
// visible moment by deleting the feedback file, and ends with an exit code the caller can see.
//
// Options among its arguments: --exit-code=N (default 7), --splash-ms=N (default 1500).
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "QuorvellCore.h"

namespace {

void printUtf8(const std::wstring& text) {
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), length, nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
}

void printLine(const std::wstring& text) { printUtf8(text + L"\n"); }

std::wstring environmentValue(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  if (length == 0 || length >= 32768) return L"(not set)";
  return value;
}

std::wstring directoryOf(const std::wstring& path) { return path.substr(0, path.find_last_of(L'\\')); }

std::wstring modulePath(HMODULE module) {
  wchar_t path[32768];
  const DWORD length = GetModuleFileNameW(module, path, 32768);
  return std::wstring(path, length);
}

std::wstring firstLineOf(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return L"(missing)";
  char line[256] = {0};
  if (fgets(line, sizeof line, file) == nullptr) line[0] = 0;
  fclose(file);
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  wchar_t wide[256];
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide, 256);
  return L"\"" + std::wstring(wide, static_cast<size_t>(length)) + L"\"";
}

// What Explorer shows under Properties > Details of the executable: its version resource's
// strings in the table of its first translation.
std::wstring versionIdentity(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return L"(no version resource)";
  std::string block(size, '\0');
  if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return L"(unreadable version resource)";
  void* translation_data = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", &translation_data, &length) || length < 4) {
    return L"(no translation)";
  }
  const WORD* translation = static_cast<const WORD*>(translation_data);
  auto value = [&](const wchar_t* key) -> std::wstring {
    wchar_t query[128];
    swprintf(query, 128, L"\\StringFileInfo\\%04x%04x\\%ls", translation[0], translation[1], key);
    void* text = nullptr;
    UINT units = 0;
    if (!VerQueryValueW(block.data(), query, &text, &units) || units == 0) return L"(none)";
    return static_cast<const wchar_t*>(text);
  };
  return value(L"ProductName") + L" " + value(L"ProductVersion") + L" by " + value(L"CompanyName") + L", \"" +
         value(L"FileDescription") + L"\"";
}

// The launcher names the file after its own process id, which it hands on in
// TOLVAR_ONEFILE_PARENT: %TEMP%\onefile_<id>_splash_feedback.tmp.
std::wstring splashFeedbackPath() {
  wchar_t temp[MAX_PATH + 1];
  DWORD length = GetEnvironmentVariableW(L"TEMP", temp, MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) length = GetTempPathW(MAX_PATH + 1, temp);
  std::wstring directory(temp, length);
  while (!directory.empty() && directory.back() == L'\\') directory.pop_back();
  return directory + L"\\onefile_" + environmentValue(L"TOLVAR_ONEFILE_PARENT") + L"_splash_feedback.tmp";
}

int numberOption(int argc, wchar_t** argv, const std::wstring& prefix, int fallback) {
  for (int i = 1; i < argc; ++i) {
    const std::wstring argument = argv[i];
    if (argument.compare(0, prefix.size(), prefix) == 0) return _wtoi(argument.c_str() + prefix.size());
  }
  return fallback;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const int exit_code = numberOption(argc, argv, L"--exit-code=", 7);
  const int splash_ms = numberOption(argc, argv, L"--splash-ms=", 1500);

  printLine(L"Quorvell demo: started by the onefile launcher");
  printLine(L"arguments (" + std::to_wstring(argc) + L"):");
  for (int i = 0; i < argc; ++i) printLine(L"  [" + std::to_wstring(i) + L"] " + argv[i]);
  printLine(L"environment:");
  for (const wchar_t* name : {L"TOLVAR_ONEFILE_PARENT", L"TOLVAR_ONEFILE_START", L"TOLVAR_ONEFILE_DIRECTORY",
                              L"TOLVAR_ORIGINAL_ARGV0"}) {
    printLine(std::wstring(L"  ") + name + L"=" + environmentValue(name));
  }
  wchar_t current[32768];
  const DWORD current_length = GetCurrentDirectoryW(32768, current);
  printLine(L"current directory: " + std::wstring(current, current_length));
  // Argument zero is the launcher's own full path.
  printLine(L"launcher identity: " + versionIdentity(argv[0]));

  const std::wstring program = modulePath(nullptr);
  const std::wstring home = directoryOf(program);
  printLine(L"program: " + program);
  printLine(L"library: " + modulePath(GetModuleHandleW(L"QuorvellCore.dll")) + L" says \"" + quorvellMotto() + L"\"");
  for (const wchar_t* name : {L"data\\greeting.txt", L"data\\levels\\level-1.txt", L"data\\Gr\u00fc\u00dfe.txt"}) {
    printLine(std::wstring(L"  ") + name + L": " + firstLineOf(home + L"\\" + name));
  }
  fflush(stdout);

  Sleep(static_cast<DWORD>(splash_ms));
  const std::wstring feedback = splashFeedbackPath();
  if (DeleteFileW(feedback.c_str())) {
    printLine(L"splash dismissed after " + std::to_wstring(splash_ms) + L" ms (deleted " + feedback + L")");
  } else {
    printLine(L"no splash to dismiss (" + feedback + L" is not there)");
  }
  printLine(L"exiting with code " + std::to_wstring(exit_code));
  fflush(stdout);
  return exit_code;
}
