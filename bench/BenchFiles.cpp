#include "BenchFiles.h"

#include <shlobj.h>

#include <cstdio>
#include <sstream>

#include "Crc32.h"
#include "ProcessRunner.h"

std::vector<ManifestEntry> readManifest(const std::wstring& path) {
  std::vector<ManifestEntry> entries;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return entries;
  char line[8192];
  while (std::fgets(line, sizeof line, file) != nullptr) {
    unsigned long long size = 0;
    unsigned long checksum = 0;
    int name_at = 0;
    if (std::sscanf(line, "%llu %lu %n", &size, &checksum, &name_at) != 2 || name_at == 0) {
      entries.clear();
      break;
    }
    std::string name = line + name_at;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
    entries.push_back({size, static_cast<uint32_t>(checksum), widen(name)});
  }
  std::fclose(file);
  return entries;
}

uint32_t mappedChecksum(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER length;
  uint32_t checksum = 0;
  if (GetFileSizeEx(file, &length)) {
    if (length.QuadPart == 0) {
      checksum = storedChecksum(0);
    } else if (HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr)) {
      if (const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0)) {
        checksum = storedChecksum(crc32Update(0, view, static_cast<uint64_t>(length.QuadPart)));
        UnmapViewOfFile(view);
      }
      CloseHandle(mapping);
    }
  }
  CloseHandle(file);
  return checksum;
}

uint32_t readChecksum(const std::wstring& path) {
  static std::vector<uint8_t> buffer(1 << 20);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  uint32_t crc = 0;
  bool ok = true;
  for (DWORD got = 0;; crc = crc32Update(crc, buffer.data(), got)) {
    ok = ReadFile(file, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) != 0;
    if (!ok || got == 0) break;
  }
  CloseHandle(file);
  return ok ? storedChecksum(crc) : 0;
}

void createDirectories(const std::wstring& path) {
  // Past the drive's root: "C:\" itself always exists.
  for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);
  CreateDirectoryW(path.c_str(), nullptr);
}

std::wstring parentOf(const std::wstring& path) {
  const size_t at = path.rfind(L'\\');
  return at == std::wstring::npos ? std::wstring() : path.substr(0, at);
}

std::wstring extractionDirectory(const std::wstring& folder) {
  wchar_t local[MAX_PATH];
  if (folder.empty() || FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, local)))
    return L"";
  return std::wstring(local) + L"\\" + folder;
}
