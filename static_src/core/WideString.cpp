#include "WideString.h"

#include <stdio.h>

size_t wideLength(const WideUnit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Writes the source's units from position `length` on, testing the room before each unit.
static void writeUnitsAt(WideUnit* destination, size_t capacity, size_t length, const WideUnit* source) {
  for (; *source != 0; ++source) {
    if (length + 2 > capacity) stopWithoutReport();
    destination[length++] = *source;
  }
  // Even an empty text needs room for its terminator.
  if (length + 1 > capacity) stopWithoutReport();
  destination[length] = 0;
}

void copyWideString(WideUnit* destination, size_t capacity, const WideUnit* source) {
  writeUnitsAt(destination, capacity, 0, source);
}

void appendWideString(WideUnit* destination, size_t capacity, const WideUnit* source) {
  writeUnitsAt(destination, capacity, wideLength(destination), source);
}

void appendWideChar(WideUnit* destination, size_t capacity, WideUnit unit) {
  const size_t length = wideLength(destination);
  if (length + 2 > capacity) stopWithoutReport();
  destination[length] = unit;
  destination[length + 1] = 0;
}

void appendAsciiString(WideUnit* destination, size_t capacity, const char* text) {
  for (; *text != 0; ++text) {
    WideUnit unit = 0;
    if (!widenNarrowByte(*text, &unit)) stopWithoutReport();
    appendWideChar(destination, capacity, unit);
  }
}

void formatDecimal(DecimalText& text, int32_t value) {
  snprintf(text, sizeof text, "%ld", static_cast<long>(value));
}

void formatDecimalWide(WideDecimalText& text, int64_t value) {
  char narrow[sizeof(WideDecimalText) / sizeof(WideUnit)];
  snprintf(narrow, sizeof narrow, "%lld", static_cast<long long>(value));
  size_t i = 0;
  for (; narrow[i] != 0; ++i) text[i] = static_cast<WideUnit>(static_cast<unsigned char>(narrow[i]));
  text[i] = 0;
}
