#include "Utf8Encoding.h"

namespace {

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr uint32_t kReplacementCharacter = 0xFFFD;

// The code point that starts at text[*index]; *index moves past its units.
uint32_t nextCodePoint(const WideUnit* text, size_t* index) {
  const uint32_t unit = static_cast<uint16_t>(text[*index]);
  ++*index;
  if (isHighSurrogate(unit)) {
    const uint32_t next = static_cast<uint16_t>(text[*index]);
    if (!isLowSurrogate(next)) return kReplacementCharacter;
    ++*index;
    return 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00);
  }
  if (isLowSurrogate(unit)) return kReplacementCharacter;
  return unit;
}

size_t encodedLength(uint32_t code_point) {
  if (code_point < 0x80) return 1;
  if (code_point < 0x800) return 2;
  if (code_point < 0x10000) return 3;
  return 4;
}

void encodeCodePoint(uint32_t code_point, size_t length, char* bytes) {
  static const uint8_t kLeadMarks[] = {0x00, 0x00, 0xC0, 0xE0, 0xF0};
  for (size_t i = length - 1; i > 0; --i) {
    bytes[i] = static_cast<char>(0x80 | (code_point & 0x3F));
    code_point >>= 6;
  }
  bytes[0] = static_cast<char>(kLeadMarks[length] | code_point);
}

}  // namespace

bool encodeUtf8(const WideUnit* text, char* bytes, size_t capacity, size_t* length) {
  size_t written = 0;
  size_t index = 0;
  while (text[index] != 0) {
    const uint32_t code_point = nextCodePoint(text, &index);
    const size_t needed = encodedLength(code_point);
    if (needed > capacity - written) {
      *length = 0;
      return false;
    }
    encodeCodePoint(code_point, needed, bytes + written);
    written += needed;
  }
  *length = written;
  return true;
}
