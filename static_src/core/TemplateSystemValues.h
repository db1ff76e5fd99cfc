// What the system answers for the variables of a location template: folders, the launcher's own
// path, its process id and the time. The Windows layer implements these (TemplateSystemValues.cpp)
// so that the expander itself stays portable; host tests supply their own answers.
#pragma once

#include "OnefilePlatform.h"

// The size of the buffers that the folder queries write into (the system's MAX_PATH).
constexpr size_t kFolderPathCapacity = 260;
typedef WideUnit FolderPath[kFolderPathCapacity];

// Both write at `destination`, which has `room` units including the terminator, and return the
// system's own count: 0 when the query failed, `room` or more when the text did not fit.
uint32_t writeTemporaryDirectory(WideUnit* destination, size_t room);
uint32_t writeProgramPath(WideUnit* destination, size_t room);

// True only when the system reports complete success; the folder is then NUL-terminated.
bool readProfileDirectory(FolderPath& folder);
bool readLocalAppDataDirectory(FolderPath& folder);

uint32_t currentProcessId();

// 100-nanosecond intervals since 1 January 1601 UTC.
uint64_t currentFileTime();
