// Groups of records: what the launcher decides about at once. A group's records are all tested
// against the cache before any of its data is decoded, and a group whose files are all intact has
// its data stepped over whole.
//
// The grouped layout, version 2, which the packer writes. The compressed stream begins with a
// marker that is no frame at all:
//
//   offset 0   4 bytes   "QOVG"
//   offset 4   4 bytes   2, unsigned 32-bit little-endian: the version
//
// Read as a frame magic number, "QOVG" is one zstd refuses at once, so a launcher that does not
// know this version (every launcher before it, and this one for any later version) ends with the
// decode error before it extracts anything, instead of taking the groups for an entry list. Frames
// follow the marker directly, and their decoded bytes are groups, each of them two frames:
//
//   index frame   index length  4 bytes       unsigned 32-bit little-endian L, at most 65536; 0
//                                             ends the list, and nothing else is in that frame
//                 data length   8 bytes       unsigned 64-bit little-endian D: the compressed
//                                             length of the data frame, 0 when the group has no
//                                             data (its files are all empty) and so no data frame
//                 index         L bytes       record headers, one after another, with no gap:
//                                 name      2 * (k + 1) bytes  k UTF-16LE units (1 to 1023), none
//                                                              zero, then a zero unit
//                                 size      8 bytes            unsigned 64-bit little-endian
//                                 checksum  4 bytes            unsigned 32-bit little-endian
//   data frame    D bytes       every record's data, in the order of the index (the sum of sizes)
//
// Each frame holds exactly what is drawn, and declares its content size. A start that finds every
// file of a group intact steps over its data by moving its input position D bytes on, touching no
// byte of the data frame; D is checked first (PayloadStream.h: skipRecordedFrame).
//
// Version 1, which earlier packers wrote, is still read. Its marker is a skippable frame, which
// zstd steps over itself:
//
//   offset 0   4 bytes   0x184D2A5E little-endian (a skippable-frame magic number)
//   offset 4   4 bytes   4, the length of what follows
//   offset 8   4 bytes   "QOVG"
//
// and its index frames hold no data length: the index length, then the index. Its data frame is
// stepped over by walking the frame's block headers (skipSizedFrame), which touches every page of it.
//
// The older layouts, one entry list in one frame or in a frame per record and per file's data
// (PayloadEntry.h), are read as groups of one record each. In every layout the first record of the
// first group is the program to start.
#pragma once

#include "OnefilePlatform.h"
#include "PayloadEntry.h"
#include "PayloadStream.h"

constexpr uint32_t kGroupedLayoutMagic = 0x184D2A5E;
constexpr size_t kGroupedLayoutMarkerLength = 12;
constexpr uint8_t kGroupedLayoutTag[4] = {'Q', 'O', 'V', 'G'};
constexpr size_t kRecordedGroupsMarkerLength = 8;
constexpr uint8_t kRecordedGroupsMarker[kRecordedGroupsMarkerLength] = {'Q', 'O', 'V', 'G', 2, 0, 0, 0};
constexpr uint32_t kGroupIndexCapacity = 65536;
// The smallest record header: one name unit, its terminator, size and checksum.
constexpr uint32_t kGroupRecordsCapacity = kGroupIndexCapacity / 16;

enum class GroupLayout : uint8_t {
  entryList,       // one frame, or a frame per record and per file's data: groups of one record
  groups,          // grouped, version 1: data frames are found by walking them
  recordedGroups,  // grouped, version 2: each index records its data frame's compressed length
};

// Which layout the compressed stream is in, by its marker.
GroupLayout groupLayoutOf(const uint8_t* compressed, uint64_t length);

// Where the decoder begins: after version 2's marker, which is no frame; at the start otherwise
// (the decoder skips version 1's marker itself).
uint64_t firstFrameOffset(GroupLayout layout);

struct PayloadGroup {
  uint8_t index[kGroupIndexCapacity];  // record headers, as in the grouped layout
  uint32_t length;                     // bytes of the index in use
  uint32_t records;
  uint64_t data_size;                  // the sum of the records' sizes
  uint64_t data_frame_length;          // version 2: the recorded length of the data frame
  EntryNameBuffer refused_name;        // after GroupStatus::unsafe: the name refused
};

enum class GroupStatus : uint8_t {
  group,        // a group of at least one record, every name checked
  end,          // the list has ended
  decodeError,  // the stream failed, or an index is longer than its capacity or cut inside a record
  tooLong,      // a name of 1024 units or more
  unsafe,       // a name that could leave the extraction directory or alias another file
};

// Reads the next group's index from the stream (for the older layouts, the next record's name,
// size and checksum) and checks every record in it. The group's data follows in the stream. In
// version 2, a group with data that records no data frame, or one without data that records one,
// is a decodeError.
GroupStatus readPayloadGroup(PayloadStream& stream, GroupLayout layout, PayloadGroup& group);

enum class GroupSkip : uint8_t {
  skipped,    // the stream stands at the next group
  mustRead,   // the data cannot be stepped over: read it and drop it
  damaged,    // version 2: the recorded length fails its check (skipRecordedFrame)
};

// Steps over the data of a group just read, as for a group whose files are all intact: by the
// recorded length in version 2, by a frame that declares the group's data size in the others.
GroupSkip skipGroupData(PayloadStream& stream, GroupLayout layout, const PayloadGroup& group);

// Checks a grouped index held in memory and counts its records and data; a pure function over the
// bytes, which readPayloadGroup applies to every index it reads. After GroupStatus::unsafe,
// `refused_name` holds the name refused.
GroupStatus checkGroupIndex(const uint8_t* index, uint32_t length, uint32_t& records, uint64_t& data_size,
                            EntryNameBuffer& refused_name);

struct GroupRecord {
  EntryNameBuffer name;
  uint64_t size;
  uint32_t stored_checksum;
};

// The record at `offset` of a checked index, and the offset of the next; false past the last.
bool nextGroupRecord(const PayloadGroup& group, uint32_t& offset, GroupRecord& record);
