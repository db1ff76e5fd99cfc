// One extraction at a time per directory on Linux: flock on the extraction directory itself. The
// kernel drops the lock with the last descriptor, so a start that is killed leaves nothing held,
// and nothing is written beside the folder (where a shared folder such as /tmp would let others
// put a file of that name first). The descriptor does not survive the program's start.
#include "ExtractionLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ExtractionFolder.h"
#include "SystemPathText.h"

namespace {
int lock_descriptor = -1;
char DirectoryBytes[4096 * 3];

// A newer build's start removes this build's folder under the same lock (BuildRemoval.h): a start
// that waited for it may hold the lock of a folder that is gone, and then makes it anew.
bool lockedFolderIsInPlace() {
  struct stat held = {};
  struct stat named = {};
  return fstat(lock_descriptor, &held) != 0 ||
         (lstat(DirectoryBytes, &named) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino);
}

bool lockOnce() {
  lock_descriptor = open(DirectoryBytes, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_descriptor < 0) return true;
  while (flock(lock_descriptor, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    close(lock_descriptor);
    lock_descriptor = -1;
    return true;
  }
  if (lockedFolderIsInPlace()) return true;
  close(lock_descriptor);
  lock_descriptor = -1;
  return false;
}
}  // namespace

// Best effort, as on Windows: where the folder cannot be opened or locked (a file system without
// flock), extraction goes on unlocked.
void lockExtractionDirectory(const WideUnit* directory) {
  if (!encodeSystemText(directory, kAllEscaped, DirectoryBytes, sizeof DirectoryBytes, true)) return;
  // Removals are rare and a folder is removed once: a few tries are plenty.
  for (int attempt = 0; attempt < 4 && !lockOnce(); ++attempt) makeExtractionFolder(directory);
}

void unlockExtractionDirectory() {
  if (lock_descriptor < 0) return;
  flock(lock_descriptor, LOCK_UN);
  close(lock_descriptor);
  lock_descriptor = -1;
}
