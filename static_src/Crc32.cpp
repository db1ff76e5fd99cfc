#include "Crc32.h"

#include <zlib.h>

uint32_t crc32Update(uint32_t crc, const void* data, uint64_t length) {
  const Bytef* bytes = static_cast<const Bytef*>(data);
  uLong value = crc;
  while (length > 0) {
    const uInt piece = length > 0x40000000u ? 0x40000000u : static_cast<uInt>(length);
    value = crc32(value, bytes, piece);
    bytes += piece;
    length -= piece;
  }
  return static_cast<uint32_t>(value);
}
