#include "ExtractionLock.h"

namespace {

void nameAfterDirectory(const char* prefix, const WideUnit* directory, WideBuffer<64>& name) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const WideUnit* unit = directory; *unit != 0; ++unit) {
    uint16_t value = static_cast<uint16_t>(*unit);
    if (value >= 'a' && value <= 'z') value = static_cast<uint16_t>(value - 'a' + 'A');
    for (int byte = 0; byte < 2; ++byte) {
      hash ^= (value >> (8 * byte)) & 0xFF;
      hash *= 0x100000001b3ull;
    }
  }
  name[0] = 0;
  appendAsciiString(name, prefix);
  for (int shift = 60; shift >= 0; shift -= 4) appendWideChar(name, static_cast<WideUnit>("0123456789abcdef"[(hash >> shift) & 0xF]));
}

}  // namespace

void extractionLockName(const WideUnit* directory, WideBuffer<64>& name) {
  nameAfterDirectory("Local\\onefile-extract-", directory, name);
}

void buildUseName(const WideUnit* directory, WideBuffer<64>& name) {
  nameAfterDirectory("Local\\onefile-running-", directory, name);
}
