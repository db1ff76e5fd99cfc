#include "BuildUse.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

void markBuildInUse(const char* program) {
  // Without O_CLOEXEC on purpose: the descriptor is the sign, and must outlive the execve.
  const int descriptor = open(program, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  if (descriptor < 0) return;
  while (flock(descriptor, LOCK_SH) != 0 && errno == EINTR) {
  }
}

bool buildInUse(int program) {
  for (;;) {
    if (flock(program, LOCK_EX | LOCK_NB) == 0) {
      flock(program, LOCK_UN);
      return false;
    }
    // A lock that cannot be had at all (a file system without flock) tells nothing: in use.
    if (errno != EINTR) return true;
  }
}
