// Making the directories on the way to a file about to be written, remembering every directory
// made or found in place so that later files in it cost no system call.
#pragma once

#include "OnefilePlatform.h"

constexpr int32_t kCreatedDirectoriesCapacity = 1024;

// Owned copies of paths, in the order learned; entry 0 is the user's profile directory, so a climb
// towards the root stops there. Never shrinks; a directory learned when it is full is not kept.
struct CreatedDirectories {
  WideUnit* entries[kCreatedDirectoriesCapacity];
  int32_t count;
};
extern CreatedDirectories createdDirectories;

// True when the directory (full path, no trailing backslash) can be taken to exist: it is in the
// list, is a bare drive such as C:, was made now, or something already stands there. The first
// call seeds the list with the expansion of "{HOME}" and ends the program with the template
// report when that fails.
bool ensureDirectory(const WideUnit* path);

// Makes every missing ancestor of a file's full path (at most 4096 units), outermost first, as
// far as possible. Reports nothing: a directory that could not be made shows when the file
// cannot be created.
void ensureParentDirectories(const WideUnit* path);
