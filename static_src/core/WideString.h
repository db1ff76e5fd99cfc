// Bounded UTF-16 texts in fixed-capacity buffers.
//
// A WideBuffer<N> holds one NUL-terminated text of at most N - 1 units; no length is stored.
// Every operation checks the room before each unit it writes (length + added + terminator must
// not exceed the capacity) and stops the program through stopWithoutReport() when a text does
// not fit: a text is never cut short and nothing is written at or past the capacity.
#pragma once

#include "OnefilePlatform.h"

template <size_t Capacity>
using WideBuffer = WideUnit[Capacity];

size_t wideLength(const WideUnit* text);

// The capacity counts the units the destination's text may occupy from the destination pointer
// on, terminator included.
void copyWideString(WideUnit* destination, size_t capacity, const WideUnit* source);
void appendWideString(WideUnit* destination, size_t capacity, const WideUnit* source);
void appendWideChar(WideUnit* destination, size_t capacity, WideUnit unit);
void appendAsciiString(WideUnit* destination, size_t capacity, const char* text);

// The same operations on a whole buffer, with its capacity taken from its type.
template <size_t Capacity>
void copyWideString(WideBuffer<Capacity>& destination, const WideUnit* source) {
  copyWideString(destination, Capacity, source);
}
template <size_t Capacity>
void appendWideString(WideBuffer<Capacity>& destination, const WideUnit* source) {
  appendWideString(destination, Capacity, source);
}
template <size_t Capacity>
void appendWideChar(WideBuffer<Capacity>& destination, WideUnit unit) {
  appendWideChar(destination, Capacity, unit);
}
template <size_t Capacity>
void appendAsciiString(WideBuffer<Capacity>& destination, const char* text) {
  appendAsciiString(destination, Capacity, text);
}

// Decimal text of a signed 32-bit value ("%ld") into a 128-byte narrow buffer, and of a signed
// 64-bit value ("%lld") into a 1024-unit wide buffer.
typedef char DecimalText[128];
typedef WideUnit WideDecimalText[1024];
void formatDecimal(DecimalText& text, int32_t value);
void formatDecimalWide(WideDecimalText& text, int64_t value);
