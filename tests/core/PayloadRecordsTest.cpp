// The entry list as the packer writes it and the launcher reads it: record fields, the end
// marker, bounded and checked names, and the exact frame and trailer the packer produces.
#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Crc32.h"
#include "PayloadEntry.h"
#include "PayloadHeader.h"
#include "PayloadWriter.h"
#include "TestFrames.h"
#include "WideString.h"

namespace {

std::basic_string<WideUnit> wide(const std::u16string& text) { return {text.begin(), text.end()}; }

struct ReadEntry {
  std::u16string name;
  uint64_t size;
  uint32_t checksum;
  std::string data;
};

// Walks a whole resource the way the launcher does: header, names, fields, data in 32 KiB pieces.
// With `skip`, every entry's data frame is stepped over where the stream allows it, as for a file
// found intact; `skipped` counts those.
std::vector<ReadEntry> walk(const std::string& resource, EntryNameStatus* last_status = nullptr, bool skip = false,
                            size_t* skipped = nullptr) {
  std::vector<ReadEntry> entries;
  const auto* bytes = reinterpret_cast<const uint8_t*>(resource.data());
  EXPECT_TRUE(hasPayloadHeader(bytes, resource.size()));
  PayloadStream stream;
  EXPECT_EQ(openPayloadStream(stream, bytes + 3, resource.size() - 3), PayloadStatus::ok);
  for (;;) {
    EntryNameBuffer name;
    const EntryNameStatus status = readEntryName(stream, name);
    if (last_status != nullptr) *last_status = status;
    if (status != EntryNameStatus::name) break;
    ReadEntry entry;
    entry.name.assign(name, name + wideLength(name));
    if (readEntrySizeAndChecksum(stream, entry.size, entry.checksum) != PayloadStatus::ok) break;
    entry.data.resize(entry.size);
    if (skip && skipSizedFrame(stream, entry.size)) {
      ++*skipped;
      entry.data = "<skipped>";
      entries.push_back(entry);
      continue;
    }
    for (uint64_t done = 0; done < entry.size;) {
      const uint64_t piece = std::min<uint64_t>(32768, entry.size - done);
      EXPECT_EQ(readPayload(stream, &entry.data[done], piece), PayloadStatus::ok);
      done += piece;
    }
    entries.push_back(entry);
  }
  closePayloadStream(stream);
  return entries;
}

TEST(PayloadRecords, WhatTheWriterWritesTheReaderReadsBack) {
  const std::vector<PayloadFile> files = {
      {u"Quorvell.exe", mixedContent(70000)},
      {u"empty.txt", ""},
      {u"lib\\codecs\\b.dll", mixedContent(300000)},
      {u"donn\u00e9es\\\u65e5\u672c.txt", "x"},
  };
  EntryNameStatus last = EntryNameStatus::name;
  const std::vector<ReadEntry> entries = walk(buildPayloadResource(files.data(), files.size()), &last);
  EXPECT_EQ(last, EntryNameStatus::endMarker);
  ASSERT_EQ(entries.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(entries[i].name, files[i].name);
    EXPECT_EQ(entries[i].size, files[i].data.size());
    EXPECT_TRUE(entries[i].data == files[i].data);
    EXPECT_EQ(entries[i].checksum, storedChecksum(crc32Update(0, files[i].data.data(), files[i].data.size())));
  }
  EXPECT_EQ(entries[1].checksum, 1u);  // the CRC-32 of no bytes is 0, stored as 1
}

TEST(PayloadRecords, PerFileLayoutReadsTheSameAndLetsIntactDataBeSteppedOver) {
  const std::vector<PayloadFile> files = {
      {u"Quorvell.exe", mixedContent(70000)},
      {u"empty.txt", ""},
      {u"big.bin", mixedContent(400000)},
      {u"tiny.txt", "t"},
  };
  const std::string single = buildPayloadResource(files.data(), files.size());
  const std::string per_file = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::perFile);
  EntryNameStatus last = EntryNameStatus::name;
  const auto read_per_file = walk(per_file, &last);
  EXPECT_EQ(last, EntryNameStatus::endMarker);
  const auto read_single = walk(single);
  ASSERT_EQ(read_per_file.size(), files.size());
  for (size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(read_per_file[i].name, read_single[i].name);
    EXPECT_TRUE(read_per_file[i].data == read_single[i].data);
    EXPECT_EQ(read_per_file[i].checksum, read_single[i].checksum);
  }

  // Every non-empty data frame can be stepped over; what follows still reads correctly.
  size_t skipped = 0;
  const auto stepped = walk(per_file, &last, true, &skipped);
  EXPECT_EQ(skipped, 3u);
  EXPECT_EQ(last, EntryNameStatus::endMarker);
  ASSERT_EQ(stepped.size(), files.size());
  EXPECT_EQ(stepped[3].name, u"tiny.txt");

