// Where the payload starts: the resource's first three bytes are the ASCII letters "QOV".
//
//   offset 0   3 bytes   "QOV" (no terminator, no version, no flags)
//   offset 3   n bytes   one Zstandard frame holding the entry list
//   3 + n      rest      trailing bytes, never read
#pragma once

#include "OnefilePlatform.h"

constexpr uint16_t kPayloadResourceId = 27;
constexpr uint16_t kSplashResourceId = 28;
constexpr size_t kPayloadHeaderLength = 3;
constexpr uint8_t kPayloadHeader[kPayloadHeaderLength] = {'Q', 'O', 'V'};

// True when the bytes begin with the header, compared as byte values (letter case counts).
inline bool hasPayloadHeader(const uint8_t* bytes, uint64_t length) {
  return bytes != nullptr && length >= kPayloadHeaderLength && bytes[0] == kPayloadHeader[0] &&
         bytes[1] == kPayloadHeader[1] && bytes[2] == kPayloadHeader[2];
}
