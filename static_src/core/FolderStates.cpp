#include "FolderStates.h"

#include "NameCase.h"

namespace {

uint32_t hashOf(uint32_t level, const WideUnit* name, size_t length) {
  uint32_t hash = (2166136261u ^ level) * 16777619u;
  for (size_t i = 0; i < length; ++i) {
    const WideUnit unit = foldNameUnit(name[i]);
    hash = (hash ^ (unit & 0xFF)) * 16777619u;
    hash = (hash ^ (unit >> 8)) * 16777619u;
  }
  return hash;
}

bool sameFolded(const WideUnit* a, size_t a_length, const WideUnit* b, size_t b_length) {
  if (a_length != b_length) return false;
  for (size_t i = 0; i < a_length; ++i) {
    if (foldNameUnit(a[i]) != foldNameUnit(b[i])) return false;
  }
  return true;
}

// The slot that holds `name` of listing `level`, or the free slot where it would go.
size_t slotOf(const FolderStates& folder, uint32_t level, const WideUnit* name, size_t length) {
  size_t slot = hashOf(level, name, length) % kFolderSlotsCapacity;
  while (folder.slots[slot] != 0) {
    const FolderEntry& entry = folder.entries[folder.slots[slot] - 1];
    if (entry.level == level && sameFolded(folder.names + entry.name_at, entry.name_length, name, length)) return slot;
    slot = (slot + 1) % kFolderSlotsCapacity;
  }
  return slot;
}

size_t lengthOf(const WideUnit* name) {
  size_t length = 0;
  while (name[length] != 0) ++length;
  return length;
}

}  // namespace

void clearFolderStates(FolderStates& folder) {
  for (size_t i = 0; i < kFolderSlotsCapacity; ++i) folder.slots[i] = 0;
  folder.entry_count = 0;
  folder.names_used = 0;
  folder.level_count = 0;
}

bool beginFolderListing(FolderStates& folder) {
  if (folder.level_count == kFolderLevelsCapacity) return false;
  folder.level_entries[folder.level_count] = folder.entry_count;
  folder.level_names[folder.level_count] = folder.names_used;
  ++folder.level_count;
  return true;
}

void dropFolderListing(FolderStates& folder) {
  if (folder.level_count == 0) return;
  const uint32_t level = --folder.level_count;
  // Newest first: with linear probing, freeing the newest entry's slot never cuts the probe chain
  // of an older one, since that slot was free when every older entry was placed.
  while (folder.entry_count > folder.level_entries[level]) {
    const FolderEntry& entry = folder.entries[folder.entry_count - 1];
    size_t slot = hashOf(level, folder.names + entry.name_at, entry.name_length) % kFolderSlotsCapacity;
    while (folder.slots[slot] != folder.entry_count) slot = (slot + 1) % kFolderSlotsCapacity;
    folder.slots[slot] = 0;
    --folder.entry_count;
  }
  folder.names_used = folder.level_names[level];
}

void addFolderEntry(FolderStates& folder, const WideUnit* name, size_t length, ListedKind kind,
                    const RecordedFileState& state) {
  // Payload names are at most 1023 units, so a longer one is never looked for.
  if (folder.level_count == 0 || length == 0 || length > 1023 || folder.entry_count == kFolderEntriesCapacity ||
      kFolderNameUnitsCapacity - folder.names_used < length)
    return;
  const uint32_t level = folder.level_count - 1;
  const size_t slot = slotOf(folder, level, name, length);
  if (folder.slots[slot] != 0) {
    folder.entries[folder.slots[slot] - 1].ambiguous = true;
    return;
  }
  FolderEntry& entry = folder.entries[folder.entry_count];
  entry.name_at = folder.names_used;
  entry.name_length = static_cast<uint16_t>(length);
  entry.level = static_cast<uint8_t>(level);
  entry.kind = kind;
  entry.ambiguous = false;
  entry.state = state;
  memcpy(folder.names + folder.names_used, name, length * sizeof(WideUnit));
  folder.names_used += static_cast<uint32_t>(length);
  folder.slots[slot] = static_cast<uint16_t>(++folder.entry_count);
}

const FolderEntry* findListedEntry(const FolderStates& folder, uint32_t level, const WideUnit* name) {
  if (level >= folder.level_count) return nullptr;
  const size_t slot = slotOf(folder, level, name, lengthOf(name));
  if (folder.slots[slot] == 0) return nullptr;
  const FolderEntry& entry = folder.entries[folder.slots[slot] - 1];
  return entry.ambiguous ? nullptr : &entry;
}

const RecordedFileState* findFolderState(const FolderStates& folder, const WideUnit* name) {
  if (folder.level_count == 0) return nullptr;
  const FolderEntry* entry = findListedEntry(folder, folder.level_count - 1, name);
  return entry != nullptr && entry->kind == ListedKind::file ? &entry->state : nullptr;
}
