// Groups of records: what the launcher decides about at once. A group's records are all tested
// against the cache before any of its data is decoded, and a group whose files are all intact has
// its data stepped over whole.
//
// The grouped layout. The compressed stream begins with a marker that zstd itself skips:
//
//   offset 0   4 bytes   0x184D2A5E little-endian (a skippable-frame magic number)
//   offset 4   4 bytes   4, the length of what follows
//   offset 8   4 bytes   "QOVG"
//
// Then the decoded bytes are groups, each of them:
//
//   index length  4 bytes        unsigned 32-bit little-endian L, at most 65536; 0 ends the list
//   index         L bytes        record headers, one after another, with no gap:
//                                  name      2 * (k + 1) bytes  k UTF-16LE units (1 to 1023), none
//                                                               zero, then a zero unit
//                                  size      8 bytes            unsigned 64-bit little-endian
//                                  checksum  4 bytes            unsigned 32-bit little-endian
//   data          sum of sizes   every record's data, in the order of the index
//
// The packer puts each group's length and index in a frame of their own and its data, when there
// is any, in the next frame, which declares its content size: that frame can be stepped over
// without decoding it. The reader relies on none of that; it only asks the stream to skip a frame.
// The first record of the first group is the program to start.
//
// The older layouts, one entry list in one frame or in a frame per record and per file's data
// (PayloadEntry.h), are read as groups of one record each.
#pragma once

#include "OnefilePlatform.h"
#include "PayloadEntry.h"
#include "PayloadStream.h"

constexpr uint32_t kGroupedLayoutMagic = 0x184D2A5E;
constexpr size_t kGroupedLayoutMarkerLength = 12;
constexpr uint8_t kGroupedLayoutTag[4] = {'Q', 'O', 'V', 'G'};
constexpr uint32_t kGroupIndexCapacity = 65536;
// The smallest record header: one name unit, its terminator, size and checksum.
constexpr uint32_t kGroupRecordsCapacity = kGroupIndexCapacity / 16;

// True when the compressed stream begins with the grouped layout's marker.
bool isGroupedPayload(const uint8_t* compressed, uint64_t length);

struct PayloadGroup {
  uint8_t index[kGroupIndexCapacity];  // record headers, as in the grouped layout
  uint32_t length;                     // bytes of the index in use
  uint32_t records;
  uint64_t data_size;                  // the sum of the records' sizes
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
// size and checksum) and checks every record in it. The group's data follows in the stream.
GroupStatus readPayloadGroup(PayloadStream& stream, bool grouped, PayloadGroup& group);

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