  // The single frame never allows it: the data is read and discarded as before.
  skipped = 0;
  const auto read_anyway = walk(single, &last, true, &skipped);
  EXPECT_EQ(skipped, 0u);
  EXPECT_EQ(last, EntryNameStatus::endMarker);
  EXPECT_TRUE(read_anyway[2].data == files[2].data);
}

TEST(PayloadRecords, PerFileFramesDeclareTheirSizeAndAtMost8MiBOfWindow) {
  const std::vector<PayloadFile> files = {{u"a.exe", mixedContent(1000)}, {u"big.bin", mixedContent(12 << 20)}};
  const std::string resource = buildPayloadResource(files.data(), files.size(), 1, 0, PayloadLayout::perFile);
  const uint8_t* frame = reinterpret_cast<const uint8_t*>(resource.data()) + 3;
  size_t remaining = resource.size() - 3 - 14;
  size_t frames = 0;
  while (remaining > 0) {
    ZSTD_frameHeader header;
    ASSERT_EQ(ZSTD_getFrameHeader(&header, frame, remaining), 0u);
    EXPECT_NE(header.frameContentSize, ZSTD_CONTENTSIZE_UNKNOWN);
    EXPECT_LE(header.windowSize, uint64_t{1} << 23);
    const size_t length = ZSTD_findFrameCompressedSize(frame, remaining);
    ASSERT_FALSE(ZSTD_isError(length));
    frame += length;
    remaining -= length;
    ++frames;
  }
  EXPECT_EQ(frames, 5u);  // two headers, two data frames, the end marker
}

TEST(PayloadRecords, AFrameOfAnotherSizeIsNotSteppedOver) {
  const PayloadFile file = {u"a.bin", mixedContent(5000)};
  const std::string resource = buildPayloadResource(&file, 1, 3, 0, PayloadLayout::perFile);
  PayloadStream stream;
  ASSERT_EQ(openPayloadStream(stream, reinterpret_cast<const uint8_t*>(resource.data()) + 3, resource.size() - 3),
            PayloadStatus::ok);
  EntryNameBuffer name;
  ASSERT_EQ(readEntryName(stream, name), EntryNameStatus::name);
  uint64_t size = 0;
  uint32_t checksum = 0;
  ASSERT_EQ(readEntrySizeAndChecksum(stream, size, checksum), PayloadStatus::ok);
  EXPECT_FALSE(skipSizedFrame(stream, size - 1));
  EXPECT_FALSE(skipSizedFrame(stream, size + 1));
  std::string first(10, '\0');
  ASSERT_EQ(readPayload(stream, first.data(), first.size()), PayloadStatus::ok);
  EXPECT_EQ(first, file.data.substr(0, 10));
  EXPECT_FALSE(skipSizedFrame(stream, size - 10));  // inside a frame
  closePayloadStream(stream);
}

TEST(PayloadRecords, AFrameThatDeclaresNoSizeIsNeverSteppedOver) {
  const PayloadFile file = {u"a.bin", mixedContent(5000)};
  const std::string resource = buildPayloadResource(&file, 1);  // one frame, no content size
  PayloadStream stream;
  ASSERT_EQ(openPayloadStream(stream, reinterpret_cast<const uint8_t*>(resource.data()) + 3, resource.size() - 3),
            PayloadStatus::ok);
  for (const uint64_t size : {ZSTD_CONTENTSIZE_UNKNOWN, ZSTD_CONTENTSIZE_ERROR}) {
    EXPECT_FALSE(skipSizedFrame(stream, size)) << size;
  }
  EntryNameBuffer name;
  EXPECT_EQ(readEntryName(stream, name), EntryNameStatus::name);  // nothing was stepped over
  closePayloadStream(stream);
}

TEST(PayloadRecords, AnEndMarkerAloneIsAnEmptyList) {
  EntryNameStatus last = EntryNameStatus::name;
  EXPECT_TRUE(walk(buildPayloadResource(nullptr, 0), &last).empty());
  EXPECT_EQ(last, EntryNameStatus::endMarker);
}

