// The trailer of a Linux launcher: what it writes reads back, and no trailer whose regions could
// reach outside the file, overlap or come out of order is taken.
#include <gtest/gtest.h>

#include "AppendedTrailer.h"

namespace {

struct Bytes {
  uint8_t value[kAppendedTrailerLength];
};

Bytes trailerBytes(const AppendedTrailer& trailer) {
  Bytes bytes{};
  writeAppendedTrailer(trailer, bytes.value);
  return bytes;
}

TEST(AppendedTrailer, ReadsBackWhatItWrites) {
  const AppendedTrailer written{{1000, 40}, {1040, 5000}, {6040, 1}};
  Bytes bytes = trailerBytes(written);
  EXPECT_EQ(0, memcmp(bytes.value + 52, "QOVL", 4));
  EXPECT_EQ(1, bytes.value[48]);
  AppendedTrailer read{};
  ASSERT_EQ(TrailerStatus::valid, readAppendedTrailer(bytes.value, 6041 + kAppendedTrailerLength, read));
  EXPECT_EQ(1040u, read.payload.offset);
  EXPECT_EQ(5000u, read.payload.length);
  EXPECT_EQ(6040u, read.modes.offset);
}

TEST(AppendedTrailer, RefusesRegionsOutsideTheFileOrOutOfOrder) {
  const uint64_t kMax = ~uint64_t{0};
  const uint64_t file_length = 10000 + kAppendedTrailerLength;  // regions may end at 10000
  const struct {
    const char* what;
    AppendedTrailer trailer;
    TrailerStatus expected;
  } cases[] = {
      {"all three, back to back, ending at the trailer", {{100, 10}, {110, 9880}, {9990, 10}}, TrailerStatus::valid},
      {"gaps between regions", {{100, 10}, {200, 10}, {300, 1}}, TrailerStatus::valid},
      {"empty modes", {{100, 10}, {110, 100}, {210, 0}}, TrailerStatus::valid},
      {"settings at offset 0, over the stub", {{0, 10}, {10, 10}, {20, 1}}, TrailerStatus::outOfBounds},
      {"payload reaches into the trailer", {{100, 10}, {110, 9891}, {10001, 0}}, TrailerStatus::outOfBounds},
      {"payload overlaps the settings", {{100, 10}, {105, 10}, {115, 1}}, TrailerStatus::outOfBounds},
      {"modes before the payload", {{100, 10}, {200, 10}, {150, 1}}, TrailerStatus::outOfBounds},
      {"a length that wraps around", {{100, 10}, {110, kMax - 50}, {200, 1}}, TrailerStatus::outOfBounds},
      {"an offset past the end", {{100, 10}, {110, 10}, {kMax, 0}}, TrailerStatus::outOfBounds},
  };
  for (const auto& row : cases) {
    Bytes bytes = trailerBytes(row.trailer);
    AppendedTrailer read{};
    EXPECT_EQ(row.expected, readAppendedTrailer(bytes.value, file_length, read)) << row.what;
  }
}

TEST(AppendedTrailer, TellsAFileWithoutOneFromANewerLayout) {
  Bytes bytes = trailerBytes({{100, 10}, {110, 10}, {120, 1}});
  AppendedTrailer read{};
  EXPECT_EQ(TrailerStatus::missing, readAppendedTrailer(bytes.value, kAppendedTrailerLength - 1, read))
      << "a file shorter than a trailer";
  bytes.value[48] = 2;
  EXPECT_EQ(TrailerStatus::newerLayout, readAppendedTrailer(bytes.value, 100000, read));
  bytes.value[55] = 'l';
  EXPECT_EQ(TrailerStatus::missing, readAppendedTrailer(bytes.value, 100000, read)) << "magic differs in case";
}

TEST(AppendedTrailer, MarksExecutableEntriesByBit) {
  const uint8_t modes[] = {0x05, 0x80};  // entries 0, 2 and 15
  const struct {
    uint64_t index;
    bool executable;
  } cases[] = {{0, true}, {1, false}, {2, true}, {7, false}, {15, true}, {16, false}, {1u << 20, false}};
  for (const auto& row : cases) {
    EXPECT_EQ(row.executable, isExecutableEntry(modes, sizeof modes, row.index)) << row.index;
  }
  EXPECT_FALSE(isExecutableEntry(nullptr, 0, 0));
}

}  // namespace
