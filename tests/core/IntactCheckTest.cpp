// The read-based intact test over a file that a fake reader serves: whole, changed, and changed
// while it is being read. The last cases reproduce the fault of the mapping test, which took the
// length first and then read a view of that length: a file cut short in between was read past the
// end of its view. Read front to back, such a file is simply not intact.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "Crc32.h"
#include "IntactCheck.h"

namespace {

// A file whose content may change after a number of reads, as when another process truncates or
// appends to it while the launcher checks it.
struct FakeFile {
  std::string content;
  int change_after_reads = -1;  // -1: never changes
  std::string changed_content;
  int fail_at_read = -1;  // -1: never fails
  size_t position = 0;
  int reads = 0;
};

int64_t readFake(void* handle, uint8_t* buffer, uint32_t capacity) {
  FakeFile& file = *static_cast<FakeFile*>(handle);
  if (file.reads == file.fail_at_read) return -1;
  if (file.reads == file.change_after_reads) file.content = file.changed_content;
  file.reads += 1;
  if (file.position >= file.content.size()) return 0;
  const size_t count = std::min<size_t>(capacity, file.content.size() - file.position);
  std::copy_n(file.content.data() + file.position, count, buffer);
  file.position += count;
  return static_cast<int64_t>(count);
}

uint32_t checksumOf(const std::string& data) { return storedChecksum(crc32Update(0, data.data(), data.size())); }

std::string pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 31 + (i >> 7));
  return data;
}

TEST(IntactCheck, OnlyTheWholeUnchangedContentIsIntact) {
  constexpr uint32_t kCapacity = 64;
  const std::string entry = pattern(200);
  std::string flipped = entry;
  flipped[150] ^= 1;
  const struct {
    const char* what;
    FakeFile file;
    uint64_t size;
    bool intact;
    int most_reads;  // reading stops as soon as the answer is known
  } cases[] = {
      {"the entry's content", {entry}, entry.size(), true, 4},
      {"a multiple of the buffer", {pattern(128)}, 128, true, 3},
      {"shorter than the buffer", {pattern(10)}, 10, true, 1},
      {"one byte changed", {flipped}, entry.size(), false, 4},
      {"one byte more", {entry + "x"}, entry.size(), false, 4},
      {"much longer", {entry + pattern(1000)}, entry.size(), false, 4},
      {"one byte less", {entry.substr(0, 199)}, entry.size(), false, 4},
      {"empty", {""}, entry.size(), false, 1},
      {"cut short while read", {entry, 1, entry.substr(0, 100)}, entry.size(), false, 4},
      {"cut to nothing while read", {entry, 2, ""}, entry.size(), false, 4},
      {"grown while read", {entry, 2, entry + "more"}, entry.size(), false, 4},
      {"replaced by the same length while read", {entry, 2, flipped}, entry.size(), false, 4},
      {"a read that fails", {entry, -1, "", 1}, entry.size(), false, 2},
      // An empty file stands for an empty entry like any other content: rewriting it on every start
      // failed while the application held it open, and made its whole group decode every time.
      {"an empty file for an entry of size 0", {""}, 0, true, 1},
      {"a file with content for an entry of size 0", {"x"}, 0, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeFile file = c.file;
    uint8_t buffer[kCapacity];
    EXPECT_EQ(fileContentMatches(readFake, &file, buffer, kCapacity, c.size, checksumOf(entry.substr(0, c.size))),
              c.intact);
    EXPECT_LE(file.reads, c.most_reads);
  }
}

// The stored value is the CRC with 0 written as 1, so content whose CRC is 0 still matches.
TEST(IntactCheck, ContentWhoseCrcIsZeroMatchesItsStoredChecksum) {
  // The one 4-byte content whose CRC-32 is 0 (solved as a linear system over GF(2)).
  const std::string zero_crc("\x9d\x0a\xd9\x6d", 4);
  ASSERT_EQ(crc32Update(0, zero_crc.data(), zero_crc.size()), 0u);
  FakeFile file{zero_crc};
  uint8_t buffer[16];
  EXPECT_TRUE(fileContentMatches(readFake, &file, buffer, sizeof buffer, zero_crc.size(), 1));
}

}  // namespace
