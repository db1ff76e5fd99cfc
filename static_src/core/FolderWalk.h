// The folders between a base folder (the extraction directory, or a build's folder being emptied)
// and a file in it, looked at outermost first for a link or junction: what lies beyond one is not
// the base folder's, so a start neither writes through it nor deletes through it.
//
// Payload and record names come sorted by folder, so a walk remembers the folders it found real
// and looks only at those past the part a file shares with them. What a folder is comes from the
// caller (the file system on Windows, a table in tests).
#pragma once

#include "WideString.h"

constexpr size_t kFolderWalkCapacity = 4096 + 64;

struct FolderWalk {
  WideBuffer<kFolderWalkCapacity> known;  // a folder found real, with every folder above it
  size_t known_length = 0;
};

enum class FolderKind : uint8_t { real, missing, link };

// What is at `path` (zero-terminated): nothing, a link or junction (any reparse point), or anything
// else, taken as real (a file where a folder belongs makes the file's open fail later).
using FolderKindQuery = FolderKind (*)(const WideUnit* path);

enum class FolderOnWay : uint8_t {
  real,     // every folder on the way is a real one (or the file lies in the base folder itself)
  missing,  // one does not exist, so nothing below it does
  link,     // one is a link or junction
};

// Looks at the folders of `path` past its first `base_length` units that `walk` has not found real
// yet. On `link`, `link_path` holds that folder's path.
FolderOnWay firstFolderLink(const WideUnit* path, size_t base_length, FolderWalk& walk,
                            WideBuffer<kFolderWalkCapacity>& link_path, FolderKindQuery kindOf);

// Takes every folder of `path` as real from now on: they are about to be made as real ones.
void rememberFoldersOf(const WideUnit* path, size_t base_length, FolderWalk& walk);
