#include "NameCase.h"

namespace {

// Every unit first, first + stride, ... up to last maps to unit + delta (mod 2^16).
struct CaseRun {
  uint16_t first;
  uint16_t last;
  uint16_t stride;
  uint16_t delta;
};

const CaseRun kUpperCaseRuns[] = {
#include "NameCaseTable.inc"
};
constexpr size_t kUpperCaseRunCount = sizeof kUpperCaseRuns / sizeof kUpperCaseRuns[0];

}  // namespace

WideUnit foldNameUnit(WideUnit unit) {
  const uint16_t value = static_cast<uint16_t>(unit);
  // The last run whose first unit is not above the value.
  size_t low = 0;
  size_t high = kUpperCaseRunCount;
  while (low < high) {
    const size_t middle = low + (high - low) / 2;
    if (kUpperCaseRuns[middle].first <= value) {
      low = middle + 1;
    } else {
      high = middle;
    }
  }
  if (low == 0) return unit;
  const CaseRun& run = kUpperCaseRuns[low - 1];
  if (value > run.last || (value - run.first) % run.stride != 0) return unit;
  return static_cast<WideUnit>(static_cast<uint16_t>(value + run.delta));
}

WideUnit foldPathUnit(WideUnit unit) { return unit == '/' ? static_cast<WideUnit>('\\') : foldNameUnit(unit); }

bool samePathFolded(const WideUnit* a, const WideUnit* b) {
  for (;; ++a, ++b) {
    if (foldPathUnit(*a) != foldPathUnit(*b)) return false;
    if (*a == 0) return true;
  }
}

uint64_t foldedPathHash(const WideUnit* path) {
  uint64_t hash = 0xCBF29CE484222325u;
  for (; *path != 0; ++path) {
    const uint16_t unit = static_cast<uint16_t>(foldPathUnit(*path));
    hash = (hash ^ (unit & 0xFFu)) * 0x100000001B3u;
    hash = (hash ^ (unit >> 8)) * 0x100000001B3u;
  }
  return hash == 0 ? 1 : hash;
}
