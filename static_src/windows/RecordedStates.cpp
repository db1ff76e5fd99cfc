#include "RecordedStates.h"

#include <windows.h>

#include "CachedFileState.h"
#include "FolderStates.h"
#include "WideString.h"

namespace {

uint64_t volume_serial = 0;
// The listings of the folders on the way to the file looked at last, outermost first. Each level's
// folder is the first ListedLength[level] units of ListedPath, which holds the innermost one.
FolderStates Listed;
WideBuffer<4096> ListedPath;
uint16_t ListedLength[kFolderLevelsCapacity];
bool ListedWhole[kFolderLevelsCapacity];  // false when the folder could not be listed
// Each query fills it with as many entries as fit.
alignas(8) uint8_t ListingBuffer[65536];

uint64_t asNumber(const LARGE_INTEGER& value) { return static_cast<uint64_t>(value.QuadPart); }

bool isDotEntry(const FILE_ID_BOTH_DIR_INFO& entry) {
  const size_t units = entry.FileNameLength / sizeof(WideUnit);
  return entry.FileName[0] == L'.' && (units == 1 || (units == 2 && entry.FileName[1] == L'.'));
}

void addEntries(const uint8_t* bytes) {
  for (;;) {
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes);
    const size_t units = entry->FileNameLength / sizeof(WideUnit);
    if ((entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
      addFolderEntry(Listed, entry->FileName, units, ListedKind::link, {});
    } else if ((entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      if (!isDotEntry(*entry)) addFolderEntry(Listed, entry->FileName, units, ListedKind::folder, {});
    } else {
      RecordedFileState state = {asNumber(entry->EndOfFile), asNumber(entry->LastWriteTime),
                                 asNumber(entry->ChangeTime), volume_serial, {0}};
      const uint64_t id = asNumber(entry->FileId);
      for (size_t i = 0; i < 8; ++i) state.file_id[i] = static_cast<uint8_t>(id >> (8 * i));
      addFolderEntry(Listed, entry->FileName, units, ListedKind::file, state);
    }
    if (entry->NextEntryOffset == 0) return;
    bytes += entry->NextEntryOffset;
  }
}

// Lists `folder` into the top listing; false when it cannot be opened or read.
bool listFolder(const WideUnit* folder) {
  // The folder itself, never what a link in its place points to.
  HANDLE handle = CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  FILE_INFO_BY_HANDLE_CLASS query = FileIdBothDirectoryRestartInfo;
  bool whole = false;
  while (GetFileInformationByHandleEx(handle, query, ListingBuffer, sizeof ListingBuffer)) {
    addEntries(ListingBuffer);
    query = FileIdBothDirectoryInfo;
  }
  whole = GetLastError() == ERROR_NO_MORE_FILES;
  CloseHandle(handle);
  return whole;
}

// The level of the listing of the folder that is the first `length` units of `path`, listing it
// when it is not on the stack yet; -1 when the stack has no room for it. Listings of folders that
// are neither that folder nor above it are dropped first.
int listingOf(const WideUnit* path, size_t length) {
  while (Listed.level_count > 0) {
    const size_t listed = ListedLength[Listed.level_count - 1];
    const bool on_way = listed <= length && (listed == length || path[listed] == L'\\') &&
                        wcsncmp(ListedPath, path, listed) == 0;
    if (on_way) break;
    dropFolderListing(Listed);
  }
  const uint32_t top = Listed.level_count;
  if (top > 0 && ListedLength[top - 1] == length) return static_cast<int>(top - 1);
  if (!beginFolderListing(Listed)) return -1;
  memcpy(ListedPath, path, length * sizeof(WideUnit));
  ListedPath[length] = 0;
  ListedLength[top] = static_cast<uint16_t>(length);
  ListedWhole[top] = listFolder(ListedPath);
  return static_cast<int>(top);
}

// The length of the folder part of `path`, without its last "\"; 0 when there is none to list.
size_t folderLengthOf(const WideUnit* path) {
  size_t length = wideLength(path);
  while (length > 0 && path[length - 1] != L'\\') --length;
  return length < 2 || length - 1 >= 4096 ? 0 : length - 1;
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
  const size_t folder_length = folderLengthOf(path);
  if (folder_length == 0) return false;
  const int level = listingOf(path, folder_length);
  if (level < 0) return false;
  const FolderEntry* listed = findListedEntry(Listed, static_cast<uint32_t>(level), path + folder_length + 1);
  if (listed == nullptr || listed->kind != ListedKind::file) return false;
  state = listed->state;
  return true;
}

FolderKind listedFolderKind(const WideUnit* path) {
  const size_t folder_length = folderLengthOf(path);
  const int level = folder_length == 0 ? -1 : listingOf(path, folder_length);
  // A folder that could not be listed whole, or past the stack's room, is asked about directly.
  if (level < 0 || !ListedWhole[level]) return folderKindOnDisk(path);
  const FolderEntry* listed = findListedEntry(Listed, static_cast<uint32_t>(level), path + folder_length + 1);
  // Not listed, or listed under two names that fold alike: the system says which it opens.
  if (listed == nullptr) return folderKindOnDisk(path);
  return listed->kind == ListedKind::link ? FolderKind::link : FolderKind::real;
}

void forgetListedFolder() { clearFolderStates(Listed); }
