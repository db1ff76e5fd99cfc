#include "CachedFileState.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "IntactCheck.h"
#include "SystemPathText.h"
#include "WideString.h"

namespace {

int64_t readFromDescriptor(void* file, uint8_t* buffer, uint32_t capacity) {
  const int descriptor = *static_cast<int*>(file);
  // A read of a regular file gives fewer bytes than asked only at its end, as IntactCheck expects;
  // a signal is the one interruption, and it is retried.
  uint32_t total = 0;
  while (total < capacity) {
    const ssize_t got = read(descriptor, buffer + total, capacity - total);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return -1;
    if (got == 0) break;
    total += static_cast<uint32_t>(got);
  }
  return total;
}

uint32_t startUmask() {
  static const uint32_t mask = [] {
    const mode_t current = umask(0);
    umask(current);
    return static_cast<uint32_t>(current);
  }();
  return mask;
}

FolderWalk Walk;
WideBuffer<kFolderWalkCapacity> LinkFolder;
char QueryBytes[kFolderWalkCapacity * 3];

// The folder walk's paths hold only names already checked (PayloadExtraction.cpp).
FolderKind folderKindOnDisk(const WideUnit* path) {
  if (!encodeSystemText(path, kAllEscaped, QueryBytes, sizeof QueryBytes, true)) return FolderKind::missing;
  struct stat entry = {};
  if (lstat(QueryBytes, &entry) != 0) return FolderKind::missing;
  return S_ISLNK(entry.st_mode) ? FolderKind::link : FolderKind::real;
}

}  // namespace

uint32_t extractedFileMode(bool executable) { return (executable ? 0755u : 0644u) & ~startUmask(); }

// Opened without following a link and without waiting on a FIFO; anything but a regular file of the
// entry's size is rewritten without being read. An empty file is intact for an empty entry.
CachedFile inspectCachedFile(const char* path, uint64_t size, uint32_t stored_checksum, bool executable,
                             uint8_t* buffer, uint32_t capacity) {
  int descriptor = open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (descriptor < 0) return CachedFile::rewrite;
  struct stat entry = {};
  const bool intact = fstat(descriptor, &entry) == 0 && S_ISREG(entry.st_mode) &&
                      static_cast<uint64_t>(entry.st_size) == size &&
                      (size == 0 || fileContentMatches(readFromDescriptor, &descriptor, buffer, capacity, size,
                                                       stored_checksum));
  // Every executable bit counts, against the mode the umask lets a new file have: a script only
  // its group may run is as wrong as data anyone may run.
  const uint32_t wanted = extractedFileMode(executable);
  if (intact && (entry.st_mode & 0111) != (wanted & 0111)) {
    // Best effort: a file that keeps its old mode still runs as it did before.
    fchmod(descriptor, wanted);
  }
  close(descriptor);
  return intact ? CachedFile::intact : CachedFile::rewrite;
}

bool removeFolderLinks(const WideUnit* path, size_t base_length) {
  switch (firstFolderLink(path, base_length, Walk, LinkFolder, folderKindOnDisk)) {
    case FolderOnWay::real: return true;
    case FolderOnWay::missing: break;  // made below as real folders
    case FolderOnWay::link:
      if (!encodeSystemText(LinkFolder, kAllEscaped, QueryBytes, sizeof QueryBytes, true) || unlink(QueryBytes) != 0) {
        Walk.known_length = 0;
        return false;
      }
      break;
  }
  rememberFoldersOf(path, base_length, Walk);
  return true;
}
