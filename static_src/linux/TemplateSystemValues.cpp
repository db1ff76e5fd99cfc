// The system's values for templates on Linux. The folders come from the environment alone, never
// from the user database: a static program has no name service to ask.
#include "TemplateSystemValues.h"

#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "SystemPathText.h"
#include "TemplateShortfall.h"
#include "WideString.h"

namespace {

const char* shortfall = nullptr;

// Seconds from 1 January 1601 to 1 January 1970, so that {TIME} counts as on Windows.
constexpr uint64_t kEpochDifferenceSeconds = 11644473600ull;

// An environment value that names a folder: set and absolute. A relative one would put the cache
// wherever the launcher happens to be started.
const char* absoluteValue(const char* name) {
  const char* const value = getenv(name);
  return value != nullptr && value[0] == '/' ? value : nullptr;
}

// The count the callers expect of a system query: the units written, or `room` when they do not fit.
uint32_t writeDecoded(const char* bytes, WideUnit* destination, size_t room) {
  if (!decodeSystemText(bytes, destination, room, true)) {
    shortfall = "a folder is too long";
    return room > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(room);
  }
  return static_cast<uint32_t>(wideLength(destination));
}

bool readFolder(const char* bytes, FolderPath& folder) {
  const uint32_t written = writeDecoded(bytes, folder, kFolderPathCapacity);
  return written > 0 && written < kFolderPathCapacity;
}

}  // namespace

const char* templateShortfall() { return shortfall; }

uint32_t writeTemporaryDirectory(WideUnit* destination, size_t room) {
  const char* const temporary = absoluteValue("TMPDIR");
  return writeDecoded(temporary != nullptr ? temporary : "/tmp", destination, room);
}

uint32_t writeProgramPath(WideUnit* destination, size_t room) {
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) {
    shortfall = "/proc/self/exe cannot be read";
    return 0;
  }
  path[length] = 0;
  return writeDecoded(path, destination, room);
}

bool readProfileDirectory(FolderPath& folder) {
  const char* const home = absoluteValue("HOME");
  if (home == nullptr) {
    shortfall = "HOME is not set to an absolute path";
    return false;
  }
  return readFolder(home, folder);
}

bool readLocalAppDataDirectory(FolderPath& folder) {
  const char* const cache = absoluteValue("XDG_CACHE_HOME");
  if (cache != nullptr) return readFolder(cache, folder);
  const char* const home = absoluteValue("HOME");
  if (home == nullptr) {
    shortfall = "neither XDG_CACHE_HOME nor HOME is set to an absolute path";
    return false;
  }
  if (!readFolder(home, folder)) return false;
  const size_t length = wideLength(folder);
  static const char kCache[] = "\\.cache";
  if (length + sizeof kCache > kFolderPathCapacity) {
    shortfall = "a folder is too long";
    return false;
  }
  for (size_t i = 0; i < sizeof kCache; ++i) folder[length + i] = static_cast<WideUnit>(kCache[i]);
  return true;
}

uint32_t currentProcessId() { return static_cast<uint32_t>(getpid()); }

uint64_t currentFileTime() {
  timespec now = {};
  clock_gettime(CLOCK_REALTIME, &now);
  return (static_cast<uint64_t>(now.tv_sec) + kEpochDifferenceSeconds) * 10000000ull +
         static_cast<uint64_t>(now.tv_nsec) / 100;
}
