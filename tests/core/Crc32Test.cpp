// The fast CRC-32 gives zlib's values for every length up to a few KiB, at every alignment, and
// when continued across pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Crc32.h"

namespace {

std::vector<uint8_t> randomBytes(size_t size) {
  std::vector<uint8_t> bytes(size);
  uint64_t state = 0x9E3779B97F4A7C15ull;
  for (uint8_t& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<uint8_t>(state);
  }
  return bytes;
}

TEST(Crc32, MatchesZlibForEveryLengthAndAlignment) {
  const std::vector<uint8_t> bytes = randomBytes(4096 + 16);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; length <= 4096; ++length) {
      ASSERT_EQ(crc32Update(0, bytes.data() + offset, length), crc32Reference(0, bytes.data() + offset, length))
          << "offset " << offset << " length " << length;
    }
  }
}

TEST(Crc32, ContinuesAcrossPiecesAndKnownValues) {
  const std::vector<uint8_t> bytes = randomBytes(100000);
  const uint32_t whole = crc32Reference(0, bytes.data(), bytes.size());
  for (size_t split : {1u, 63u, 64u, 65u, 32768u, 99999u}) {
    const uint32_t first = crc32Update(0, bytes.data(), split);
    EXPECT_EQ(crc32Update(first, bytes.data() + split, bytes.size() - split), whole) << split;
  }
  EXPECT_EQ(crc32Update(0, "123456789", 9), 0xCBF43926u);  // the standard check value
  EXPECT_EQ(crc32Update(0, "", 0), 0u);
  const std::string zeros(1 << 20, '\0');
  EXPECT_EQ(crc32Update(0, zeros.data(), zeros.size()), crc32Reference(0, zeros.data(), zeros.size()));
}

TEST(Crc32, StoredChecksumNeverZero) {
  EXPECT_EQ(storedChecksum(0), 1u);
  EXPECT_EQ(storedChecksum(0xCBF43926u), 0xCBF43926u);
}

}  // namespace
