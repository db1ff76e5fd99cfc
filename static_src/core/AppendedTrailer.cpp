#include "AppendedTrailer.h"

namespace {

uint64_t readU64(const uint8_t* bytes) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  return value;
}

uint32_t readU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void writeU64(uint8_t* bytes, uint64_t value) {
  for (int i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// begin <= region and region ends at or before limit, without overflow.
bool regionFits(const AppendedRegion& region, uint64_t begin, uint64_t limit) {
  return region.offset >= begin && region.offset <= limit && region.length <= limit - region.offset;
}

}  // namespace

TrailerStatus readAppendedTrailer(const uint8_t* last_bytes, uint64_t file_length,
                                  AppendedTrailer& trailer) {
  if (last_bytes == nullptr || file_length < kAppendedTrailerLength ||
      memcmp(last_bytes + 52, kAppendedMagic, sizeof kAppendedMagic) != 0) {
    return TrailerStatus::missing;
  }
  const uint32_t layout = readU32(last_bytes + 48);
  if (layout != kAppendedLayout) return TrailerStatus::newerLayout;
  trailer.settings = {readU64(last_bytes), readU64(last_bytes + 8)};
  trailer.payload = {readU64(last_bytes + 16), readU64(last_bytes + 24)};
  trailer.modes = {readU64(last_bytes + 32), readU64(last_bytes + 40)};
  const uint64_t limit = file_length - kAppendedTrailerLength;
  if (trailer.settings.offset == 0 || !regionFits(trailer.settings, 1, limit)) {
    return TrailerStatus::outOfBounds;
  }
  const uint64_t settings_end = trailer.settings.offset + trailer.settings.length;
  if (!regionFits(trailer.payload, settings_end, limit)) return TrailerStatus::outOfBounds;
  const uint64_t payload_end = trailer.payload.offset + trailer.payload.length;
  if (!regionFits(trailer.modes, payload_end, limit)) return TrailerStatus::outOfBounds;
  return TrailerStatus::valid;
}

void writeAppendedTrailer(const AppendedTrailer& trailer, uint8_t (&bytes)[kAppendedTrailerLength]) {
  writeU64(bytes, trailer.settings.offset);
  writeU64(bytes + 8, trailer.settings.length);
  writeU64(bytes + 16, trailer.payload.offset);
  writeU64(bytes + 24, trailer.payload.length);
  writeU64(bytes + 32, trailer.modes.offset);
  writeU64(bytes + 40, trailer.modes.length);
  for (int i = 0; i < 4; ++i) bytes[48 + i] = static_cast<uint8_t>(kAppendedLayout >> (8 * i));
  memcpy(bytes + 52, kAppendedMagic, sizeof kAppendedMagic);
}

bool isExecutableEntry(const uint8_t* modes, uint64_t modes_length, uint64_t index) {
  if (modes == nullptr || index / 8 >= modes_length) return false;
  return (modes[index / 8] >> (index % 8) & 1u) != 0;
}
