#include "FolderWalk.h"

#include "FolderPrefix.h"

namespace {

// The length of the folder part of `path` past `base_length`, without its last "\"; 0 when the
// file lies in the base folder itself.
size_t parentLengthOf(const WideUnit* path, size_t base_length) {
  size_t length = wideLength(path);
  while (length > base_length && path[length - 1] != '\\') --length;
  return length <= base_length + 1 ? 0 : length - 1;
}

}  // namespace

FolderOnWay firstFolderLink(const WideUnit* path, size_t base_length, FolderWalk& walk,
                            WideBuffer<kFolderWalkCapacity>& link_path, FolderKindQuery kindOf) {
  const size_t parent_length = parentLengthOf(path, base_length);
  if (parent_length == 0) return FolderOnWay::real;
  size_t checked = sharedFolderPrefix(path, parent_length, walk.known, walk.known_length);
  if (checked < base_length) checked = base_length;
  // Most files lie in a folder looked at already (or above one): nothing to copy or ask.
  if (checked >= parent_length) return FolderOnWay::real;
  copyWideString(link_path, path);
  while (checked < parent_length) {
    size_t end = checked + 1;
    while (end < parent_length && path[end] != '\\') ++end;
    link_path[end] = 0;
    const FolderKind kind = kindOf(link_path);
    if (kind == FolderKind::missing) return FolderOnWay::missing;
    if (kind == FolderKind::link) return FolderOnWay::link;
    copyWideString(walk.known, link_path);
    walk.known_length = end;
    link_path[end] = path[end];
    checked = end;
  }
  return FolderOnWay::real;
}

void rememberFoldersOf(const WideUnit* path, size_t base_length, FolderWalk& walk) {
  const size_t parent_length = parentLengthOf(path, base_length);
  if (parent_length == 0) return;
  copyWideString(walk.known, path);
  walk.known[parent_length] = 0;
  walk.known_length = parent_length;
}
