#include "FolderStates.h"

#include "NameCase.h"

namespace {

uint32_t hashOf(const WideUnit* name, size_t length) {
  uint32_t hash = 2166136261u;
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

// The slot that holds `name`, or the free slot where it would go.
size_t slotOf(const FolderStates& folder, const WideUnit* name, size_t length) {
  size_t slot = hashOf(name, length) % kFolderSlotsCapacity;
  while (folder.slots[slot] != 0) {
    const FolderEntry& entry = folder.entries[folder.slots[slot] - 1];
    if (sameFolded(folder.names + entry.name_at, entry.name_length, name, length)) return slot;
    slot = (slot + 1) % kFolderSlotsCapacity;
  }
  return slot;
}

}  // namespace

void clearFolderStates(FolderStates& folder) {
  for (size_t i = 0; i < kFolderSlotsCapacity; ++i) folder.slots[i] = 0;
  folder.entry_count = 0;
  folder.names_used = 0;
}

void addFolderState(FolderStates& folder, const WideUnit* name, size_t length, const RecordedFileState& state) {
  // Payload names are at most 1023 units, so a longer one is never looked for.
  if (length == 0 || length > 1023 || folder.entry_count == kFolderEntriesCapacity ||
      kFolderNameUnitsCapacity - folder.names_used < length)
    return;
  const size_t slot = slotOf(folder, name, length);
  if (folder.slots[slot] != 0) {
    folder.entries[folder.slots[slot] - 1].ambiguous = true;
    return;
  }
  FolderEntry& entry = folder.entries[folder.entry_count];
  entry.name_at = folder.names_used;
  entry.name_length = static_cast<uint16_t>(length);
  entry.ambiguous = false;
  entry.state = state;
  memcpy(folder.names + folder.names_used, name, length * sizeof(WideUnit));
  folder.names_used += static_cast<uint32_t>(length);
  folder.slots[slot] = static_cast<uint16_t>(++folder.entry_count);
}

const RecordedFileState* findFolderState(const FolderStates& folder, const WideUnit* name) {
  size_t length = 0;
  while (name[length] != 0) ++length;
  const size_t slot = slotOf(folder, name, length);
  if (folder.slots[slot] == 0) return nullptr;
  const FolderEntry& entry = folder.entries[folder.slots[slot] - 1];
  return entry.ambiguous ? nullptr : &entry.state;
}
