// The record beside a build's folder: what a start writes reads back whole, and any damage makes the
// whole record unusable, since its names decide what a later start deletes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "BuildRecord.h"
#include "Crc32.h"

namespace {

struct RecordedFile {
  std::u16string name;
  uint64_t size;
  uint32_t checksum;
};

void setText(WideUnit* text, const std::u16string& value) {
  std::copy(value.begin(), value.end(), text);
  text[value.size()] = 0;
}

BuildRecordIdentity identity(const std::u16string& product, const std::u16string& company,
                             const std::u16string& version, const std::u16string& build_id) {
  BuildRecordIdentity result{};
  setText(result.product, product);
  setText(result.company, company);
  setText(result.version, version);
  setText(result.build_id, build_id);
  return result;
}

bool appendTo(void* context, const uint8_t* bytes, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), bytes, bytes + length);
  return true;
}

RecordedFileState stateOf(uint64_t seed) {
  RecordedFileState state{seed, seed * 3 + 1, seed * 5 + 2, 0x1234567890abcdefull, {}};
  for (size_t i = 0; i < sizeof state.file_id; ++i) state.file_id[i] = static_cast<uint8_t>(seed + i);
  return state;
}

// A small buffer, so that the record crosses many flushes. With `states`, one per file.
std::vector<uint8_t> writeRecord(const BuildRecordIdentity& id, const std::vector<RecordedFile>& files,
                                 bool states = false) {
  std::vector<uint8_t> bytes;
  std::vector<uint8_t> buffer(4096);
  BuildRecordWriter writer{buffer.data(), buffer.size(), 0, 0, false, appendTo, &bytes, false};
  beginBuildRecord(writer, id);
  for (const auto& file : files) addRecordedFile(writer, file.name.c_str(), file.size, file.checksum);
  if (states) {
    endRecordedFilesWithStates(writer);
    for (size_t i = 0; i < files.size(); ++i) addRecordedState(writer, stateOf(i));
  }
  EXPECT_TRUE(finishBuildRecord(writer));
  return bytes;
}

struct MemorySource {
  const std::vector<uint8_t>* bytes;
  size_t at;
  size_t piece;  // the most one read gives
};

size_t readMemory(void* context, uint8_t* into, size_t capacity) {
  auto* source = static_cast<MemorySource*>(context);
  size_t count = std::min({capacity, source->piece, source->bytes->size() - source->at});
  std::copy_n(source->bytes->data() + source->at, count, into);
  source->at += count;
  return count;
}

struct ReadBack {
  RecordStatus status;
  BuildRecordIdentity identity;
  std::vector<RecordedFile> files;
  uint16_t layout;
  bool has_states;
  std::vector<RecordedFileState> states;  // read from where the reader says they begin
};

ReadBack readRecord(const std::vector<uint8_t>& bytes, size_t piece = 1 << 20) {
  ReadBack result{};
  MemorySource memory{&bytes, 0, piece};
  static BuildRecordReader reader;
  result.status = openBuildRecord(reader, {readMemory, &memory}, result.identity);
  if (result.status != RecordStatus::ok) return result;
  for (;;) {
    EntryNameBuffer name;
    uint64_t size = 0;
    uint32_t checksum = 0;
    result.status = nextRecordedFile(reader, name, size, checksum);
    if (result.status == RecordStatus::end) {
      result.layout = reader.layout;
      result.has_states = reader.has_states;
      EXPECT_EQ(reader.files, result.files.size());
      for (uint64_t i = 0; reader.has_states && i < reader.files; ++i) {
        uint8_t state_bytes[kRecordedStateLength];
        std::copy_n(bytes.data() + reader.states_offset + i * kRecordedStateLength, kRecordedStateLength, state_bytes);
        RecordedFileState state;
        decodeRecordedState(state_bytes, state);
        result.states.push_back(state);
      }
    }
    if (result.status != RecordStatus::ok) return result;
    result.files.push_back({std::u16string(name), size, checksum});
  }
}

const std::vector<RecordedFile> kFiles = {
    {u"app.exe", 4096, 0x1234abcd}, {u"lib\\core.dll", 0, 1}, {u"data\\\u00e9t\u00e9\\big.bin", 5ull << 32, 0xffffffff}};

TEST(BuildRecord, WhatIsWrittenReadsBackInAnyReadSize) {
  const auto bytes = writeRecord(identity(u"Tool", u"", u"1.0", u"0123456789abcdef"), kFiles);
  for (size_t piece : {size_t(1), size_t(3), size_t(4096), size_t(1) << 20}) {
    SCOPED_TRACE(piece);
    const ReadBack back = readRecord(bytes, piece);
    ASSERT_EQ(back.status, RecordStatus::end);
    EXPECT_EQ(std::u16string(back.identity.product), u"Tool");
    EXPECT_EQ(std::u16string(back.identity.company), u"");
    EXPECT_EQ(std::u16string(back.identity.build_id), u"0123456789abcdef");
    ASSERT_EQ(back.files.size(), kFiles.size());
    for (size_t i = 0; i < kFiles.size(); ++i) {
      EXPECT_EQ(back.files[i].name, kFiles[i].name);
      EXPECT_EQ(back.files[i].size, kFiles[i].size);
      EXPECT_EQ(back.files[i].checksum, kFiles[i].checksum);
    }
  }
}

