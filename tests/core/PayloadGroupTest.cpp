// Groups of records as the launcher walks them: every layout read back as groups, whole groups
// stepped over undecoded, how the packer forms groups, and the checks on a group's index.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Crc32.h"
#include "PayloadGroup.h"
#include "PayloadHeader.h"
#include "PayloadWriter.h"
#include "TestFrames.h"
#include "WideString.h"

namespace {

struct WalkedGroup {
  std::vector<PayloadFile> files;
  bool skipped = false;  // stepped over without decoding
};

struct Walk {
  GroupStatus last = GroupStatus::group;
  bool damaged = false;  // a step-over refused the recorded length, which ends the walk
  std::vector<WalkedGroup> groups;
};

// Walks a resource group by group as the launcher does. With `skip`, every group's data is
// stepped over where the stream allows it, as for a group whose files are all intact.
Walk walkGroups(const std::string& resource, bool skip = false) {
  Walk walk;
  const auto* after_header = reinterpret_cast<const uint8_t*>(resource.data()) + kPayloadHeaderLength;
  const GroupLayout layout = groupLayoutOf(after_header, resource.size() - kPayloadHeaderLength);
  const uint64_t frames = firstFrameOffset(layout);
  PayloadStream stream;
  EXPECT_EQ(openPayloadStream(stream, after_header + frames, resource.size() - kPayloadHeaderLength - frames),
            PayloadStatus::ok);
  static PayloadGroup group;
  while ((walk.last = readPayloadGroup(stream, layout, group)) == GroupStatus::group) {
    WalkedGroup walked;
    if (skip && group.data_size > 0) {
      const GroupSkip step = skipGroupData(stream, layout, group);
      walk.damaged = step == GroupSkip::damaged;
      if (walk.damaged) break;
      walked.skipped = step == GroupSkip::skipped;
    }
    uint32_t offset = 0;
    GroupRecord record;
    uint64_t total = 0;
    while (nextGroupRecord(group, offset, record)) {
      PayloadFile file{std::u16string(record.name, record.name + wideLength(record.name)), ""};
      if (!walked.skipped) {
        file.data.resize(record.size);
        if (record.size > 0 && readPayload(stream, file.data.data(), record.size) != PayloadStatus::ok) {
          walk.last = GroupStatus::decodeError;
          closePayloadStream(stream);
          return walk;
        }
        EXPECT_EQ(record.stored_checksum, storedChecksum(crc32Update(0, file.data.data(), file.data.size())));
      }
      total += record.size;
      walked.files.push_back(file);
    }
    EXPECT_EQ(walked.files.size(), group.records);
    EXPECT_EQ(total, group.data_size);
    walk.groups.push_back(walked);
  }
  closePayloadStream(stream);
  return walk;
}

std::vector<PayloadFile> flatten(const Walk& walk) {
  std::vector<PayloadFile> files;
  for (const WalkedGroup& group : walk.groups) files.insert(files.end(), group.files.begin(), group.files.end());
  return files;
}

std::vector<PayloadFile> sampleFiles() {
  return {{u"Quorvell.exe", mixedContent(70000)},
          {u"empty.txt", ""},
          {u"lib\\big.dll", mixedContent(kGroupedFileLimit + 1)},
          {u"docs\\a.txt", "alpha"},
          {u"docs\\b.txt", mixedContent(30000)},
          {u"donn\u00e9es\\\u65e5\u672c.txt", "x"}};
}

TEST(PayloadGroups, EveryLayoutReadsBackAsGroupsInPayloadOrder) {
  const std::vector<PayloadFile> files = sampleFiles();
  const struct {
    PayloadLayout layout;
    GroupLayout read_as;
    size_t groups;
  } cases[] = {
      {PayloadLayout::singleFrame, GroupLayout::entryList, files.size()},
      {PayloadLayout::perFile, GroupLayout::entryList, files.size()},
      // The program and the empty file share a group; the large file stands alone; the rest share.
      {PayloadLayout::grouped, GroupLayout::recordedGroups, 3},
      {PayloadLayout::groupedWithoutLengths, GroupLayout::groups, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, c.layout);
    const auto* compressed = reinterpret_cast<const uint8_t*>(resource.data()) + kPayloadHeaderLength;
    EXPECT_EQ(groupLayoutOf(compressed, resource.size() - kPayloadHeaderLength), c.read_as);
    const Walk walk = walkGroups(resource);
    EXPECT_EQ(walk.last, GroupStatus::end);
    EXPECT_EQ(walk.groups.size(), c.groups);
    const std::vector<PayloadFile> read = flatten(walk);
    ASSERT_EQ(read.size(), files.size());
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(read[i].name, files[i].name);
      EXPECT_TRUE(read[i].data == files[i].data) << i;
    }
  }
}

