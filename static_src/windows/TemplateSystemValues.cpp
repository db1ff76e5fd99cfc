#include "TemplateSystemValues.h"

#include <windows.h>
#include <shlobj.h>

static_assert(kFolderPathCapacity == MAX_PATH, "the folder queries write into MAX_PATH buffers");

// Sizes beyond what a DWORD holds are given as the largest DWORD: the system never needs more.
static DWORD roomAsDword(size_t room) { return room > MAXDWORD ? MAXDWORD : static_cast<DWORD>(room); }

uint32_t writeTemporaryDirectory(WideUnit* destination, size_t room) {
  return GetTempPathW(roomAsDword(room), destination);
}

uint32_t writeProgramPath(WideUnit* destination, size_t room) {
  return GetModuleFileNameW(nullptr, destination, roomAsDword(room));
}

bool readProfileDirectory(FolderPath& folder) {
  return SHGetFolderPathW(nullptr, CSIDL_PROFILE, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK;
}

bool readLocalAppDataDirectory(FolderPath& folder) {
  return SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) == S_OK;
}

uint32_t currentProcessId() { return GetCurrentProcessId(); }

uint64_t currentFileTime() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  return (static_cast<uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}
