#include "BuildRemoval.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "BuildRecord.h"
#include "BuildRecordFile.h"
#include "BuildUse.h"
#include "Crc32.h"
#include "LauncherSettings.h"
#include "PayloadExtraction.h"
#include "SupersededBuilds.h"
#include "SystemPathText.h"
#include "WideString.h"

namespace {

// Folders looked at per start; more are left to later starts (chooseBuildsToKeep is safe on a part).
constexpr size_t kCandidatesLimit = 64;
// A Linux name has at most 255 bytes.
constexpr size_t kNameBytes = 256;
constexpr char kRecordSuffix[] = ".onefile-build";
constexpr size_t kRecordSuffixLength = sizeof kRecordSuffix - 1;
// Removal is no hurry: a small buffer for the check of each file before it is deleted.
constexpr size_t kCheckSize = 1 << 16;

char ParentBytes[4096 * 3];
char OwnFolder[4096 * 3];
BuildRecordIdentity Current;
BuildRecordIdentity Found;

struct Candidate {
  char folder[kNameBytes];
};
Candidate Candidates[kCandidatesLimit];
BuildCandidate Ranks[kCandidatesLimit];
size_t candidate_count = 0;

alignas(8) char Listing[16384];
char RecordName[kNameBytes + 16];
char TemporaryRecordName[kNameBytes + 16];
BuildRecordReader Reader;
EntryNameBuffer RecordedName;
char NameBytes[1024 * 3 + 1];
char LastFolder[1024 * 3 + 1];
uint8_t CheckBuffer[kCheckSize];

int parent_folder = -1;
int build_folder = -1;
bool delete_failed = false;

bool endsWithRecordSuffix(const char* name, size_t length) {
  return length > kRecordSuffixLength && memcmp(name + length - kRecordSuffixLength, kRecordSuffix, kRecordSuffixLength) == 0;
}

void closeDescriptor(int& descriptor) {
  if (descriptor >= 0) close(descriptor);
  descriptor = -1;
}

void setRecordNames(const char* folder) {
  snprintf(RecordName, sizeof RecordName, "%s%s", folder, kRecordSuffix);
  snprintf(TemporaryRecordName, sizeof TemporaryRecordName, "%s%s.tmp", folder, kRecordSuffix);
}

bool sameProduct(const BuildRecordIdentity& identity) {
  return sameRecordProduct(identity, Current);
}

// A build that is kept is marked as just used, so that the most recently used are the ones kept.
void touchOwnRecord() {
  if (activeLauncherSettings().keep_builds == 0 || ownBuildRecordWritten()) return;
  setRecordNames(OwnFolder);
  utimensat(parent_folder, RecordName, nullptr, AT_SYMLINK_NOFOLLOW);
}

void considerRecord(const char* name, size_t length) {
  if (!endsWithRecordSuffix(name, length) || length - kRecordSuffixLength >= kNameBytes) return;
  Candidate& candidate = Candidates[candidate_count];
  memcpy(candidate.folder, name, length - kRecordSuffixLength);
  candidate.folder[length - kRecordSuffixLength] = 0;
  if (strcmp(candidate.folder, OwnFolder) == 0) return;
  int record = -1;
  uint64_t modified = 0;
  const bool read = openRecordAt(parent_folder, name, record, Reader, Found, &modified);
  closeDescriptor(record);
  if (!read || !sameProduct(Found)) return;
  Ranks[candidate_count] = {modified, false};
  ++candidate_count;
}

// One listing of the folder, read straight from the kernel into a fixed buffer (readdir would take
// its buffer from the heap). Each entry is a linux_dirent64: inode (8 bytes), offset (8), the
// entry's length (2), its type (1), then its name with a zero byte.
void collectCandidates() {
  candidate_count = 0;
  for (;;) {
    const long got = syscall(SYS_getdents64, parent_folder, Listing, sizeof Listing);
    if (got <= 0) return;
    for (long at = 0; at < got;) {
      uint16_t entry_length = 0;
      memcpy(&entry_length, Listing + at + 16, sizeof entry_length);
      if (entry_length == 0) return;
      const unsigned char type = static_cast<unsigned char>(Listing[at + 18]);
      const char* name = Listing + at + 19;
      if ((type == DT_REG || type == DT_UNKNOWN) && candidate_count < kCandidatesLimit) considerRecord(name, strlen(name));
      at += entry_length;
    }
  }
}

// Reads the whole record, handing every file to `visit`; true when it ended as a record must.
bool eachRecordedFile(void (*visit)(char* name, uint64_t size, uint32_t stored_checksum)) {
  int record = -1;
  bool complete = openRecordAt(parent_folder, RecordName, record, Reader, Found, nullptr) && sameProduct(Found);
  while (complete) {
    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    const RecordStatus status = nextRecordedFile(Reader, RecordedName, size, stored_checksum);
    if (status != RecordStatus::ok) {
      complete = status == RecordStatus::end;
      break;
    }
    // A payload name is Unicode text: no escaped byte is taken from it.
    if (!encodeSystemText(RecordedName, 0, NameBytes, sizeof NameBytes, true)) {
      complete = false;
      break;
    }
    if (visit != nullptr) visit(NameBytes, size, stored_checksum);
  }
  closeDescriptor(record);
  return complete;
}

// The folder that holds `path` (relative to the build's folder, "/" between components), opened
// one component at a time without following a link; -1 when one is missing or is no real folder.
// `leaf` gets where the last component begins. Close the result unless it is build_folder.
int openFolderOf(char* path, size_t& leaf) {
  int folder = build_folder;
  size_t start = 0;
  for (size_t i = 0; path[i] != 0; ++i) {
    if (path[i] != '/') continue;
    path[i] = 0;
    const int next = openat(folder, path + start, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    path[i] = '/';
    if (folder != build_folder) close(folder);
    if (next < 0) return -1;
    folder = next;
    start = i + 1;
  }
  leaf = start;
  return folder;
}

void closeFolder(int folder) {
  if (folder >= 0 && folder != build_folder) close(folder);
}

// Whether the regular file (never a link) still holds exactly what was unpacked.
bool holdsWhatWasUnpacked(int folder, const char* name, uint64_t size, uint32_t stored_checksum) {
  const int file = openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return false;
  struct stat entry = {};
  bool same = fstat(file, &entry) == 0 && S_ISREG(entry.st_mode) && static_cast<uint64_t>(entry.st_size) == size;
  uint32_t crc = 0;
  uint64_t left = size;
  while (same && left > 0) {
    const ssize_t got = read(file, CheckBuffer, left < kCheckSize ? left : kCheckSize);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) same = false;
    if (!same) break;
    crc = crc32Update(crc, CheckBuffer, static_cast<uint64_t>(got));
    left -= static_cast<uint64_t>(got);
  }
  close(file);
  return same && storedChecksum(crc) == stored_checksum;
}

// The program a start of the build runs is its first file, and holds the build's sign of use.
bool first_file_seen = false;
bool program_in_use = false;

void checkProgramUse(char* name, uint64_t, uint32_t) {
  if (first_file_seen) return;
  first_file_seen = true;
  size_t leaf = 0;
  const int folder = openFolderOf(name, leaf);
  if (folder < 0) return;
  const int program = openat(folder, name + leaf, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  closeFolder(folder);
  if (program < 0) return;  // nothing runs from a program that is not there
  program_in_use = buildInUse(program);
  close(program);
}

// Deletes the file when it still holds what was unpacked; a changed file is the application's now.
void deleteUnpackedFile(char* name, uint64_t size, uint32_t stored_checksum) {
  size_t leaf = 0;
  const int folder = openFolderOf(name, leaf);
  if (folder < 0) return;
  if (holdsWhatWasUnpacked(folder, name + leaf, size, stored_checksum) && unlinkat(folder, name + leaf, 0) != 0)
    delete_failed = true;
  closeFolder(folder);
}

// Removes the folders on the way to the file, innermost first, where nothing is left in them: rmdir
// takes only an empty folder, and never a link. Every file's folders are tried after all files are
// gone, so a folder is tried after its subfolders.
void removeEmptyFolders(char* name, uint64_t, uint32_t) {
  char* slash = strrchr(name, '/');
  if (slash == nullptr) return;
  *slash = 0;
  if (strcmp(name, LastFolder) == 0) return;  // the same folders were just tried
  memcpy(LastFolder, name, strlen(name) + 1);
  for (;;) {
    size_t leaf = 0;
    const int folder = openFolderOf(name, leaf);
    if (folder < 0 || unlinkat(folder, name + leaf, AT_REMOVEDIR) != 0) {
      closeFolder(folder);
      return;
    }
    closeFolder(folder);
    slash = strrchr(name, '/');
    if (slash == nullptr) return;
    *slash = 0;
  }
}

void removeRecords() {
  unlinkat(parent_folder, RecordName, 0);
  unlinkat(parent_folder, TemporaryRecordName, 0);
}

void removeBuild(const char* folder) {
  // A checked record first: its names decide what is deleted, and its first file whether the build
  // is in use.
  first_file_seen = false;
  program_in_use = false;
  if (!eachRecordedFile(checkProgramUse) || program_in_use) return;
  delete_failed = false;
  if (!eachRecordedFile(deleteUnpackedFile)) return;
  LastFolder[0] = 0;
  eachRecordedFile(removeEmptyFolders);
  if (unlinkat(parent_folder, folder, AT_REMOVEDIR) == 0) {
    removeRecords();
    return;
  }
  // Only what the application or the user put there is left: the folder is theirs from now on.
  if (!delete_failed) unlinkat(parent_folder, RecordName, 0);
}

void removeWhenUnused(const char* folder) {
  setRecordNames(folder);
  build_folder = openat(parent_folder, folder, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (build_folder < 0) {
    // The folder is gone already: only its record is left.
    if (errno == ENOENT) removeRecords();
    return;
  }
  struct stat entry = {};
  // The extraction lock of the folder, without waiting: a start checks or writes it.
  if (fstat(build_folder, &entry) == 0 && entry.st_uid == geteuid() && flock(build_folder, LOCK_EX | LOCK_NB) == 0)
    removeBuild(folder);
  closeDescriptor(build_folder);
}

}  // namespace

void removeSupersededBuilds() {
  if (!buildRemovalApplies()) return;
  size_t parent_length = 0;
  size_t name_start = 0;
  if (!splitExtractionDirectory(TargetDirectory, parent_length, name_start)) return;
  if (!encodeSystemText(TargetDirectory + name_start, kAllEscaped, OwnFolder, sizeof OwnFolder, true)) return;
  WideBuffer<4096> parent;
  copyWideString(parent, TargetDirectory);
  parent[parent_length] = 0;
  if (!encodeSystemText(parent, kAllEscaped, ParentBytes, sizeof ParentBytes, true)) return;
  parent_folder = open(ParentBytes, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent_folder < 0) return;
  currentBuildIdentity(Current);
  touchOwnRecord();
  collectCandidates();
  chooseBuildsToKeep(Ranks, candidate_count, activeLauncherSettings().keep_builds);
  for (size_t i = 0; i < candidate_count; ++i)
    if (!Ranks[i].keep) removeWhenUnused(Candidates[i].folder);
  closeDescriptor(parent_folder);
}
