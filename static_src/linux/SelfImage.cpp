#include "SelfImage.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AppendedTrailer.h"

namespace {

bool readTrailer(int descriptor, uint64_t file_length, AppendedTrailer& trailer) {
  uint8_t bytes[kAppendedTrailerLength];
  if (file_length < kAppendedTrailerLength) return false;
  const off_t at = static_cast<off_t>(file_length - kAppendedTrailerLength);
  ssize_t got = 0;
  do {
    got = pread(descriptor, bytes, sizeof bytes, at);
  } while (got < 0 && errno == EINTR);
  return got == static_cast<ssize_t>(sizeof bytes) &&
         readAppendedTrailer(bytes, file_length, trailer) == TrailerStatus::valid;
}

}  // namespace

SelfImage mapSelfImage() {
  SelfImage image = {};
  const int descriptor = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (descriptor < 0) return image;
  struct stat file = {};
  AppendedTrailer trailer = {};
  if (fstat(descriptor, &file) != 0 || file.st_size <= 0 ||
      !readTrailer(descriptor, static_cast<uint64_t>(file.st_size), trailer)) {
    close(descriptor);
    return image;
  }
  // The whole file, so that every offset of the trailer is an offset into the mapping; only the
  // pages read are ever loaded.
  void* const mapping = mmap(nullptr, static_cast<size_t>(file.st_size), PROT_READ, MAP_PRIVATE, descriptor, 0);
  close(descriptor);
  if (mapping == MAP_FAILED) return image;
  const auto* const bytes = static_cast<const uint8_t*>(mapping);
  image.found = true;
  image.settings = bytes + trailer.settings.offset;
  image.settings_length = trailer.settings.length;
  image.payload = bytes + trailer.payload.offset;
  image.payload_length = trailer.payload.length;
  image.modes = bytes + trailer.modes.offset;
  image.modes_length = trailer.modes.length;
  return image;
}
