// The payload names one start has met, so that a name Windows would take for an earlier one (the
// same path in another letter case, or the same path again) is refused before its file is written:
// otherwise the later file overwrites the earlier, which a start may just have found intact.
//
// Fixed storage, no heap: an open-addressing table of 64-bit hashes of the folded paths
// (foldedPathHash), at most half full. A folded path is never missed, since equal paths hash
// alike; two different paths are taken for one only when their hashes are equal. For names that
// are not made to collide that is a chance of about 2^-64 per pair, so under 2^-31 for a whole
// payload of kSeenNamesLimit names; a payload crafted to collide is refused, as a damaged one is.
// A payload of more than kSeenNamesLimit names is refused whole (NameCheck::full) instead of being
// checked in part; the packer never makes one.
#pragma once

#include "OnefilePlatform.h"
#include "PayloadGroup.h"

constexpr uint32_t kSeenNamesLimit = 1u << 17;
constexpr uint32_t kSeenNameSlots = 2 * kSeenNamesLimit;

struct SeenNames {
  uint64_t slots[kSeenNameSlots];  // 0 marks a free slot; foldedPathHash is never 0
  uint32_t count;
};

enum class NameCheck : uint8_t {
  fresh,      // no earlier name is the same file
  collision,  // an earlier name is the same file on Windows
  full,       // more than kSeenNamesLimit names
};

// Remembers one zero-terminated payload path ("\" or "/" between components).
NameCheck rememberName(SeenNames& seen, const WideUnit* name);

// Remembers every record of a checked group (readPayloadGroup), stopping at the first that is not
// fresh; the group's own records count against each other too.
NameCheck rememberGroupNames(SeenNames& seen, const PayloadGroup& group);

// Empties the table, for a reader that walks more than one payload.
void forgetNames(SeenNames& seen);
