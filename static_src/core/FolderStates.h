// What one folder's listing says about its files, found by name as Windows finds names (letter case
// folded as the volume folds it, NameCase.h). A warm start reads a folder's entries in one query and
// looks each payload file up here instead of opening it.
//
// Everything lives in fixed arrays: a folder with more entries or longer names than they hold keeps
// the entries that fit, and the others are simply not found, so those files are checked by their
// content as they always were. Two entries whose names fold alike (a folder that tells letter case
// apart) are both not found, for the same reason.
#pragma once

#include "BuildRecord.h"
#include "OnefilePlatform.h"

constexpr size_t kFolderEntriesCapacity = 8192;
constexpr size_t kFolderNameUnitsCapacity = 1 << 18;
constexpr size_t kFolderSlotsCapacity = 2 * kFolderEntriesCapacity;

struct FolderEntry {
  uint32_t name_at;
  uint16_t name_length;
  bool ambiguous;
  RecordedFileState state;
};

struct FolderStates {
  FolderEntry entries[kFolderEntriesCapacity];
  WideUnit names[kFolderNameUnitsCapacity];
  uint16_t slots[kFolderSlotsCapacity];  // an entry's index + 1; 0 is a free slot
  uint32_t entry_count;
  uint32_t names_used;
};

void clearFolderStates(FolderStates& folder);
// One entry of the listing: its name (`length` units, no terminator needed) and its state.
void addFolderState(FolderStates& folder, const WideUnit* name, size_t length, const RecordedFileState& state);
// The state listed under `name` (zero-terminated), or null.
const RecordedFileState* findFolderState(const FolderStates& folder, const WideUnit* name);
