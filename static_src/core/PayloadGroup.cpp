#include "PayloadGroup.h"

namespace {

uint64_t littleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

void putLittleEndian(uint8_t* bytes, uint64_t value, size_t count) {
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

// One record header at `offset`, every offset checked against `length` before it is read.
GroupStatus parseRecordHeader(const uint8_t* index, uint32_t length, uint32_t& offset, GroupRecord& record) {
  for (size_t position = 0;; ++position) {
    if (position == kEntryNameCapacity) return GroupStatus::tooLong;
    if (length - offset < 2) return GroupStatus::decodeError;
    const WideUnit unit = static_cast<WideUnit>(index[offset] | (index[offset + 1] << 8));
    offset += 2;
    record.name[position] = unit;
    if (unit == 0) break;
  }
  if (!isSafeEntryName(record.name)) return GroupStatus::unsafe;
  if (length - offset < 12) return GroupStatus::decodeError;
  record.size = littleEndian(index + offset, 8);
  record.stored_checksum = static_cast<uint32_t>(littleEndian(index + offset + 8, 4));
  offset += 12;
  return GroupStatus::group;
}

// An entry of the older layouts as an index of one record.
GroupStatus readSingleRecordGroup(PayloadStream& stream, PayloadGroup& group) {
  EntryNameBuffer name;
  switch (readEntryName(stream, name)) {
    case EntryNameStatus::name: break;
    case EntryNameStatus::endMarker: return GroupStatus::end;
    case EntryNameStatus::decodeError: return GroupStatus::decodeError;
    case EntryNameStatus::tooLong: return GroupStatus::tooLong;
    case EntryNameStatus::unsafe:
      memcpy(group.refused_name, name, sizeof name);
      return GroupStatus::unsafe;
  }
  uint64_t size = 0;
  uint32_t checksum = 0;
  if (readEntrySizeAndChecksum(stream, size, checksum) != PayloadStatus::ok) return GroupStatus::decodeError;
  uint32_t length = 0;
  for (size_t position = 0;; ++position) {
    putLittleEndian(group.index + length, static_cast<uint16_t>(name[position]), 2);
    length += 2;
    if (name[position] == 0) break;
  }
  putLittleEndian(group.index + length, size, 8);
  putLittleEndian(group.index + length + 8, checksum, 4);
  group.length = length + 12;
  group.records = 1;
  group.data_size = size;
  return GroupStatus::group;
}

}  // namespace

GroupLayout groupLayoutOf(const uint8_t* compressed, uint64_t length) {
  if (length >= kRecordedGroupsMarkerLength && memcmp(compressed, kRecordedGroupsMarker, kRecordedGroupsMarkerLength) == 0)
    return GroupLayout::recordedGroups;
  if (length >= kGroupedLayoutMarkerLength && littleEndian(compressed, 4) == kGroupedLayoutMagic &&
      littleEndian(compressed + 4, 4) == sizeof kGroupedLayoutTag &&
      memcmp(compressed + 8, kGroupedLayoutTag, sizeof kGroupedLayoutTag) == 0)
    return GroupLayout::groups;
  return GroupLayout::entryList;
}

uint64_t firstFrameOffset(GroupLayout layout) {
  return layout == GroupLayout::recordedGroups ? kRecordedGroupsMarkerLength : 0;
}

GroupStatus checkGroupIndex(const uint8_t* index, uint32_t length, uint32_t& records, uint64_t& data_size,
                            EntryNameBuffer& refused_name) {
  records = 0;
  data_size = 0;
  GroupRecord record;
  for (uint32_t offset = 0; offset < length;) {
    const GroupStatus status = parseRecordHeader(index, length, offset, record);
    if (status == GroupStatus::unsafe) memcpy(refused_name, record.name, sizeof refused_name);
    if (status != GroupStatus::group) return status;
    // A sum past 64 bits could never be read from the stream anyway.
    if (record.size > UINT64_MAX - data_size) return GroupStatus::decodeError;
    data_size += record.size;
    records += 1;
  }
  return records == 0 ? GroupStatus::decodeError : GroupStatus::group;
}

GroupStatus readPayloadGroup(PayloadStream& stream, GroupLayout layout, PayloadGroup& group) {
  group.length = 0;
  group.records = 0;
  group.data_size = 0;
  group.data_frame_length = 0;
  if (layout == GroupLayout::entryList) return readSingleRecordGroup(stream, group);
  uint8_t length_bytes[8];
  if (readPayload(stream, length_bytes, 4) != PayloadStatus::ok) return GroupStatus::decodeError;
  const uint64_t length = littleEndian(length_bytes, 4);
  if (length == 0) return GroupStatus::end;
  if (length > kGroupIndexCapacity) return GroupStatus::decodeError;
  if (layout == GroupLayout::recordedGroups) {
    if (readPayload(stream, length_bytes, 8) != PayloadStatus::ok) return GroupStatus::decodeError;
    group.data_frame_length = littleEndian(length_bytes, 8);
  }
  if (readPayload(stream, group.index, length) != PayloadStatus::ok) return GroupStatus::decodeError;
  group.length = static_cast<uint32_t>(length);
  const GroupStatus status = checkGroupIndex(group.index, group.length, group.records, group.data_size, group.refused_name);
  if (status == GroupStatus::group && layout == GroupLayout::recordedGroups &&
      (group.data_size == 0) != (group.data_frame_length == 0))
    return GroupStatus::decodeError;
  return status;
}

GroupSkip skipGroupData(PayloadStream& stream, GroupLayout layout, const PayloadGroup& group) {
  if (layout == GroupLayout::recordedGroups) {
    return skipRecordedFrame(stream, group.data_frame_length) == PayloadStatus::ok ? GroupSkip::skipped : GroupSkip::damaged;
  }
  if (group.data_size == 0) return GroupSkip::skipped;
  return skipSizedFrame(stream, group.data_size) ? GroupSkip::skipped : GroupSkip::mustRead;
}

bool nextGroupRecord(const PayloadGroup& group, uint32_t& offset, GroupRecord& record) {
  if (offset >= group.length) return false;
  return parseRecordHeader(group.index, group.length, offset, record) == GroupStatus::group;
}
