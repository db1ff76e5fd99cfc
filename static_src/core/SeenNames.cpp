#include "SeenNames.h"

#include "NameCase.h"

NameCheck rememberName(SeenNames& seen, const WideUnit* name) {
  const uint64_t hash = foldedPathHash(name);
  constexpr uint32_t kMask = kSeenNameSlots - 1;
  static_assert((kSeenNameSlots & kMask) == 0, "the slot count must be a power of two");
  // The high bits: FNV-1a mixes its last units into them best.
  uint32_t slot = static_cast<uint32_t>(hash >> 40) & kMask;
  // At most half the slots are in use, so the probe meets a free one.
  for (; seen.slots[slot] != 0; slot = (slot + 1) & kMask) {
    if (seen.slots[slot] == hash) return NameCheck::collision;
  }
  if (seen.count == kSeenNamesLimit) return NameCheck::full;
  seen.slots[slot] = hash;
  seen.count += 1;
  return NameCheck::fresh;
}

NameCheck rememberGroupNames(SeenNames& seen, const PayloadGroup& group) {
  uint32_t offset = 0;
  GroupRecord record;
  while (nextGroupRecord(group, offset, record)) {
    const NameCheck check = rememberName(seen, record.name);
    if (check != NameCheck::fresh) return check;
  }
  return NameCheck::fresh;
}

void forgetNames(SeenNames& seen) {
  if (seen.count == 0) return;  // nothing to clear, which spares a reader of many payloads 2 MiB a time
  memset(seen.slots, 0, sizeof seen.slots);
  seen.count = 0;
}
