// What stands in the cache where a payload file belongs, on Linux. The cache is the user's, who
// (or whose tools) may have changed a file, dropped its executable bit, or put a symbolic link where
// a file or folder of the application should be. A link is never followed: the check opens the
// entry itself, and a link where a folder belongs is removed (the link, not what it points to), so
// that the folder is made anew as a real one, as on Windows.
#pragma once

#include "FolderWalk.h"
#include "OnefilePlatform.h"

enum class CachedFile : uint8_t {
  intact,   // the entry's content, reused as it stands
  rewrite,  // missing, changed, unreadable, or not a regular file: written anew
};

// The mode a payload file gets: 0755 when it is marked executable, 0644 otherwise; the umask the
// launcher was started with applies, as for any file a program makes.
uint32_t extractedFileMode(bool executable);

// Reads the regular file at `path` (bytes, as the system takes it) once through `buffer` and
// decides. A file found intact whose executable bits differ from those extractedFileMode(executable)
// gives gets that mode, its content left as it is.
CachedFile inspectCachedFile(const char* path, uint64_t size, uint32_t stored_checksum, bool executable,
                             uint8_t* buffer, uint32_t capacity);

// Looks at every folder between the extraction directory (the first `base_length` units of `path`)
// and the file that the start has not looked at yet, outermost first, and removes a link found
// there. False when such a link could not be removed.
bool removeFolderLinks(const WideUnit* path, size_t base_length);
