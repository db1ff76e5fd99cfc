// An application for the tests of builds side by side: it does what its arguments say, in order,
// and ends with the code of "--exit" (0 without one).
//   --write NAME TEXT   writes TEXT into NAME, relative to its own folder (folders made as needed)
//   --hold PATH         creates PATH.running, then waits until PATH exists (at most five minutes),
//                       so that a test knows it runs and decides when it ends
//   --exit N            its exit code
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include <string>

namespace {

std::wstring ownFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.rfind(L'\\'));
}

void writeBeside(const std::wstring& name, const std::wstring& text) {
  const std::wstring path = ownFolder() + L"\\" + name;
  for (size_t at = path.find(L'\\', ownFolder().size() + 1); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) ExitProcess(90);
  const std::string bytes(text.begin(), text.end());
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
}

void hold(const std::wstring& path) {
  HANDLE running = CreateFileW((path + L".running").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  CloseHandle(running);
  for (int waited = 0; waited < 300000; waited += 10) {
    if (GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    Sleep(10);
  }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  int exit_code = 0;
  for (int i = 1; i < argc; ++i) {
    const std::wstring option = argv[i];
    if (option == L"--write" && i + 2 < argc) {
      writeBeside(argv[i + 1], argv[i + 2]);
      i += 2;
    } else if (option == L"--hold" && i + 1 < argc) {
      hold(argv[++i]);
    } else if (option == L"--exit" && i + 1 < argc) {
      exit_code = _wtoi(argv[++i]);
    }
  }
  return exit_code;
}