// What a warm start relies on: a group's data is one frame that declares its size, so it is
// stepped over undecoded, and the stream goes on at the next group.
TEST(PayloadGroups, GroupedDataIsSteppedOverWholeAndTheNextGroupFollows) {
  const std::vector<PayloadFile> files = sampleFiles();
  for (const PayloadLayout layout : {PayloadLayout::grouped, PayloadLayout::groupedWithoutLengths}) {
    SCOPED_TRACE(static_cast<int>(layout));
    const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, layout);
    const Walk walk = walkGroups(resource, true);
    EXPECT_EQ(walk.last, GroupStatus::end);
    ASSERT_EQ(walk.groups.size(), 3u);
    for (const WalkedGroup& group : walk.groups) EXPECT_TRUE(group.skipped);
    EXPECT_EQ(flatten(walk).size(), files.size());
  }
  // The single frame cannot be stepped over: its data is decoded and discarded.
  const std::string single = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::singleFrame);
  const Walk decoded = walkGroups(single, true);
  EXPECT_EQ(decoded.last, GroupStatus::end);
  for (const WalkedGroup& group : decoded.groups) EXPECT_FALSE(group.skipped);
}

TEST(PayloadGroups, SmallFilesShareAGroupUntilItsDataOrIndexIsFull) {
  const struct {
    const char* what;
    size_t count;
    size_t name_length;
    uint64_t size;
    std::vector<size_t> group_sizes;
  } cases[] = {
      {"files at the size limit: eight fill the data target", 17, 8, kGroupedFileLimit, {8, 8, 1}},
      {"one byte more: each file alone", 3, 8, kGroupedFileLimit + 1, {1, 1, 1}},
      // A record of a 1000-unit name takes 2014 bytes, so 32 fit in 65536.
      {"long names fill the index", 40, 1000, 10, {32, 8}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<PayloadFile> files;
    for (size_t i = 0; i < c.count; ++i) {
      std::u16string name(c.name_length - 4, u'n');
      name += u'0' + static_cast<char16_t>(i / 10);
      name += u'0' + static_cast<char16_t>(i % 10);
      name += u".x";
      files.push_back({name, std::string(c.size, static_cast<char>('a' + i))});
    }
    const Walk walk = walkGroups(buildPayloadResource(files.data(), files.size(), 1, 0, PayloadLayout::grouped));
    EXPECT_EQ(walk.last, GroupStatus::end);
    std::vector<size_t> sizes;
    for (const WalkedGroup& group : walk.groups) sizes.push_back(group.files.size());
    EXPECT_EQ(sizes, c.group_sizes);
  }
}

void appendRecord(std::string& index, const std::u16string& name, uint64_t size, uint32_t checksum) {
  for (char16_t unit : name) index += std::string{static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  index += std::string(2, '\0');
  for (int i = 0; i < 8; ++i) index += static_cast<char>((size >> (8 * i)) & 0xFF);
  for (int i = 0; i < 4; ++i) index += static_cast<char>((checksum >> (8 * i)) & 0xFF);
}

TEST(PayloadGroups, AnIndexIsCheckedWholeBeforeAnyRecordIsUsed) {
  std::string two;
  appendRecord(two, u"a.txt", 5, 7);
  appendRecord(two, u"sub\\b.txt", 1 << 20, 9);
  std::string huge;
  appendRecord(huge, u"a", UINT64_MAX, 1);
  appendRecord(huge, u"b", 1, 1);
  std::string unsafe = two;
  appendRecord(unsafe, u"..\\evil.exe", 1, 1);
  std::string too_long;
  appendRecord(too_long, std::u16string(1024, u'n'), 1, 1);
  const struct {
    const char* what;
    std::string index;
    GroupStatus status;
    uint32_t records;
    uint64_t data_size;
  } cases[] = {
      {"two records", two, GroupStatus::group, 2, 5 + (1 << 20)},
      {"empty", "", GroupStatus::decodeError, 0, 0},
      {"cut inside a name", two.substr(0, two.size() - 20), GroupStatus::decodeError, 0, 0},
      {"cut inside the checksum", two.substr(0, two.size() - 1), GroupStatus::decodeError, 0, 0},
      {"a name without its terminator", std::string("a\0b\0", 4), GroupStatus::decodeError, 0, 0},
      {"sizes adding up past 64 bits", huge, GroupStatus::decodeError, 0, 0},
      {"a name that leaves the directory", unsafe, GroupStatus::unsafe, 0, 0},
      {"a name of 1024 units", too_long, GroupStatus::tooLong, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    uint32_t records = 0;
    uint64_t data_size = 0;
    EntryNameBuffer refused;
    const GroupStatus status = checkGroupIndex(reinterpret_cast<const uint8_t*>(c.index.data()),
                                               static_cast<uint32_t>(c.index.size()), records, data_size, refused);
    EXPECT_EQ(status, c.status);
    if (status == GroupStatus::group) {
      EXPECT_EQ(records, c.records);
      EXPECT_EQ(data_size, c.data_size);
    }
    if (status == GroupStatus::unsafe) EXPECT_TRUE(std::u16string(refused, refused + wideLength(refused)) == u"..\\evil.exe");
  }
}

TEST(PayloadGroups, AnIndexLongerThanItsCapacityOrCutShortIsADecodeError) {
  const auto groupedStream = [](const std::string& decoded) {
    const std::string marker("\x5E\x2A\x4D\x18\x04\x00\x00\x00QOVG", 12);
    return marker + compressFrame(decoded, FrameOptions{});
  };
  std::string index;
  appendRecord(index, u"a.txt", 3, storedChecksum(crc32Update(0, "abc", 3)));
  const auto length = [](uint32_t value) { return std::string(reinterpret_cast<const char*>(&value), 4); };
  const struct {
    const char* what;
    std::string decoded;
    GroupStatus status;
  } cases[] = {
      {"a well-formed group", length(static_cast<uint32_t>(index.size())) + index + "abc", GroupStatus::group},
      {"an index of 65537 bytes", length(kGroupIndexCapacity + 1) + std::string(kGroupIndexCapacity + 1, 'a'),
       GroupStatus::decodeError},
      {"an index cut short", length(static_cast<uint32_t>(index.size())) + index.substr(0, 5), GroupStatus::decodeError},
      {"the end", length(0), GroupStatus::end},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string compressed = groupedStream(c.decoded);
    const auto* bytes = reinterpret_cast<const uint8_t*>(compressed.data());
    ASSERT_EQ(groupLayoutOf(bytes, compressed.size()), GroupLayout::groups);
    PayloadStream stream;
    ASSERT_EQ(openPayloadStream(stream, bytes, compressed.size()), PayloadStatus::ok);
    static PayloadGroup group;
    EXPECT_EQ(readPayloadGroup(stream, GroupLayout::groups, group), c.status);
    closePayloadStream(stream);
  }
}

std::string littleEndian(uint64_t value, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string sizedFrame(const std::string& content) { return compressFrame(content, FrameOptions{23, true, false}); }

TEST(PayloadGroups, OnlyAnExactMarkerMeansAGroupedLayout) {
  const std::string marker("\x5E\x2A\x4D\x18\x04\x00\x00\x00QOVG", 12);
  std::string other_tag = marker;
  other_tag[11] = 'H';
  std::string other_length = marker;
  other_length[4] = 5;
  const std::string recorded("QOVG\x02\x00\x00\x00", 8);
  std::string later_version = recorded;
  later_version[4] = 3;
  const struct {
    const char* what;
    std::string bytes;
    GroupLayout layout;
  } cases[] = {
      {"version 1's marker", marker, GroupLayout::groups},
      {"version 1's marker cut short", marker.substr(0, 11), GroupLayout::entryList},
      {"another tag", other_tag, GroupLayout::entryList},
      {"another length", other_length, GroupLayout::entryList},
      {"a plain frame", compressFrame("abc", FrameOptions{}), GroupLayout::entryList},
      {"version 2's marker", recorded, GroupLayout::recordedGroups},
      {"version 2's marker cut short", recorded.substr(0, 7), GroupLayout::entryList},
      {"a later version", later_version, GroupLayout::entryList},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(groupLayoutOf(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.layout);
  }
}

// A launcher that does not know version 2 (every earlier one, and this one for a later version)
// reads the stream from its first byte as an entry list: the marker is no frame, so the very first
// read fails, before any name could be taken from the groups.
TEST(PayloadGroups, ALauncherThatDoesNotKnowTheVersionRefusesItAtOnce) {
  const std::vector<PayloadFile> files = sampleFiles();
  std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped);
  ASSERT_EQ(resource.substr(kPayloadHeaderLength, 8), std::string("QOVG\x02\x00\x00\x00", 8));
  resource[kPayloadHeaderLength + 4] = 3;
  EXPECT_EQ(walkGroups(resource).last, GroupStatus::decodeError);
  const auto* compressed = reinterpret_cast<const uint8_t*>(resource.data()) + kPayloadHeaderLength;
  PayloadStream stream;
  ASSERT_EQ(openPayloadStream(stream, compressed, resource.size() - kPayloadHeaderLength), PayloadStatus::ok);
  static PayloadGroup group;
  EXPECT_EQ(readPayloadGroup(stream, GroupLayout::groups, group), GroupStatus::decodeError);
  closePayloadStream(stream);
}

// Version 2 by hand: a first group whose recorded length is the row's, then a second group of one
// file and the end, each in frames that declare their size.
TEST(PayloadGroups, ARecordedLengthIsCheckedWhereItLandsBeforeAnyStepOver) {
  const std::string data = mixedContent(3000);
  std::string index;
  appendRecord(index, u"a.txt", data.size(), storedChecksum(crc32Update(0, data.data(), data.size())));
  std::string empty_index;
  appendRecord(empty_index, u"empty.txt", 0, 1);
  std::string second_index;
  appendRecord(second_index, u"b.txt", 5, storedChecksum(crc32Update(0, "bravo", 5)));
  const std::string data_frame = sizedFrame(data);
  const auto groupFrame = [](const std::string& records, uint64_t recorded) {
    return sizedFrame(littleEndian(records.size(), 4) + littleEndian(recorded, 8) + records);
  };
  const std::string second_data = sizedFrame("bravo");
  const std::string tail =
      groupFrame(second_index, second_data.size()) + second_data + sizedFrame(littleEndian(0, 4));
  const uint64_t frame = data_frame.size();
  const uint64_t to_end = frame + tail.size();
  enum Outcome { walksToTheEnd, damaged, indexRefused, endsShort };
  const struct {
    const char* what;
    std::string first_group;  // the first group's frames, its recorded length in them
    Outcome outcome;
  } cases[] = {
      {"the data frame's length", groupFrame(index, frame) + data_frame, walksToTheEnd},
      {"one byte short", groupFrame(index, frame - 1) + data_frame, damaged},
      {"one byte long", groupFrame(index, frame + 1) + data_frame, damaged},
      {"into the middle of the data frame", groupFrame(index, frame / 2) + data_frame, damaged},
      {"into the middle of the next index frame", groupFrame(index, frame + 6) + data_frame, damaged},
      {"one byte past the end", groupFrame(index, to_end + 1) + data_frame, damaged},
      {"the largest length", groupFrame(index, UINT64_MAX) + data_frame, damaged},
      // The end of the input may follow a skip; the next read then finds nothing.
      {"exactly to the end", groupFrame(index, to_end) + data_frame, endsShort},
      // The data in the index's frame: the window still holds it, so it is no frame of its own.
      {"the data inside the index frame",
       sizedFrame(littleEndian(index.size(), 4) + littleEndian(second_data.size(), 8) + index + data), damaged},
      {"no data and no length", groupFrame(empty_index, 0), walksToTheEnd},
      {"no data but a length", groupFrame(empty_index, second_data.size()), indexRefused},
      {"data but no length", groupFrame(index, 0) + data_frame, indexRefused},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string resource = "QOV" + std::string("QOVG\x02\x00\x00\x00", 8) + c.first_group + tail;
    const Walk walk = walkGroups(resource, true);
    switch (c.outcome) {
      case walksToTheEnd:
        EXPECT_FALSE(walk.damaged);
        EXPECT_EQ(walk.last, GroupStatus::end);
        ASSERT_EQ(walk.groups.size(), 2u);
        EXPECT_TRUE(walk.groups[1].skipped);
        break;
      case damaged:
        EXPECT_TRUE(walk.damaged);
        EXPECT_TRUE(walk.groups.empty());
        break;
      case indexRefused:
        EXPECT_FALSE(walk.damaged);
        EXPECT_EQ(walk.last, GroupStatus::decodeError);
        EXPECT_TRUE(walk.groups.empty());
        break;
      case endsShort:
        EXPECT_FALSE(walk.damaged);
        EXPECT_EQ(walk.last, GroupStatus::decodeError);
        EXPECT_EQ(walk.groups.size(), 1u);
        break;
    }
    // Read through instead of stepped over, every row but the refused indexes reads to the end: the
    // recorded length matters only to a step-over.
    if (c.outcome != indexRefused) EXPECT_EQ(walkGroups(resource).last, GroupStatus::end);
  }
}

// The frames of a packed payload after its marker, each as [offset, length) in the resource.
std::vector<std::pair<size_t, size_t>> framesOf(const std::string& resource, size_t marker_length) {
  std::vector<std::pair<size_t, size_t>> frames;
  for (size_t at = kPayloadHeaderLength + marker_length; resource.size() - at > 14;) {
    const size_t length = ZSTD_findFrameCompressedSize(resource.data() + at, resource.size() - at);
    if (ZSTD_isError(length)) break;
    frames.push_back({at, length});
    at += length;
  }
  return frames;
}

// What spares a warm start the pages of its payload: stepping over an intact group in version 2
// reads no byte of its data frame, so one whose bytes are garbage of the same length is passed
// all the same, where decoding it fails. Version 1 walks the frame's block headers, and so fails.
TEST(PayloadGroups, SteppingOverARecordedGroupReadsNoByteOfItsDataFrame) {
  const std::vector<PayloadFile> files = sampleFiles();
  const struct {
    PayloadLayout layout;
    size_t marker_length;  // frames counted from after it
    bool step_over_reaches_the_end;
  } cases[] = {
      {PayloadLayout::grouped, kRecordedGroupsMarkerLength, true},
      {PayloadLayout::groupedWithoutLengths, kGroupedLayoutMarkerLength, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, c.layout);
    const auto frames = framesOf(resource, c.marker_length);
    // Three groups of an index frame and a data frame each, then the end.
    ASSERT_EQ(frames.size(), 7u);
    const auto [at, length] = frames[3];  // the second group's data: the large file
    ASSERT_GT(length, 1000u);
    resource.replace(at, length, std::string(length, '\xAB'));
    const Walk stepped = walkGroups(resource, true);
    EXPECT_EQ(stepped.last == GroupStatus::end, c.step_over_reaches_the_end);
    if (c.step_over_reaches_the_end) EXPECT_EQ(flatten(stepped).size(), files.size());
    EXPECT_EQ(walkGroups(resource).last, GroupStatus::decodeError);
  }
}

}  // namespace