TEST(BuildRecord, StatesReadBackFromWhereTheReaderSaysTheyBegin) {
  const auto bytes = writeRecord(identity(u"Tool", u"", u"1.0", u"0123456789abcdef"), kFiles, true);
  for (size_t piece : {size_t(1), size_t(7), size_t(1) << 20}) {
    SCOPED_TRACE(piece);
    const ReadBack back = readRecord(bytes, piece);
    ASSERT_EQ(back.status, RecordStatus::end);
    EXPECT_EQ(back.layout, kBuildRecordLayoutVersion);
    ASSERT_TRUE(back.has_states);
    ASSERT_EQ(back.files.size(), kFiles.size());
    ASSERT_EQ(back.states.size(), kFiles.size());
    for (size_t i = 0; i < kFiles.size(); ++i) EXPECT_TRUE(sameFileState(back.states[i], stateOf(i))) << i;
  }
  const ReadBack without = readRecord(writeRecord(identity(u"Tool", u"", u"1.0", u""), kFiles));
  ASSERT_EQ(without.status, RecordStatus::end);
  EXPECT_FALSE(without.has_states);
}

// A record as starts wrote it before records held states: layout 1, nothing between the end of the
// list and the trailer.
std::vector<uint8_t> asLayoutOne(std::vector<uint8_t> bytes) {
  bytes[4] = 1;
  bytes.erase(bytes.end() - 6, bytes.end() - 4);
  bytes.resize(bytes.size() - 4);
  const uint32_t crc = crc32Update(0, bytes.data(), bytes.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return bytes;
}

TEST(BuildRecord, LayoutOneReadsAsARecordWithoutStates) {
  const ReadBack back = readRecord(asLayoutOne(writeRecord(identity(u"Tool", u"", u"1.0", u"0123456789abcdef"), kFiles)));
  ASSERT_EQ(back.status, RecordStatus::end);
  EXPECT_EQ(back.layout, kBuildRecordLayoutWithoutStates);
  EXPECT_FALSE(back.has_states);
  EXPECT_EQ(std::u16string(back.identity.build_id), u"0123456789abcdef");
  ASSERT_EQ(back.files.size(), kFiles.size());
  EXPECT_EQ(back.files[2].name, kFiles[2].name);
}

TEST(BuildRecord, AStateMatchesOnlyWhenEveryFieldDoes) {
  const RecordedFileState recorded = stateOf(7);
  const struct {
    const char* what;
    void (*change)(RecordedFileState&);
  } cases[] = {
      {"size", [](RecordedFileState& s) { s.size += 1; }},
      {"last-write time", [](RecordedFileState& s) { s.last_write_time += 1; }},
      {"change time", [](RecordedFileState& s) { s.change_time += 1; }},
      {"volume", [](RecordedFileState& s) { s.volume_serial ^= 1ull << 40; }},
      {"file id, low byte", [](RecordedFileState& s) { s.file_id[0] ^= 1; }},
      {"file id, high byte", [](RecordedFileState& s) { s.file_id[15] ^= 0x80; }},
  };
  EXPECT_TRUE(sameFileState(recorded, stateOf(7)));
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    RecordedFileState found = recorded;
    c.change(found);
    EXPECT_FALSE(sameFileState(recorded, found));
  }
}

