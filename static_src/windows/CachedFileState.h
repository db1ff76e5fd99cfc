// What stands in the cache where a payload file belongs, and how to clear the way before writing it.
//
// The cache belongs to the user, who (or whose tools) may have marked a file read-only, hidden or
// system, or put a symbolic link or junction where a file or folder of the application should be.
// Opening such a file with CREATE_ALWAYS fails with access denied on Windows, so a changed copy would
// never be repaired; and a link would be followed, so the start would read or, worse, write a file
// outside the extraction directory. So the intact check opens the entry itself, never what a link
// points to, and the writer gets a plain path: a link is removed (the link only, never its target)
// and protective attributes are cleared before the file is written anew.
#pragma once

#include <windows.h>

#include "FolderWalk.h"
#include "OnefilePlatform.h"

enum class CachedFile : uint8_t {
  intact,           // the entry's content, reused as it stands
  rewrite,          // missing, changed or unreadable: written anew
  clearAttributes,  // changed, and read-only, hidden or system: those go before it is written
  replaceLink,      // a symbolic link (or other reparse point): removed, then the file written
};

// Reads the file at `path` once through `buffer` and decides; `attributes` receives its
// attributes when it could be opened.
CachedFile inspectCachedFile(const WideUnit* path, uint64_t size, uint32_t stored_checksum, uint8_t* buffer,
                             uint32_t capacity, DWORD& attributes);

// Makes `path` ready to be created with CREATE_ALWAYS after inspectCachedFile gave `state`. False
// when a link could not be removed: the file must then not be written.
bool clearWayForFile(const WideUnit* path, CachedFile state, DWORD attributes);

// Looks at every folder between the extraction directory (the first `base_length` units of `path`)
// and the file at `path` that the start has not looked at yet, outermost first. A folder that is a
// link or junction is removed (the link, not the folder it points to), so that the folder is made
// anew as a real one. False when such a link could not be removed. `kindOf` tells what a folder is
// (folderKindOnDisk, or what a listing already read shows).
bool removeFolderLinks(const WideUnit* path, size_t base_length, FolderKindQuery kindOf);

// What the file system has at `path`, for a FolderWalk: its entry itself, never what a link points to.
FolderKind folderKindOnDisk(const WideUnit* path);
