#include "DirectoryCreation.h"

#include <stdlib.h>

#include "FatalErrors.h"
#include "LocationTemplate.h"
#include "SystemDirectory.h"
#include "WideString.h"

CreatedDirectories createdDirectories;

namespace {

const WideUnit kHomeTemplate[] = WIDE_TEXT("{HOME}");

// Exact, unit for unit: a path spelt in another case is a different entry.
bool equalUnits(const WideUnit* left, const WideUnit* right) {
  while (*left != 0 && *left == *right) {
    ++left;
    ++right;
  }
  return *left == *right;
}

bool isRemembered(const WideUnit* path) {
  for (int32_t index = 0; index < createdDirectories.count; ++index) {
    if (equalUnits(createdDirectories.entries[index], path)) return true;
  }
  return false;
}

// Only the second unit is looked at: "C:" and any other two units ending in ":" are taken as a
// drive, which is never created.
bool isBareDrive(const WideUnit* path) { return path[0] != 0 && path[1] == ':' && path[2] == 0; }

// A full list, or a copy that cannot be allocated, leaves the directory unrecorded: it is merely
// asked of the system again, which then answers that it exists.
void remember(const WideUnit* path) {
  if (createdDirectories.count >= kCreatedDirectoriesCapacity) return;
  const size_t size = (wideLength(path) + 1) * sizeof(WideUnit);
  WideUnit* const copy = static_cast<WideUnit*>(malloc(size));
  if (copy == nullptr) return;
  memcpy(copy, path, size);
  createdDirectories.entries[createdDirectories.count++] = copy;
}

// The profile directory is taken as existing, so climbs under it never go above it.
void rememberProfileDirectory() {
  WideBuffer<4096> profile;
  if (!expandLocationTemplate(profile, kHomeTemplate, 4096)) failTemplate(kHomeTemplate);
  remember(profile);
}

// Cuts the text at its last backslash, a backslash in the first unit not counting; false when
// there is none.
bool cutAtLastBackslash(WideUnit* path) {
  for (size_t position = wideLength(path); position > 1; --position) {
    if (path[position - 1] == '\\') {
      path[position - 1] = 0;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ensureDirectory(const WideUnit* path) {
  if (createdDirectories.count == 0) rememberProfileDirectory();
  if (isRemembered(path) || isBareDrive(path)) return true;
  if (createSystemDirectory(path) == DirectoryOutcome::failed) return false;
  remember(path);
  return true;
}

// The direct parent is tried first; only when it cannot be made does the climb go up, one level at
// a time, and the levels below are then made on the way back down, outermost first. The climb
// cuts and restores backslashes in one working copy instead of recursing with a copy per level,
// so a deep path of missing directories costs no more stack than a shallow one.
void ensureParentDirectories(const WideUnit* path) {
  WideBuffer<4097> directory;
  copyWideString(directory, path);
  if (!cutAtLastBackslash(directory)) return;

  size_t levels_climbed = 0;
  bool exists = ensureDirectory(directory);
  while (!exists && cutAtLastBackslash(directory)) {
    ++levels_climbed;
    exists = ensureDirectory(directory);
  }
  // The top of a climb that found nothing to stand on is tried once more before going down.
  if (!exists) ensureDirectory(directory);
  for (; levels_climbed > 0; --levels_climbed) {
    directory[wideLength(directory)] = '\\';
    ensureDirectory(directory);
  }
}
