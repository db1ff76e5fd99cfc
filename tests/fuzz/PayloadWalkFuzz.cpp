// Fuzz target: a payload walked as the launcher walks it (header, groups of records, names,
// sizes, checksums, data in 32 KiB pieces, a group whose files are all intact stepped over by its
// frame) through the shared stream and group readers. Every fault must come back as a status; none
// may crash, hang or read out of bounds.
//
// An input is one of:
//   "QOV..."            a whole payload resource, as it stands in an executable;
//   'L' entry list      the decoded entry list, wrapped here in one frame of stored blocks;
//   'F' segments        the entry list cut into segments (u16 little-endian length, then that
//                       many bytes; the last one takes what is left), each wrapped in a frame
//                       that declares its size, as the per-file layout does;
//   'G' segments        the same, after the grouped layout's marker: the segments hold group
//                       lengths, indexes and data, as the packer puts each index and each
//                       group's data in frames of their own; a length with its top bit set
//                       (0x8000 | n) wraps its n bytes in a frame that declares no size;
//   'H' segments        the same after version 2's marker, where each index frame records its
//                       data frame's compressed length: with the frames written here, a segment
//                       of n bytes that declares its size takes 13 + 3 * (n / 131072 + 1) + n.
//
// Each input is decoded twice through one stream. First in full, as the reference: every group's
// data read, nothing stepped over, the CRC of every file's data taken with zlib's crc32. Then as
// the launcher walks it: each group's records tested against a pretend cache (a file is intact
// when its stored checksum is odd), a group whose files are all intact stepped over by its data
// frame where the stream allows it (in version 2 by the length its index records, which the full
// decode measures against the frame that stands there), any other group's data read in 32 KiB
// pieces and the files
// that are not intact checked against their stored checksums (the first that fails stops both
// passes, as it stops the launcher, and so does a group with a name Windows would take for an
// earlier file's). Every file the walk passes must be the full decode's file at
// the same place (name, size, stored checksum and, where the walk read the data, its CRC), and
// where the full decode reached the end marker or that first failing file, so must the walk, with
// as many files: a step-over that lands anywhere but at the next group traps. The frame a step-over
// passed is decoded on its own as well, where it decodes within the budget: it must hold exactly
// the group's data, file by file the full decode's bytes, whatever its header declares. At most
// 256 KiB is decoded per pass, through one stream and one group buffer that live across inputs.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Crc32.h"
#include "PayloadEntry.h"
#include "PayloadGroup.h"
#include "PayloadHeader.h"
#include "PayloadStream.h"
#include "SeenNames.h"
#include "WideString.h"

