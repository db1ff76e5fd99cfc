// The record a start leaves beside its extraction folder, in the folder's parent, named after it:
// "<folder>.onefile-build". It says which application the folder holds and which files a start put
// there, so that a later build of the same application can remove that folder once nothing uses it,
// taking away only what was unpacked and leaving whatever the application wrote itself. It is never
// inside the folder, so the application sees only its own files there.
//
//   offset  size              field
//   0       4 bytes           "QOVB" (ASCII, no terminator)
//   4       2 bytes           layout version, unsigned 16-bit little-endian: 2 (1 is still read)
//   6       2 * (k + 1) each  four texts, each k UTF-16LE units and a zero unit:
//                               product name   1 to 128 units
//                               company        0 to 128 units (0: none)
//                               version        1 to 128 units
//                               build id       0 to 16 units
//           then, per file    the payload's record header for it, as in a group index:
//                               name      2 * (k + 1) bytes  k units (1 to 1023), then a zero unit
//                               size      8 bytes            unsigned 64-bit little-endian
//                               checksum  4 bytes            the payload's stored checksum
//           2 bytes           a zero unit where a name would begin: the list has ended
//           2 bytes           layout 2 only: 1 when a state follows for every file, else 0
//           48 bytes per file layout 2 with states only, in list order: what the file system
//                             reported once the file was verified (RecordedFileState, each field
//                             little-endian): size 8, last-write time 8, change time 8 (0: none
//                             kept), volume serial 8, file id 16
//   end     4 bytes           CRC-32 of every byte before it, unsigned 32-bit little-endian
//
// A reader trusts nothing it has not checked: the trailer must match before any name is acted on,
// every name must be one the payload reader would accept (isSafeEntryName), and nothing may follow
// the trailer. A record that fails any of that is damaged, and its folder is left alone.
//
// The states let a start that finds every file of its build as the file system last reported it
// take the files as intact without reading them. Layout 1 records have none: they are read as a
// record without states.
#pragma once

#include "OnefilePlatform.h"
#include "PayloadEntry.h"

constexpr uint8_t kBuildRecordSignature[4] = {'Q', 'O', 'V', 'B'};
constexpr uint16_t kBuildRecordLayoutVersion = 2;
// The layout before records held the files' states; still read, as a record without them.
constexpr uint16_t kBuildRecordLayoutWithoutStates = 1;
constexpr size_t kRecordedStateLength = 48;
constexpr size_t kRecordIdentityLimit = 128;
constexpr size_t kRecordBuildIdLimit = 16;
// ".onefile-build": what follows the folder's name in the record's name.
extern const WideUnit kBuildRecordSuffix[];
// ".onefile-removing": the name a folder takes while its files are removed.
extern const WideUnit kRemovingFolderSuffix[];

struct BuildRecordIdentity {
  WideUnit product[kRecordIdentityLimit + 1];
  WideUnit company[kRecordIdentityLimit + 1];
  WideUnit version[kRecordIdentityLimit + 1];
  WideUnit build_id[kRecordBuildIdLimit + 1];
};

// The same product of the same company: a build among those a start may remove. Compared unit for
// unit, as the packer wrote them.
bool sameRecordProduct(const BuildRecordIdentity& a, const BuildRecordIdentity& b);
// The same build of that product: a record a start may trust as its own.
bool sameRecordIdentity(const BuildRecordIdentity& a, const BuildRecordIdentity& b);

// What the file system reported about a file when a start had verified it. Two states are equal
// only when every field is.
struct RecordedFileState {
  uint64_t size;
  uint64_t last_write_time;
  uint64_t change_time;  // 0 where the file system keeps none
  uint64_t volume_serial;
  uint8_t file_id[16];
};

bool sameFileState(const RecordedFileState& a, const RecordedFileState& b);
void encodeRecordedState(const RecordedFileState& state, uint8_t (&bytes)[kRecordedStateLength]);
void decodeRecordedState(const uint8_t (&bytes)[kRecordedStateLength], RecordedFileState& state);

// Where a record's bytes go: a fixed buffer that is handed to `flush` whenever it fills, and at
// the end. A failed flush makes every later step a no-op and the finish false.
struct BuildRecordWriter {
  uint8_t* buffer;
  size_t capacity;  // at least 4096: one file's header always fits an empty buffer
  size_t used;
  uint32_t crc;
  bool failed;
  bool (*flush)(void* context, const uint8_t* bytes, size_t length);
  void* context;
  bool list_ended;  // set by beginBuildRecord
};

void beginBuildRecord(BuildRecordWriter& writer, const BuildRecordIdentity& identity);
void addRecordedFile(BuildRecordWriter& writer, const WideUnit* name, uint64_t size, uint32_t stored_checksum);
// Ends the list, saying that a state for every file follows, and flushes, so that the list can be
// read back from where the bytes went while the states are added.
void endRecordedFilesWithStates(BuildRecordWriter& writer);
// One per file, in list order, after endRecordedFilesWithStates.
void addRecordedState(BuildRecordWriter& writer, const RecordedFileState& state);
// Ends the list (without states) unless it was ended, writes the trailer and flushes; false when any
// flush failed.
bool finishBuildRecord(BuildRecordWriter& writer);

// Where a record's bytes come from: `read` fills up to `capacity` bytes and returns how many
// (0 at the end; a failed read counts as the end).
struct BuildRecordSource {
  size_t (*read)(void* context, uint8_t* into, size_t capacity);
  void* context;
};

enum class RecordStatus : uint8_t {
  ok,       // the header, or a file, was read
  end,      // the list ended, the states (if any) were passed, and the trailer matched everything read
  damaged,  // anything else: cut short, a bad field, an unsafe name, a wrong trailer, bytes after it
};

// Reads a record through a small buffer of its own: the identity first, then one file at a time.
struct BuildRecordReader {
  BuildRecordSource source;
  uint8_t buffer[4096];
  size_t length;  // bytes in the buffer
  size_t at;      // the next unread byte
  uint32_t crc;   // of every byte consumed
  bool done;      // the source has ended
  uint16_t layout;
  uint64_t consumed;       // bytes taken from the source
  uint64_t files;          // files read so far
  bool has_states;         // known once the list has ended
  uint64_t states_offset;  // where the first state begins in the source, when there are states
};

RecordStatus openBuildRecord(BuildRecordReader& reader, BuildRecordSource source, BuildRecordIdentity& identity);
// The next file: ok with its name, size and checksum, end once the trailer matched, or damaged.
// The states are checked and passed over on the way to the trailer: a caller that wants them reads
// them again from `states_offset` (`files` of them) once the whole record was found sound.
RecordStatus nextRecordedFile(BuildRecordReader& reader, EntryNameBuffer& name, uint64_t& size,
                              uint32_t& stored_checksum);

// Whether `file_name` (one component) is a record's name, and then the folder it is for, with the
// suffix cut off (folder capacity: 256 units).
bool folderOfRecordName(const WideUnit* file_name, WideUnit* folder, size_t capacity);
