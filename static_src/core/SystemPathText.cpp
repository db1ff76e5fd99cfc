#include "SystemPathText.h"

namespace {

constexpr uint32_t kEscapeBase = 0xDC00;

bool isHighSurrogate(uint32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool isLowSurrogate(uint32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// The length of the well-formed UTF-8 sequence at `bytes` and its code point; 0 when the sequence
// there is ill-formed (overlong, a surrogate, past U+10FFFF, cut short, a stray continuation).
size_t wellFormedSequence(const uint8_t* bytes, uint32_t* code_point) {
  const uint8_t lead = bytes[0];
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  }
  size_t length = 0;
  uint32_t value = 0;
  uint32_t smallest = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1Fu;
    smallest = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0Fu;
    smallest = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07u;
    smallest = 0x10000;
  } else {
    return 0;
  }
  for (size_t i = 1; i < length; ++i) {
    // A terminator is no continuation byte, so a sequence cut by the end stops here.
    if ((bytes[i] & 0xC0) != 0x80) return 0;
    value = (value << 6) | (bytes[i] & 0x3Fu);
  }
  if (value < smallest || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code_point = value;
  return length;
}

struct UnitWriter {
  WideUnit* text;
  size_t capacity;
  size_t length;
  bool put(uint32_t unit) {
    if (capacity - length < 2) return false;
    text[length++] = static_cast<WideUnit>(unit);
    return true;
  }
};

struct ByteWriter {
  char* bytes;
  size_t capacity;
  size_t length;
  bool put(uint32_t byte) {
    if (capacity - length < 2) return false;
    bytes[length++] = static_cast<char>(byte);
    return true;
  }
};

bool putCodePoint(ByteWriter& out, uint32_t code_point) {
  if (code_point < 0x80) return out.put(code_point);
  if (code_point < 0x800) return out.put(0xC0 | (code_point >> 6)) && out.put(0x80 | (code_point & 0x3F));
  if (code_point < 0x10000) {
    return out.put(0xE0 | (code_point >> 12)) && out.put(0x80 | ((code_point >> 6) & 0x3F)) &&
           out.put(0x80 | (code_point & 0x3F));
  }
  return out.put(0xF0 | (code_point >> 18)) && out.put(0x80 | ((code_point >> 12) & 0x3F)) &&
         out.put(0x80 | ((code_point >> 6) & 0x3F)) && out.put(0x80 | (code_point & 0x3F));
}

}  // namespace

bool decodeSystemText(const char* bytes, WideUnit* text, size_t capacity, bool path) {
  if (capacity == 0) return false;
  UnitWriter out = {text, capacity, 0};
  const auto* at = reinterpret_cast<const uint8_t*>(bytes);
  bool fits = true;
  while (*at != 0 && fits) {
    uint32_t code_point = 0;
    const size_t length = wellFormedSequence(at, &code_point);
    if (length == 0) {
      fits = out.put(kEscapeBase + *at);
      ++at;
      continue;
    }
    at += length;
    if (path && code_point == '/') code_point = '\\';
    if (code_point < 0x10000) {
      fits = out.put(code_point);
    } else {
      fits = out.put(0xD800 + ((code_point - 0x10000) >> 10)) && out.put(0xDC00 + ((code_point - 0x10000) & 0x3FF));
    }
  }
  if (!fits) out.length = 0;
  text[out.length] = 0;
  return fits;
}

bool encodeSystemText(const WideUnit* text, size_t escaped_length, char* bytes, size_t capacity, bool path) {
  if (capacity == 0) return false;
  ByteWriter out = {bytes, capacity, 0};
  bool fits = true;
  for (size_t index = 0; text[index] != 0 && fits; ++index) {
    uint32_t unit = static_cast<uint16_t>(text[index]);
    if (isHighSurrogate(unit) && isLowSurrogate(static_cast<uint16_t>(text[index + 1]))) {
      const uint32_t low = static_cast<uint16_t>(text[++index]);
      fits = putCodePoint(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      fits = index < escaped_length && unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF &&
             out.put(unit - kEscapeBase);
    } else {
      if (path && unit == '\\') unit = '/';
      fits = putCodePoint(out, unit);
    }
  }
  if (!fits) out.length = 0;
  bytes[out.length] = 0;
  return fits;
}