namespace {

// Bounds the work per input: a hostile size field can promise far more data than any input could
// decode in reasonable time, and highly compressible frames make a few bytes decode to megabytes.
constexpr uint64_t kMaxDecodedBytes = 256u << 10;
constexpr size_t kMaxInput = 1u << 20;
constexpr size_t kBlockLimit = 128u << 10;  // the largest block a frame may hold

uint8_t TransferBuffer[32768];
uint8_t FrameBuffer[4 * kMaxInput];

void putLittleEndian(uint8_t*& out, uint64_t value, size_t count) {
  for (size_t i = 0; i < count; ++i) *out++ = static_cast<uint8_t>(value >> (8 * i));
}

// One frame of stored blocks: with `declare_size`, single-segment with an 8-byte content size
// (what lets the launcher step over it); otherwise with a window of 128 KiB and no size. False,
// writing nothing, when FrameBuffer has no room for it.
bool putFrame(uint8_t*& out, const uint8_t* content, size_t length, bool declare_size) {
  const size_t most = 13 + 3 * (length / kBlockLimit + 1) + length;
  if (most > sizeof FrameBuffer - static_cast<size_t>(out - FrameBuffer)) return false;
  putLittleEndian(out, 0xFD2FB528u, 4);
  if (declare_size) {
    *out++ = 0xE0;  // 8-byte content size, single segment
    putLittleEndian(out, length, 8);
  } else {
    *out++ = 0x00;
    *out++ = 0x38;  // window 2^(10 + 7)
  }
  size_t done = 0;
  do {
    const size_t block = length - done < kBlockLimit ? length - done : kBlockLimit;
    const bool last = done + block == length;
    putLittleEndian(out, (last ? 1u : 0u) | (static_cast<uint32_t>(block) << 3), 3);
    memcpy(out, content + done, block);
    out += block;
    done += block;
  } while (done < length);
  return true;
}

// The resource the input stands for, in FrameBuffer unless it is one already; its length.
const uint8_t* resourceOf(const uint8_t* data, size_t size, size_t& length) {
  length = size;
  if (size == 0 || hasPayloadHeader(data, size) || size > kMaxInput) return data;
  uint8_t* out = FrameBuffer;
  memcpy(out, kPayloadHeader, kPayloadHeaderLength);
  out += kPayloadHeaderLength;
  const uint8_t mode = data[0];
  const uint8_t* rest = data + 1;
  size_t remaining = size - 1;
  if (mode == 'L') {
    putFrame(out, rest, remaining, false);
  } else if (mode == 'F' || mode == 'G' || mode == 'H') {
    if (mode == 'G') {
      putLittleEndian(out, kGroupedLayoutMagic, 4);
      putLittleEndian(out, 4, 4);
      memcpy(out, kGroupedLayoutTag, sizeof kGroupedLayoutTag);
      out += sizeof kGroupedLayoutTag;
    }
    if (mode == 'H') {
      memcpy(out, kRecordedGroupsMarker, kRecordedGroupsMarkerLength);
      out += kRecordedGroupsMarkerLength;
    }
    do {
      size_t segment = remaining;
      bool declare_size = true;
      if (remaining >= 2) {
        size_t declared = rest[0] | (rest[1] << 8);
        // In 'G' and 'H' the top bit asks for a frame that declares no size, which must never be
        // stepped over by its header: a group's data may stand in one through a fault or a
        // hostile file.
        if (mode != 'F') {
          declare_size = (declared & 0x8000) == 0;
          declared &= 0x7FFF;
        }
        rest += 2;
        remaining -= 2;
        segment = declared < remaining ? declared : remaining;
      }
      if (!putFrame(out, rest, segment, declare_size)) break;
      rest += segment;
      remaining -= segment;
    } while (remaining > 0);
  } else {
    return data;
  }
  length = static_cast<size_t>(out - FrameBuffer);
  return FrameBuffer;
}

// The pretend cache: a file is intact when its stored checksum is odd. An empty file on disk is
// intact for an entry of size 0, whose stored checksum is 1.
bool isIntact(const GroupRecord& record) { return (record.stored_checksum & 1) != 0; }

// The launcher tests every record of a group against the cache before it decodes any of its data.
bool isGroupIntact(const PayloadGroup& group) {
  uint32_t offset = 0;
  GroupRecord record;
  while (nextGroupRecord(group, offset, record)) {
    if (!isIntact(record)) return false;
  }
  return true;
}

// Where the launcher stops: at a file it wrote whose data does not have the stored checksum. The
// files of a group found intact, and intact files in any group, are never checked.
bool isRefused(bool group_intact, const GroupRecord& record, uint32_t crc) {
  return !group_intact && !isIntact(record) && storedChecksum(crc) != record.stored_checksum;
}

// A fault of the walk: it and the full decode disagree about the payload.
[[noreturn]] void fault(const char* what) {
  fprintf(stderr, "payload-walk: %s\n", what);
  abort();
}

// How a pass over the payload ended: at the end marker; where the launcher stops, at a file whose
// data does not have its stored checksum or a group with a name an earlier file has on Windows; or
// at a fault of the stream, an index or the budget.
enum class PassEnd : uint8_t { walking, endMarker, refused, stopped };

// What the full decode saw of one file: its record and the CRC of all of its data.
struct DecodedFile {
  uint32_t name_at;  // in DecodedNames
  uint32_t name_length;
  uint64_t size;
  uint32_t stored_checksum;
  uint32_t crc;
};

// Every record costs at least 16 decoded bytes of index (one name unit, its terminator, size and
// checksum), and its name no more than the index bytes it came from.
constexpr size_t kMostFiles = kMaxDecodedBytes / 16;
DecodedFile DecodedFiles[kMostFiles];
WideUnit DecodedNames[kMaxDecodedBytes / 2];
size_t decoded_files = 0;
size_t decoded_name_units = 0;

typedef uint32_t (*CrcFunction)(uint32_t, const void*, uint64_t);

// Reads `size` bytes of a record's data in 32 KiB pieces, as the launcher moves a file, and their
// CRC. False once the stream fails or the input's decoding budget would be passed.
bool readData(PayloadStream& stream, uint64_t size, CrcFunction crc_of, uint64_t& decoded, uint32_t& crc) {
  crc = 0;
  while (size > 0) {
    const uint32_t piece = size < sizeof TransferBuffer ? static_cast<uint32_t>(size) : sizeof TransferBuffer;
    if (kMaxDecodedBytes - decoded < piece) return false;
    if (readPayload(stream, TransferBuffer, piece) != PayloadStatus::ok) return false;
    crc = crc_of(crc, TransferBuffer, piece);
    size -= piece;
    decoded += piece;
  }
  return true;
}

// Whether another group may be read: its length and index are at most 4 + 64 KiB decoded.
bool groupFitsBudget(uint64_t decoded) { return kMaxDecodedBytes - decoded >= 4 + kGroupIndexCapacity; }

bool rememberDecodedFile(const GroupRecord& record, uint32_t crc) {
  const size_t name_length = wideLength(record.name);
  if (decoded_files == kMostFiles || name_length > kMaxDecodedBytes / 2 - decoded_name_units) return false;
  memcpy(DecodedNames + decoded_name_units, record.name, name_length * sizeof(WideUnit));
  DecodedFiles[decoded_files++] = {static_cast<uint32_t>(decoded_name_units), static_cast<uint32_t>(name_length),
                                   record.size, record.stored_checksum, crc};
  decoded_name_units += name_length;
  return true;
}

// The reference: every group's data decoded and nothing stepped over, each file's CRC taken with
// zlib's own crc32 rather than the fast one the walk uses, up to the end marker or the first file
// where the launcher stops, which bounds the work of an input with a wrong checksum as the walk's.
PassEnd decodeFully(PayloadStream& stream, GroupLayout layout, PayloadGroup& group, SeenNames& seen_names) {
  decoded_files = 0;
  decoded_name_units = 0;
  forgetNames(seen_names);
  uint64_t decoded = 0;
  while (groupFitsBudget(decoded)) {
    const GroupStatus status = readPayloadGroup(stream, layout, group);
    if (status == GroupStatus::end) return PassEnd::endMarker;
    if (status != GroupStatus::group) return PassEnd::stopped;
    decoded += group.length;
    if (rememberGroupNames(seen_names, group) != NameCheck::fresh) return PassEnd::refused;
    // A recorded length that is not the data frame's is a damaged payload, whether or not the
    // launcher would have stepped over it: it may land on another frame's start.
    if (layout == GroupLayout::recordedGroups && group.data_size > 0 &&
        nextFrameLength(stream, group.data_size) != group.data_frame_length) {
      return PassEnd::stopped;
    }
    const bool group_intact = isGroupIntact(group);
    uint32_t offset = 0;
    GroupRecord record;
    while (nextGroupRecord(group, offset, record)) {
      uint32_t crc = 0;
      if (!readData(stream, record.size, crc32Reference, decoded, crc) || !rememberDecodedFile(record, crc)) {
        return PassEnd::stopped;
      }
      if (isRefused(group_intact, record, crc)) return PassEnd::refused;
    }
  }
  return PassEnd::stopped;
}

// Holds the walk's `index`-th file to the full decode's file at the same place, as far as the full
// decode got: the same name, size and stored checksum, and, where the walk decoded the data too,
// the same bytes.
void compareWithDecoded(size_t index, const GroupRecord& record, bool data_read, uint32_t crc) {
  if (index >= decoded_files) return;
  const DecodedFile& file = DecodedFiles[index];
  if (wideLength(record.name) != file.name_length ||
      memcmp(record.name, DecodedNames + file.name_at, file.name_length * sizeof(WideUnit)) != 0) {
    fault("the walk met another name than the full decode");
  }
  if (record.size != file.size || record.stored_checksum != file.stored_checksum) {
    fault("the walk met another size or checksum than the full decode");
  }
  if (data_read && crc != file.crc) fault("the walk read other data than the full decode");
}

// Where the walk stands: what it decoded through the stream, what it decoded of the frames it
// stepped over to check them, each within the budget, and how many files it passed.
struct Walk {
  uint64_t decoded;
  uint64_t stepped_decoded;
  size_t files;
};

uint8_t SteppedData[kMaxDecodedBytes];

// A step-over is right only when what it passed is the group's data. Decoded on its own, the frame
// passed must hold exactly the group's data size, and file by file the full decode's bytes. A
// frame that does not decode on its own, or holds more than the budget left, proves nothing: the
// launcher never decodes it either.
void checkSteppedOver(const uint8_t* frame, size_t length, const PayloadGroup& group, Walk& walk) {
  static ZSTD_DCtx* const alone = ZSTD_createDCtx();
  const size_t room = static_cast<size_t>(kMaxDecodedBytes - walk.stepped_decoded);
  // A recorded length is checked only where it lands, so it may pass more or less than one frame
  // of any size. Where the full decode got past this group, it measured the frame there, and the
  // step-over must have passed exactly that frame.
  const bool measured = walk.files < decoded_files;
  const bool one_frame = ZSTD_findFrameCompressedSize(frame, length) == length;
  if (!one_frame && measured) fault("a step-over passed other bytes than the group's data frame");
  const size_t content = one_frame ? ZSTD_decompressDCtx(alone, SteppedData, room, frame, length) : 0;
  uint32_t offset = 0;
  GroupRecord record;
  if (!one_frame || ZSTD_isError(content) || (content != group.data_size && !measured)) {
    walk.stepped_decoded = kMaxDecodedBytes;
    while (nextGroupRecord(group, offset, record)) compareWithDecoded(walk.files++, record, false, 0);
    return;
  }
  walk.stepped_decoded += content;
  if (content != group.data_size) fault("a step-over passed a frame that does not hold the group's data");
  for (size_t at = 0; nextGroupRecord(group, offset, record); at += record.size) {
    compareWithDecoded(walk.files++, record, true, crc32Update(0, SteppedData + at, record.size));
  }
}

// What the launcher does with one group: every record is tested against the cache first; a group
// whose files are all intact has its data stepped over, by its frame where the stream allows it,
// or read and dropped; in any other group the intact files' data is read past and the others' read
// and checked against their stored checksums. Each file is compared with the full decode once its
// data has been passed.
PassEnd walkGroup(PayloadStream& stream, GroupLayout layout, const PayloadGroup& group, Walk& walk) {
  const bool all_intact = isGroupIntact(group);
  const size_t before = stream.input.pos;
  if (all_intact && group.data_size > 0) {
    const GroupSkip skip = skipGroupData(stream, layout, group);
    if (skip == GroupSkip::damaged) return PassEnd::stopped;
    if (skip == GroupSkip::skipped) {
      checkSteppedOver(static_cast<const uint8_t*>(stream.input.src) + before, stream.input.pos - before, group, walk);
      return PassEnd::walking;
    }
  }
  uint32_t offset = 0;
  GroupRecord record;
  while (nextGroupRecord(group, offset, record)) {
    uint32_t crc = 0;
    if (!readData(stream, record.size, crc32Update, walk.decoded, crc)) return PassEnd::stopped;
    compareWithDecoded(walk.files++, record, true, crc);
    if (isRefused(all_intact, record, crc)) return PassEnd::refused;
  }
  return PassEnd::walking;
}

// Before any file of a group is tested, its names are checked against every earlier one: a name
// Windows would take for an earlier file stops the launcher.
PassEnd walkAsLauncher(PayloadStream& stream, GroupLayout layout, PayloadGroup& group, SeenNames& seen_names, Walk& walk) {
  walk = {0, 0, 0};
  forgetNames(seen_names);
  while (groupFitsBudget(walk.decoded)) {
    const GroupStatus status = readPayloadGroup(stream, layout, group);
    if (status == GroupStatus::end) return PassEnd::endMarker;
    if (status != GroupStatus::group) return PassEnd::stopped;
    walk.decoded += group.length;
    if (rememberGroupNames(seen_names, group) != NameCheck::fresh) return PassEnd::refused;
    const PassEnd end = walkGroup(stream, layout, group, walk);
    if (end != PassEnd::walking) return end;
  }
  return PassEnd::stopped;
}

// The walk decodes no more than the full decode, byte for byte, so where the full decode reached
// the end marker, or the file where the launcher stops, the walk must have too, with as many files.
// Where the full decode stopped otherwise, a stepped-over frame may have held what stopped it, and
// only the files both saw are compared.
void requireSameEnd(PassEnd full, PassEnd walk, size_t walked) {
  if (full == PassEnd::stopped) return;
  if (walk != full) fault("the walk ended otherwise than the full decode");
  if (walked != decoded_files) fault("the walk saw another number of files");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A stream for each pass for all inputs, as the launcher has one for its start: each window and
  // decoder is allocated once, and each decoder sees the frames in the order the launcher's would,
  // keeping the buffers it grew for them.
  static PayloadStream reference;
  static PayloadStream stream;
  static const bool opened = openPayloadStream(reference, nullptr, 0) == PayloadStatus::ok &&
                             openPayloadStream(stream, nullptr, 0) == PayloadStatus::ok;
  if (!opened) return 0;
  size_t length = 0;
  const uint8_t* resource = resourceOf(data, size, length);
  if (!hasPayloadHeader(resource, length)) return 0;
  const GroupLayout layout = groupLayoutOf(resource + kPayloadHeaderLength, length - kPayloadHeaderLength);
  const uint8_t* compressed = resource + kPayloadHeaderLength + firstFrameOffset(layout);
  const uint64_t compressed_length = length - kPayloadHeaderLength - firstFrameOffset(layout);
  // The index of up to 64 KiB and the names met, reused: no allocation per input. Each pass has
  // its own names, as each start has.
  static PayloadGroup group;
  static SeenNames reference_names;
  static SeenNames seen_names;
  restartPayloadStream(reference, compressed, compressed_length);
  const PassEnd full = decodeFully(reference, layout, group, reference_names);
  restartPayloadStream(stream, compressed, compressed_length);
  Walk walk;
  const PassEnd walked = walkAsLauncher(stream, layout, group, seen_names, walk);
  requireSameEnd(full, walked, walk.files);
  return 0;
}
