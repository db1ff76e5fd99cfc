#include "ExtractedFileWriter.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CachedFileState.h"
#include "Crc32.h"
#include "ExitCodes.h"
#include "FatalErrors.h"

namespace {

constexpr uint32_t kPieceSize = 256 * 1024;
uint8_t Piece[kPieceSize];
char FolderBytes[4096 * 3];

[[noreturn]] void failUnpack(int code) {
  reportOsError("Error, couldn't unpack file to target path.", static_cast<uint32_t>(code));
  exit(kFatalExitCode);
}

void writeAll(int descriptor, const uint8_t* bytes, size_t length) {
  while (length > 0) {
    const ssize_t written = write(descriptor, bytes, length);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) failUnpack(written < 0 ? errno : ENOSPC);
    bytes += written;
    length -= static_cast<size_t>(written);
  }
}

// An unnamed file in the folder of `path`, or -1 where the file system has none.
int openUnnamedFile(const char* path, uint32_t mode) {
  const char* const slash = strrchr(path, '/');
  if (slash == nullptr || static_cast<size_t>(slash - path) >= sizeof FolderBytes) return -1;
  const size_t length = slash == path ? 1 : static_cast<size_t>(slash - path);
  memcpy(FolderBytes, path, length);
  FolderBytes[length] = 0;
  return open(FolderBytes, O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
}

// Whatever stands under the name goes first; a folder there cannot, and is reported as the open.
void removeEntry(const char* path, const WideUnit* shown_path) {
  if (unlink(path) != 0 && errno != ENOENT) failOpenForWriting(shown_path);
}

// Gives the unnamed file its name. Another start (when the lock could not be had) may name its own
// copy in between; the entry is then removed and named once more.
void nameUnnamedFile(int descriptor, const char* path, const WideUnit* shown_path) {
  char self_path[64];
  snprintf(self_path, sizeof self_path, "/proc/self/fd/%d", descriptor);
  for (int attempt = 0;; ++attempt) {
    removeEntry(path, shown_path);
    if (linkat(AT_FDCWD, self_path, AT_FDCWD, path, AT_SYMLINK_FOLLOW) == 0) return;
    if (errno != EEXIST || attempt == 3) failUnpack(errno);
  }
}

}  // namespace

void writeExtractedFile(const char* path, const WideUnit* shown_path, uint64_t size, uint32_t stored_checksum,
                        bool executable, FillPiece fill) {
  const uint32_t mode = extractedFileMode(executable);
  int descriptor = openUnnamedFile(path, mode);
  const bool unnamed = descriptor >= 0;
  if (!unnamed) {
    removeEntry(path, shown_path);
    descriptor = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (descriptor < 0) failOpenForWriting(shown_path);
  }
  uint32_t crc = 0;
  for (uint64_t left = size; left > 0;) {
    const uint32_t count = left < kPieceSize ? static_cast<uint32_t>(left) : kPieceSize;
    fill(Piece, count);
    crc = crc32Update(crc, Piece, count);
    writeAll(descriptor, Piece, count);
    left -= count;
  }
  // The stream carries no check of its own: a damaged block can decode into wrong bytes, which
  // must not get the entry's name.
  if (storedChecksum(crc) != stored_checksum) fatalError("Error, couldn't decode attached data.");
  if (unnamed) nameUnnamedFile(descriptor, path, shown_path);
  close(descriptor);
}
