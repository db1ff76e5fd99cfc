#include "RecordedStates.h"

#include <windows.h>

#include "FolderStates.h"
#include "WideString.h"

namespace {

uint64_t volume_serial = 0;
FolderStates Listed;
WideBuffer<4096> ListedFolder;
bool folder_listed = false;
// Each query fills it with as many entries as fit.
alignas(8) uint8_t ListingBuffer[65536];

uint64_t asNumber(const LARGE_INTEGER& value) { return static_cast<uint64_t>(value.QuadPart); }

void addEntries(const uint8_t* bytes) {
  for (;;) {
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
    // Only regular files: a link or a folder where a payload file belongs is the content check's.
    if ((entry->FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0) {
      RecordedFileState state = {asNumber(entry->EndOfFile), asNumber(entry->LastWriteTime),
                                 asNumber(entry->ChangeTime), volume_serial, {0}};
      const uint64_t id = asNumber(entry->FileId);
      for (size_t i = 0; i < 8; ++i) state.file_id[i] = static_cast<uint8_t>(id >> (8 * i));
      addFolderState(Listed, entry->FileName, entry->FileNameLength / sizeof(WideUnit), state);
    }
    if (entry->NextEntryOffset == 0) return;
    bytes += entry->NextEntryOffset;
  }
}

void listFolder(const WideUnit* folder) {
  clearFolderStates(Listed);
  // The folder itself, never what a link in its place points to.
  HANDLE handle = CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return;
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  while (GetFileInformationByHandleEx(handle, query, ListingBuffer, sizeof ListingBuffer)) {
    addEntries(ListingBuffer);
    query = FileIdBothDirectoryInfo;
  }
  CloseHandle(handle);
}

bool isRemote(const WideUnit* directory, HANDLE handle) {
  WideBuffer<4096> root;
  if (GetVolumePathNameW(directory, root, 4096) && GetDriveTypeW(root) == DRIVE_REMOTE) return true;
  // Succeeds only for a file reached through a network redirector.
  FILE_REMOTE_PROTOCOL_INFO protocol;
  return GetFileInformationByHandleEx(handle, FileRemoteProtocolInfo, &protocol, sizeof protocol) != 0;
}

}  // namespace

bool volumeKeepsFileStates(const WideUnit* directory) {
  HANDLE handle = CreateFileW(directory, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  WideUnit file_system[MAX_PATH + 1] = {0};
  DWORD serial = 0;
  const bool known = GetVolumeInformationByHandleW(handle, nullptr, 0, &serial, nullptr, nullptr, file_system,
                                                   MAX_PATH + 1) != 0;
  const bool keeps = known && (wcscmp(file_system, L"NTFS") == 0 || wcscmp(file_system, L"ReFS") == 0) &&
                     !isRemote(directory, handle);
  CloseHandle(handle);
  volume_serial = serial;
  return keeps;
}

bool currentFileState(const WideUnit* path, RecordedFileState& state) {
  size_t folder_length = wideLength(path);
  while (folder_length > 0 && path[folder_length - 1] != '\\') --folder_length;
  if (folder_length < 2) return false;
  const WideUnit* name = path + folder_length;
  --folder_length;  // without its "\"
  if (!folder_listed || wideLength(ListedFolder) != folder_length ||
      wcsncmp(ListedFolder, path, folder_length) != 0) {
    copyWideString(ListedFolder, path);
    ListedFolder[folder_length] = 0;
    listFolder(ListedFolder);
    folder_listed = true;
  }
  const RecordedFileState* listed = findFolderState(Listed, name);
  if (listed == nullptr) return false;
  state = *listed;
  return true;
}

void forgetListedFolder() { folder_listed = false; }
