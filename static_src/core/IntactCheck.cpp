#include "IntactCheck.h"

#include "Crc32.h"

bool fileContentMatches(ReadFileBytes read, void* file, uint8_t* buffer, uint32_t capacity, uint64_t size,
                        uint32_t stored_checksum) {
  if (capacity == 0) return false;
  uint64_t seen = 0;
  uint32_t crc = 0;
  for (;;) {
    // One byte more than the rest of the entry, so that a longer file shows without another read.
    const uint64_t rest = size - seen;
    const uint32_t wanted = rest < capacity ? static_cast<uint32_t>(rest + 1) : capacity;
    const int64_t got = read(file, buffer, wanted);
    if (got < 0 || static_cast<uint64_t>(got) > wanted) return false;
    if (static_cast<uint64_t>(got) > rest) return false;
    crc = crc32Update(crc, buffer, static_cast<uint64_t>(got));
    seen += static_cast<uint64_t>(got);
    if (static_cast<uint64_t>(got) < wanted) return seen == size && storedChecksum(crc) == stored_checksum;
  }
}
