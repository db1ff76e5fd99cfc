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
  std::vector<WalkedGroup> groups;
};

// Walks a resource group by group as the launcher does. With `skip`, every group's data is
// stepped over where the stream allows it, as for a group whose files are all intact.
Walk walkGroups(const std::string& resource, bool skip = false) {
  Walk walk;
  const auto* compressed = reinterpret_cast<const uint8_t*>(resource.data()) + kPayloadHeaderLength;
  const uint64_t length = resource.size() - kPayloadHeaderLength;
  const bool grouped = isGroupedPayload(compressed, length);
  PayloadStream stream;
  EXPECT_EQ(openPayloadStream(stream, compressed, length), PayloadStatus::ok);
  static PayloadGroup group;
  while ((walk.last = readPayloadGroup(stream, grouped, group)) == GroupStatus::group) {
    WalkedGroup walked;
    walked.skipped = skip && skipSizedFrame(stream, group.data_size);
    uint32_t offset = 0;
    GroupRecord record;
    uint64_t total = 0;
    while (nextGroupRecord(group, offset, record)) {
      PayloadFile file{std::u16string(record.name, record.name + wideLength(record.name)), ""};
      if (!walked.skipped) {
        file.data.resize(record.size);
        if (record.size > 0) EXPECT_EQ(readPayload(stream, file.data.data(), record.size), PayloadStatus::ok);
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
    bool grouped;
    size_t groups;
  } cases[] = {
      {PayloadLayout::singleFrame, false, files.size()},
      {PayloadLayout::perFile, false, files.size()},
      // The program and the empty file share a group; the large file stands alone; the rest share.
      {PayloadLayout::grouped, true, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.layout));
    const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, c.layout);
    const auto* compressed = reinterpret_cast<const uint8_t*>(resource.data()) + kPayloadHeaderLength;
    EXPECT_EQ(isGroupedPayload(compressed, resource.size() - kPayloadHeaderLength), c.grouped);
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
  const std::string resource = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped);
  const Walk walk = walkGroups(resource, true);
  EXPECT_EQ(walk.last, GroupStatus::end);
  ASSERT_EQ(walk.groups.size(), 3u);
  for (const WalkedGroup& group : walk.groups) EXPECT_TRUE(group.skipped);
  EXPECT_EQ(flatten(walk).size(), files.size());
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
    ASSERT_TRUE(isGroupedPayload(bytes, compressed.size()));
    PayloadStream stream;
    ASSERT_EQ(openPayloadStream(stream, bytes, compressed.size()), PayloadStatus::ok);
    static PayloadGroup group;
    EXPECT_EQ(readPayloadGroup(stream, true, group), c.status);
    closePayloadStream(stream);
  }
}

TEST(PayloadGroups, OnlyTheExactMarkerMeansTheGroupedLayout) {
  const std::string marker("\x5E\x2A\x4D\x18\x04\x00\x00\x00QOVG", 12);
  std::string other_tag = marker;
  other_tag[11] = 'H';
  std::string other_length = marker;
  other_length[4] = 5;
  const struct {
    const char* what;
    std::string bytes;
    bool grouped;
  } cases[] = {
      {"the marker", marker, true},
      {"the marker cut short", marker.substr(0, 11), false},
      {"another tag", other_tag, false},
      {"another length", other_length, false},
      {"a plain frame", compressFrame("abc", FrameOptions{}), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(isGroupedPayload(reinterpret_cast<const uint8_t*>(c.bytes.data()), c.bytes.size()), c.grouped);
  }
}

}  // namespace
