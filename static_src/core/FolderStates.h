// What folders' listings say about their entries, found by name as Windows finds names (letter
// case folded as the volume folds it, NameCase.h). A warm start reads a folder's entries in one
// query and looks each payload file up here instead of opening it, and learns from the same
// listing whether a subfolder on the way is a real folder or a link.
//
// The listings form a stack: those of the folders on the way to the file looked at last, outermost
// first. Payload names come sorted by their components, so a folder's files and its subfolders'
// files interleave ("a\b\x", "a\c.js", "a\d\y"); keeping the outer listings while an inner one is
// read lists each folder once instead of again after every subfolder.
//
// Everything lives in fixed arrays shared by the whole stack: entries or names past their room,
// and folders deeper than the stack, are simply not found, so those files are checked by their
// content as they always were. Two entries of one listing whose names fold alike (a folder that
// tells letter case apart) are both not found, for the same reason.
#pragma once

#include "BuildRecord.h"
#include "OnefilePlatform.h"

constexpr size_t kFolderEntriesCapacity = 8192;
constexpr size_t kFolderNameUnitsCapacity = 1 << 18;
constexpr size_t kFolderSlotsCapacity = 2 * kFolderEntriesCapacity;
constexpr size_t kFolderLevelsCapacity = 32;

enum class ListedKind : uint8_t {
  file,    // a regular file
  folder,  // a real folder
  link,    // anything with a reparse point: a symbolic link, a junction, a mount point
};

struct FolderEntry {
  uint32_t name_at;
  uint16_t name_length;
  uint8_t level;
  ListedKind kind;
  bool ambiguous;
  RecordedFileState state;  // for a file
};

struct FolderStates {
  FolderEntry entries[kFolderEntriesCapacity];
  WideUnit names[kFolderNameUnitsCapacity];
  uint16_t slots[kFolderSlotsCapacity];  // an entry's index + 1; 0 is a free slot
  uint32_t entry_count;
  uint32_t names_used;
  uint32_t level_entries[kFolderLevelsCapacity];  // entry_count when the listing began
  uint32_t level_names[kFolderLevelsCapacity];    // names_used when the listing began
  uint32_t level_count;
};

// No listing at all.
void clearFolderStates(FolderStates& folder);
// Opens a listing on top of the stack; false when the stack is full.
bool beginFolderListing(FolderStates& folder);
// Drops the listing on top of the stack and every entry it holds.
void dropFolderListing(FolderStates& folder);

// One entry of the top listing: its name (`length` units, no terminator needed), its kind and, for
// a file, its state. Ignored when no listing is open.
void addFolderEntry(FolderStates& folder, const WideUnit* name, size_t length, ListedKind kind,
                    const RecordedFileState& state);
inline void addFolderState(FolderStates& folder, const WideUnit* name, size_t length, const RecordedFileState& state) {
  addFolderEntry(folder, name, length, ListedKind::file, state);
}

// The entry listed under `name` (zero-terminated) in listing `level` (0 the outermost), or null.
const FolderEntry* findListedEntry(const FolderStates& folder, uint32_t level, const WideUnit* name);
// The state of the regular file listed under `name` in the top listing, or null.
const RecordedFileState* findFolderState(const FolderStates& folder, const WideUnit* name);
