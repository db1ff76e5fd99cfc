// One extraction at a time per directory on Linux: flock on the extraction directory itself. The
// kernel drops the lock with the last descriptor, so a start that is killed leaves nothing held,
// and nothing is written beside the folder (where a shared folder such as /tmp would let others
// put a file of that name first). The descriptor does not survive the program's start.
#include "ExtractionLock.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "SystemPathText.h"

namespace {
int lock_descriptor = -1;
char DirectoryBytes[4096 * 3];
}  // namespace

// Best effort, as on Windows: where the folder cannot be opened or locked (a file system without
// flock), extraction goes on unlocked.
void lockExtractionDirectory(const WideUnit* directory) {
  if (!encodeSystemText(directory, kAllEscaped, DirectoryBytes, sizeof DirectoryBytes, true)) return;
  lock_descriptor = open(DirectoryBytes, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_descriptor < 0) return;
  while (flock(lock_descriptor, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    close(lock_descriptor);
    lock_descriptor = -1;
    return;
  }
}

void unlockExtractionDirectory() {
  if (lock_descriptor < 0) return;
  flock(lock_descriptor, LOCK_UN);
  close(lock_descriptor);
  lock_descriptor = -1;
}