TEST(BuildRecord, ARecordIsOfThisProductOrThisBuildOnlyWhenEveryUnitMatches) {
  auto identityOf = [](const char16_t* product, const char16_t* company, const char16_t* version,
                     const char16_t* build_id) {
    BuildRecordIdentity made{};
    std::char_traits<char16_t>::copy(made.product, product, std::char_traits<char16_t>::length(product));
    std::char_traits<char16_t>::copy(made.company, company, std::char_traits<char16_t>::length(company));
    std::char_traits<char16_t>::copy(made.version, version, std::char_traits<char16_t>::length(version));
    std::char_traits<char16_t>::copy(made.build_id, build_id, std::char_traits<char16_t>::length(build_id));
    return made;
  };
  const BuildRecordIdentity own = identityOf(u"Quorvell", u"Works", u"2.4", u"0123456789abcdef");
  const struct {
    const char* what;
    BuildRecordIdentity other;
    bool product;
    bool build;
  } cases[] = {
      {"the same build", identityOf(u"Quorvell", u"Works", u"2.4", u"0123456789abcdef"), true, true},
      {"another build id", identityOf(u"Quorvell", u"Works", u"2.4", u"0123456789abcdee"), true, false},
      {"another version", identityOf(u"Quorvell", u"Works", u"2.5", u"0123456789abcdef"), true, false},
      {"another company", identityOf(u"Quorvell", u"Work", u"2.4", u"0123456789abcdef"), false, false},
      {"a product that only starts alike", identityOf(u"Quorvell2", u"Works", u"2.4", u"0123456789abcdef"), false, false},
      {"letter case counts", identityOf(u"quorvell", u"Works", u"2.4", u"0123456789abcdef"), false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(sameRecordProduct(own, c.other), c.product) << c.what;
    EXPECT_EQ(sameRecordIdentity(own, c.other), c.build) << c.what;
  }
}

TEST(BuildRecord, ManyFilesCrossTheWritersBuffer) {
  std::vector<RecordedFile> files;
  for (int i = 0; i < 2000; ++i) files.push_back({u"folder\\file-" + std::u16string(1, char16_t(u'a' + i % 26)) + u".txt", uint64_t(i), uint32_t(i + 1)});
  const ReadBack back = readRecord(writeRecord(identity(u"Tool", u"Works", u"2.0", u""), files));
  EXPECT_EQ(back.status, RecordStatus::end);
  EXPECT_EQ(back.files.size(), files.size());
}

// Rewrites the trailer after a change, so that the structure check, not the CRC, has to catch it.
std::vector<uint8_t> withTrailer(std::vector<uint8_t> bytes) {
  bytes.resize(bytes.size() - 4);
  const uint32_t crc = crc32Update(0, bytes.data(), bytes.size());
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  return bytes;
}

TEST(BuildRecord, DamageOfAnyKindIsRefused) {
  const auto good = writeRecord(identity(u"Tool", u"", u"1.0", u"0123456789abcdef"), kFiles);
  const auto unsafe_name = [](const std::u16string& name) {
    return writeRecord(identity(u"Tool", u"", u"1.0", u""), {{u"app.exe", 1, 1}, {name, 1, 1}});
  };
  std::vector<uint8_t> empty;
  auto cut = good;
  cut.resize(cut.size() - 1);
  auto flipped = good;
  flipped[20] ^= 1;
  auto trailing = good;
  trailing.push_back(0);
  auto other_layout = good;
  other_layout[4] = 3;
  const auto with_states = writeRecord(identity(u"Tool", u"", u"1.0", u""), kFiles, true);
  auto one_state_short = with_states;
  one_state_short.erase(one_state_short.end() - 4 - kRecordedStateLength, one_state_short.end() - 4);
  auto one_state_more = with_states;
  one_state_more.insert(one_state_more.end() - 4, kRecordedStateLength, 0);
  auto unknown_marker = writeRecord(identity(u"Tool", u"", u"1.0", u""), kFiles);
  unknown_marker[unknown_marker.size() - 6] = 2;
  const auto states_in_layout_one = [&] {
    auto bytes = with_states;
    bytes[4] = 1;
    return bytes;
  }();
  auto signature = good;
  signature[0] = 'X';
  std::vector<uint8_t> long_build = writeRecord(identity(u"Tool", u"", u"1.0", u"0123456789abcdef"), {});
  // Before the build id's terminator (header 6, "Tool" 10, "" 2, "1.0" 8, the id 32 bytes): one more unit.
  long_build.insert(long_build.begin() + 58, {'0', 0});
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"nothing", empty},
      {"cut short by one byte", cut},
      {"one bit changed", flipped},
      {"a byte after the trailer", trailing},
      {"another layout", withTrailer(other_layout)},
      {"one state fewer than files", withTrailer(one_state_short)},
      {"one state more than files", withTrailer(one_state_more)},
      {"states marked by neither 0 nor 1", withTrailer(unknown_marker)},
      {"layout 1 with states", withTrailer(states_in_layout_one)},
      {"another signature", withTrailer(signature)},
      {"a build id over 16 units", withTrailer(long_build)},
      {"no product", writeRecord(identity(u"", u"", u"1.0", u""), {})},
      {"no version", writeRecord(identity(u"Tool", u"", u"", u""), {})},
      {"a name leaving the folder", unsafe_name(u"..\\outside.txt")},
      {"a rooted name", unsafe_name(u"\\Windows\\win.ini")},
      {"a drive", unsafe_name(u"C:\\x")},
      {"an alternate stream", unsafe_name(u"app.exe:hidden")},
      {"a device", unsafe_name(u"lib\\nul.txt")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(readRecord(c.bytes).status, RecordStatus::damaged);
  }
}

TEST(BuildRecord, OnlyRecordNamesGiveAFolder) {
  const struct {
    const char16_t* file_name;
    bool is_record;
    const char16_t* folder;
  } cases[] = {
      {u"1.0-0123abcd.onefile-build", true, u"1.0-0123abcd"},
      {u"1.0.ONEFILE-BUILD", true, u"1.0"},  // Windows names ignore case
      {u".onefile-build", false, u""},
      {u"1.0.onefile-build.4711.tmp", false, u""},
      {u"1.0.onefile-removing", false, u""},
      {u"1.0", false, u""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file_name, c.file_name + std::char_traits<char16_t>::length(c.file_name)));
    WideUnit folder[256] = {0};
    ASSERT_EQ(folderOfRecordName(c.file_name, folder, 256), c.is_record);
    if (c.is_record) EXPECT_EQ(std::u16string(folder), c.folder);
  }
}

}  // namespace