TEST(PayloadRecords, TheResourceHasTheFixedFrameHeaderAndTrailer) {
  const PayloadFile file = {u"a.exe", mixedContent(10)};
  const std::string resource = buildPayloadResource(&file, 1);
  ASSERT_GT(resource.size(), 3u + 6u + 14u);
  EXPECT_EQ(resource.substr(0, 3), "QOV");
  EXPECT_EQ(resource.substr(3, 4), std::string("\x28\xB5\x2F\xFD", 4));  // zstd frame magic
  EXPECT_EQ(static_cast<uint8_t>(resource[7]), 0x00);  // no content size, no checksum, no dictionary
  EXPECT_EQ(static_cast<uint8_t>(resource[8]), 0x88);  // window of 2^27 bytes
  const std::string trailer = resource.substr(resource.size() - 14);
  EXPECT_EQ(trailer.substr(0, 6), std::string(6, '\0'));
  uint64_t recorded = 0;
  for (int i = 7; i >= 0; --i) recorded = (recorded << 8) | static_cast<uint8_t>(trailer[6 + i]);
  EXPECT_EQ(recorded, resource.size() - 8);
}

TEST(PayloadRecords, TheSameInputGivesTheSameBytesWhateverTheWorkerCount) {
  const std::vector<PayloadFile> files = {{u"a.exe", mixedContent(3000000)}, {u"b\\c.dat", mixedContent(2500000)}};
  const std::string one = buildPayloadResource(files.data(), files.size(), 3, 1);
  EXPECT_EQ(one, buildPayloadResource(files.data(), files.size(), 3, 1));
  EXPECT_EQ(one, buildPayloadResource(files.data(), files.size(), 3, 2));
}

// A resource whose entry list is written by hand, to hold what the writer refuses to make.
std::string handMadeResource(const std::string& entry_list) { return "QOV" + compressFrame(entry_list, {}); }

std::string units(const std::u16string& text, bool terminate = true) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  if (terminate) bytes.append(2, '\0');
  return bytes;
}

TEST(PayloadRecords, NamesAreBoundedAt1023Units) {
  const std::u16string longest(1023, u'n');
  EntryNameStatus last = EntryNameStatus::name;
  const auto entries = walk(handMadeResource(units(longest) + std::string(12, '\0') + units(u"")), &last);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, longest);

  // 1024 units and more: refused once the buffer is full, without reading further.
  for (size_t length : {1024u, 5000u}) {
    walk(handMadeResource(units(std::u16string(length, u'n')) + std::string(12, '\0')), &last);
    EXPECT_EQ(last, EntryNameStatus::tooLong) << length;
  }
}

TEST(PayloadRecords, AListThatEndsInsideARecordIsADecodeError) {
  EntryNameStatus last = EntryNameStatus::name;
  walk(handMadeResource(units(u"abc", false)), &last);
  EXPECT_EQ(last, EntryNameStatus::decodeError);
}

TEST(PayloadRecords, UnsafeNamesAreRefused) {
  const struct {
    const char16_t* name;
    bool safe;
  } cases[] = {
      {u"Quorvell.exe", true},
      {u"lib\\codecs\\b.dll", true},
      {u"lib/b.dll", true},
      {u"..data", true},
      {u"a..b\\c.d", true},
      {u"console.txt", true},
      {u"com10.txt", true},
      {u"lpt\\nul_\\con-x", true},
      {u" leading space", true},
      {u"\\rooted.exe", false},
      {u"/rooted.exe", false},
      {u"C:\\Windows\\x.dll", false},
      {u"C:x.dll", false},
      {u"file.txt:stream", false},
      {u"..\\escape.dll", false},
      {u"lib\\..\\..\\escape.dll", false},
      {u"lib/../escape.dll", false},
      {u".\\a.dll", false},
      {u"lib\\.", false},
      {u"lib\\\\twice.dll", false},
      {u"lib\\", false},
      {u"..", false},
      // Windows drops a trailing dot or space, so these alias "a", "b" and their folder.
      {u"a.", false},
      {u"lib\\b ", false},
      {u"...", false},
      {u"lib.\\a.dll", false},
      // Device names, in any letter case and with any extension.
      {u"CON", false},
      {u"lib\\nul.txt", false},
      {u"Aux.tar.gz", false},
      {u"prn .log", false},
      {u"com1", false},
      {u"LPT9.dat", false},
      {u"com\u00b9.txt", false},
      // Units no Windows file name may hold.
      {u"a<b", false},
      {u"what?", false},
      {u"star*", false},
      {u"pipe|x", false},
      {u"quote\"", false},
      {u"tab\tname", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(isSafeEntryName(wide(c.name).c_str()), c.safe) << testing::PrintToString(std::u16string(c.name));
  }
  EntryNameStatus last = EntryNameStatus::name;
  for (const char16_t* name : {u"..\\evil.exe", u"a.", u"nul.txt"}) {
    walk(handMadeResource(units(name) + std::string(12, '\0') + units(u"")), &last);
    EXPECT_EQ(last, EntryNameStatus::unsafe) << testing::PrintToString(std::u16string(name));
  }
}

}  // namespace
