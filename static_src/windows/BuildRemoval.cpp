#include "BuildRemoval.h"

#include <windows.h>

#include <atomic>

#include "BuildRecordFile.h"
#include "BuildUse.h"
#include "CachedFileState.h"
#include "FolderWalk.h"
#include "LauncherSettings.h"
#include "NameCase.h"
#include "PayloadExtraction.h"
#include "SupersededBuilds.h"
#include "WideString.h"

namespace {

// Long enough for the folders of a usual application, short enough that a command-line tool
// called after an update is not held up noticeably; what is left is done by later starts.
constexpr DWORD kRemovalGraceMilliseconds = 2000;
// Folders looked at per start; more are left to later starts (chooseBuildsToKeep is safe on a part).
constexpr size_t kCandidatesLimit = 64;
constexpr size_t kFolderNameCapacity = 256;
constexpr size_t kPathCapacity = 4096 + 64;
// Removal is no hurry: a small buffer for the check of each file before it is deleted.
constexpr uint32_t kCheckSize = 1 << 16;

HANDLE removal_thread = nullptr;
std::atomic<bool> stop_requested{false};

// The folder that holds the builds, with its trailing "\".
WideBuffer<kPathCapacity> ParentPath;
WideBuffer<kFolderNameCapacity> OwnFolder;
BuildRecordIdentity Current;
BuildRecordIdentity Found;

struct Candidate {
  WideUnit folder[kFolderNameCapacity];
};
Candidate Candidates[kCandidatesLimit];
BuildCandidate Ranks[kCandidatesLimit];
size_t candidate_count = 0;

WideBuffer<kPathCapacity> SearchPath;
WideBuffer<kPathCapacity> FolderPath;
WideBuffer<kPathCapacity> RecordPath;
WideBuffer<kPathCapacity> TemporaryRecordPath;
WideBuffer<kPathCapacity> RemovingPath;
WideBuffer<kPathCapacity> FilePath;
FolderWalk Walk;
WideBuffer<kFolderWalkCapacity> LinkFolder;
size_t base_length = 0;
WideBuffer<kPathCapacity> LastParent;
RecordFile Record;
EntryNameBuffer RecordedName;
uint8_t CheckBuffer[kCheckSize];

// The state of the folder being emptied.
bool delete_failed = false;
bool interrupted = false;

void pathInParent(WideBuffer<kPathCapacity>& path, const WideUnit* folder, const WideUnit* suffix) {
  copyWideString(path, ParentPath);
  appendWideString(path, folder);
  appendWideString(path, suffix);
}

bool sameText(const WideUnit* a, const WideUnit* b) { return wcscmp(a, b) == 0; }

bool isRealFolder(DWORD attributes) {
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
         (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0;
}

uint64_t asNumber(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A build that is kept is marked as just used, so that the most recently used are the ones kept.
void touchOwnRecord() {
  if (activeLauncherSettings().keep_builds == 0 || ownBuildRecordWritten()) return;
  pathInParent(RecordPath, OwnFolder, kBuildRecordSuffix);
  HANDLE record = CreateFileW(RecordPath, FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (record == INVALID_HANDLE_VALUE) return;
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  SetFileTime(record, nullptr, nullptr, &now);
  CloseHandle(record);
}

bool isOtherBuildOfThisProduct(const WideUnit* folder) {
  if (samePathFolded(folder, OwnFolder)) return false;
  pathInParent(RecordPath, folder, kBuildRecordSuffix);
  const bool read = openRecordFile(Record, RecordPath, Found);
  closeRecordFile(Record);
  return read && sameRecordProduct(Found, Current);
}

void collectCandidates() {
  candidate_count = 0;
  copyWideString(SearchPath, ParentPath);
  appendAsciiString(SearchPath, "*");
  appendWideString(SearchPath, kBuildRecordSuffix);
  WIN32_FIND_DATAW found;
  HANDLE search =
      FindFirstFileExW(SearchPath, FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) continue;
    Candidate& candidate = Candidates[candidate_count];
    if (!folderOfRecordName(found.cFileName, candidate.folder, kFolderNameCapacity)) continue;
    if (!isOtherBuildOfThisProduct(candidate.folder)) continue;
    Ranks[candidate_count] = {asNumber(found.ftLastWriteTime), false};
    ++candidate_count;
  } while (candidate_count < kCandidatesLimit && FindNextFileW(search, &found));
  FindClose(search);
}

// Reads the whole record, handing every file to `visit`; true when it ended as a record must.
bool eachRecordedFile(void (*visit)(const WideUnit* name, uint64_t size, uint32_t stored_checksum)) {
  bool complete = openRecordFile(Record, RecordPath, Found) && sameRecordProduct(Found, Current);
  while (complete) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    const RecordStatus status = nextRecordedFile(Record.reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) {
      complete = status == RecordStatus::end;
      break;
    }
    if (visit != nullptr) visit(RecordedName, size, stored_checksum);
  }
  closeRecordFile(Record);
  return complete;
}

void setFilePath(const WideUnit* name) {
  copyWideString(FilePath, RemovingPath);
  appendWideChar(FilePath, L'\\');
  appendWideString(FilePath, name);
}

// Whether a folder between the folder being emptied and the file is a link or junction: what lies
// beyond it is not the build's.
bool passesThroughLink(const WideUnit* path) {
  return firstFolderLink(path, base_length, Walk, LinkFolder, folderKindOnDisk) == FolderOnWay::link;
}

// Deletes the file when it still holds what was unpacked; a changed file is the application's now.
void deleteUnpackedFile(const WideUnit* name, uint64_t size, uint32_t stored_checksum) {
  if (stop_requested.load()) interrupted = true;
  if (interrupted) return;
  setFilePath(name);
  if (passesThroughLink(FilePath)) return;
  DWORD attributes = 0;
  if (inspectCachedFile(FilePath, size, stored_checksum, CheckBuffer, kCheckSize, attributes) != CachedFile::intact)
    return;
  if (DeleteFileW(FilePath)) return;
  // The application may have made its file read-only; the file is still the build's.
  const DWORD current = GetFileAttributesW(FilePath);
  if (current != INVALID_FILE_ATTRIBUTES && (current & FILE_ATTRIBUTE_READONLY) != 0 &&
      SetFileAttributesW(FilePath, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(FilePath))
    return;
  delete_failed = true;
}

// Removes the folders on the way to the file, innermost first, where nothing is left in them. Every
// file's folders are tried after all files are gone, so a folder is tried last after its subfolders.
void removeEmptyFolders(const WideUnit* name, uint64_t, uint32_t) {
  size_t end = wideLength(name);
  while (end > 0 && name[end - 1] != '\\') --end;
  if (end == 0) return;
  setFilePath(name);
  const size_t parent_end = base_length + 1 + end - 1;
  FilePath[parent_end] = 0;
  if (sameText(FilePath, LastParent)) return;  // the same folders were just tried
  copyWideString(LastParent, FilePath);
  for (size_t cut = parent_end; cut > base_length; --cut) {
    if (FilePath[cut] != '\\' && FilePath[cut] != 0) continue;
    FilePath[cut] = 0;
    if (isRealFolder(GetFileAttributesW(FilePath))) RemoveDirectoryW(FilePath);
  }
}

// Deletes the build's files in the folder under its temporary name; true when the folder is gone.
bool emptyRemovingFolder() {
  base_length = wideLength(RemovingPath);
  Walk.known_length = 0;
  LastParent[0] = 0;
  delete_failed = false;
  interrupted = false;
  if (!eachRecordedFile(deleteUnpackedFile) || interrupted) return false;
  eachRecordedFile(removeEmptyFolders);
  return RemoveDirectoryW(RemovingPath) != 0;
}

void finishRemoval() {
  DeleteFileW(RecordPath);
  DeleteFileW(TemporaryRecordPath);
}

void removeBuild(const WideUnit* folder) {
  pathInParent(FolderPath, folder, WIDE_TEXT(""));
  pathInParent(RecordPath, folder, kBuildRecordSuffix);
  pathInParent(TemporaryRecordPath, folder, kBuildRecordSuffix);
  appendAsciiString(TemporaryRecordPath, ".tmp");
  pathInParent(RemovingPath, folder, kRemovingFolderSuffix);
  // A checked record first: its names decide what is deleted.
  if (!eachRecordedFile(nullptr)) return;
  const DWORD folder_attributes = GetFileAttributesW(FolderPath);
  const DWORD removing_attributes = GetFileAttributesW(RemovingPath);
  bool renamed = false;
  if (removing_attributes != INVALID_FILE_ATTRIBUTES) {
    if (!isRealFolder(removing_attributes)) return;
    if (folder_attributes == INVALID_FILE_ATTRIBUTES) {
      renamed = true;  // an earlier start stopped while it removed this folder
    } else if (!emptyRemovingFolder()) {
      return;  // left over beside a folder made anew; what stays there is not ours to judge
    }
  }
  if (!renamed) {
    if (folder_attributes == INVALID_FILE_ATTRIBUTES) {
      finishRemoval();  // the folder is gone already: only its record is left
      return;
    }
    if (!isRealFolder(folder_attributes)) return;
    if (!MoveFileExW(FolderPath, RemovingPath, 0)) return;
  }
  if (emptyRemovingFolder()) {
    finishRemoval();
    return;
  }
  if (!MoveFileExW(RemovingPath, FolderPath, 0)) return;
  // Only the application's own files are left: the folder is theirs from now on.
  if (!delete_failed && !interrupted) DeleteFileW(RecordPath);
}

void removeWhenUnused(const WideUnit* folder) {
  pathInParent(FolderPath, folder, WIDE_TEXT(""));
  HANDLE lock = tryLockExtraction(FolderPath);
  if (lock == nullptr) return;
  if (!buildInUse(FolderPath)) removeBuild(folder);
  releaseExtraction(lock);
}

DWORD WINAPI removeChosenBuilds(void*) {
  for (size_t i = 0; i < candidate_count && !stop_requested.load(); ++i)
    if (!Ranks[i].keep) removeWhenUnused(Candidates[i].folder);
  return 0;
}

}  // namespace

void startBuildRemoval() {
  if (!buildRemovalApplies()) return;
  size_t parent_length = 0;
  size_t name_start = 0;
  if (!splitExtractionDirectory(TargetDirectory, parent_length, name_start)) return;
  if (wideLength(TargetDirectory) - name_start >= kFolderNameCapacity || parent_length + 2 >= 4096) return;
  copyWideString(ParentPath, TargetDirectory);
  ParentPath[parent_length + 1] = 0;
  copyWideString(OwnFolder, TargetDirectory + name_start);
  currentBuildIdentity(Current);
  // Looking costs a listing of one folder, done here; a thread (and its stack) only when there is
  // a folder to remove, which is rare: once after an update.
  touchOwnRecord();
  collectCandidates();
  chooseBuildsToKeep(Ranks, candidate_count, activeLauncherSettings().keep_builds);
  bool any_to_remove = false;
  for (size_t i = 0; i < candidate_count; ++i) any_to_remove = any_to_remove || !Ranks[i].keep;
  if (!any_to_remove) return;
  removal_thread = CreateThread(nullptr, 65536, removeChosenBuilds, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

void finishBuildRemoval() {
  if (removal_thread == nullptr) return;
  if (WaitForSingleObject(removal_thread, kRemovalGraceMilliseconds) == WAIT_TIMEOUT) {
    stop_requested.store(true);
    WaitForSingleObject(removal_thread, INFINITE);
  }
  CloseHandle(removal_thread);
  removal_thread = nullptr;
}
