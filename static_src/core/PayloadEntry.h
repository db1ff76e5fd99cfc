// One file record of the decoded entry list, read field by field through the PayloadStream.
//
//   name      2 * (k + 1) bytes  k UTF-16LE units (1 <= k <= 1023), none zero, then a zero unit
//   size      8 bytes            unsigned 64-bit little-endian: the number of data bytes
//   checksum  4 bytes            unsigned 32-bit little-endian: CRC-32 of the data, 0 stored as 1
//   data      size bytes         the file's content, unchanged
//
// Records follow each other with no gap; a lone zero unit where a name would begin (an empty
// name) ends the list. The first record is the program to start. A name is the file's path
// relative to the extraction directory, with "\" between components.
#pragma once

#include "OnefilePlatform.h"
#include "PayloadStream.h"

constexpr size_t kEntryNameCapacity = 1024;  // units, the terminating zero included
typedef WideUnit EntryNameBuffer[kEntryNameCapacity];

enum class EntryNameStatus : uint8_t {
  name,        // a usable name is in the buffer
  endMarker,   // the list has ended; the buffer holds the empty text
  decodeError, // the stream failed
  tooLong,     // 1024 units or more without a terminator; reading stopped at the buffer's end
  unsafe,      // a name that could leave the extraction directory or alias another file
};

// Reads one name, two bytes per unit, never writing past the buffer, and checks it.
EntryNameStatus readEntryName(PayloadStream& stream, EntryNameBuffer& name);

// Reads the 8-byte size and the 4-byte checksum that follow a name.
PayloadStatus readEntrySizeAndChecksum(PayloadStream& stream, uint64_t& size, uint32_t& checksum);

// False for a name the launcher must never join to its directory: split at "\" and "/", every
// component must be one Windows keeps as it is (FileNameRules.h). That refuses a rooted name, a
// drive or any ":" (also alternate data streams), empty, "." and ".." components, and the forms
// Windows folds into another name or a device ("a.", "b ", "CON", "nul.txt").
bool isSafeEntryName(const WideUnit* name);
