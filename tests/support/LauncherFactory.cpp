#include "LauncherFactory.h"

#include <sstream>

#include "ProcessRunner.h"

std::wstring defaultLauncherStub() { return fullPath(L"onefile-launcher.exe"); }

bool makeLauncher(const std::wstring& output, const std::string& payload_resource, const std::string& splash_png,
                  std::wstring* why, const std::wstring& stub) {
  if (!CopyFileW(stub.c_str(), output.c_str(), FALSE)) {
    *why = L"copy of the stub failed: " + std::to_wstring(GetLastError());
    return false;
  }
  if (!payload_resource.empty() && !addDataResource(output, 27, payload_resource, why)) return false;
  return splash_png.empty() || addDataResource(output, 28, splash_png, why);
}

bool addDataResource(const std::wstring& executable, WORD id, const std::string& bytes, std::wstring* why) {
  HANDLE update = BeginUpdateResourceW(executable.c_str(), FALSE);
  if (update == nullptr) {
    *why = L"BeginUpdateResourceW failed: " + std::to_wstring(GetLastError());
    return false;
  }
  const bool ok = UpdateResourceW(update, RT_RCDATA, MAKEINTRESOURCEW(id), MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL),
                                  const_cast<char*>(bytes.data()), static_cast<DWORD>(bytes.size()));
  if (!ok) *why = L"UpdateResourceW failed: " + std::to_wstring(GetLastError());
  if (!EndUpdateResourceW(update, ok ? FALSE : TRUE) && ok) {
    *why = L"EndUpdateResourceW failed: " + std::to_wstring(GetLastError());
    return false;
  }
  return ok;
}

std::string readFileBytes(const std::wstring& path) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char chunk[65536];
  DWORD got = 0;
  while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
  CloseHandle(file);
  return bytes;
}

std::map<std::string, std::string> readReportFile(const std::wstring& path) {
  std::map<std::string, std::string> report;
  std::istringstream lines(readFileBytes(path));
  for (std::string line; std::getline(lines, line);) {
    const size_t equals = line.find('=');
    if (equals != std::string::npos) report[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return report;
}

bool writeFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == bytes.size();
}

std::wstring makeTemporaryDirectory(const std::wstring& name) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = std::wstring(temp) + L"onefile-test-" + name + L"-" + std::to_wstring(GetCurrentProcessId());
  removeTree(path);
  CreateDirectoryW(path.c_str(), nullptr);
  return path;
}

void removeTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        removeTree(child);
      } else {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(child.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}
