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
//                       (0x8000 | n) wraps its n bytes in a frame that declares no size.
//
// Each group is walked as the launcher walks it: its names are checked against every earlier one
// (a name Windows would take for an earlier file ends the walk), its records are tested against a
// pretend cache (a file is intact when its stored checksum is odd and it is not empty), a group
// whose files are all intact has its data frame stepped over, which must then declare exactly the
// group's data size (anything else traps), and any other group's data is read in 32 KiB pieces
// and checked. At most 256 KiB is decoded per input, through one stream and one group buffer that
// live across inputs.
#include <stdint.h>
#include <stddef.h>
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
  } else if (mode == 'F' || mode == 'G') {
    if (mode == 'G') {
      putLittleEndian(out, kGroupedLayoutMagic, 4);
      putLittleEndian(out, 4, 4);
      memcpy(out, kGroupedLayoutTag, sizeof kGroupedLayoutTag);
      out += sizeof kGroupedLayoutTag;
    }
    do {
      size_t segment = remaining;
      bool declare_size = true;
      if (remaining >= 2) {
        size_t declared = rest[0] | (rest[1] << 8);
        // In 'G' the top bit asks for a frame that declares no size, which must never be
        // stepped over: a group's data may stand in one through a fault or a hostile file.
        if (mode == 'G') {
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

// Reads and checks `size` bytes of a record's data in 32 KiB pieces, as the launcher writes a
// file; with `check`, against its stored checksum (a record found intact is read and dropped).
// False once the walk must stop, or would pass the input's decoding budget.
bool readData(PayloadStream& stream, uint64_t size, uint32_t stored_checksum, bool check, uint64_t& decoded) {
  uint32_t crc = 0;
  while (size > 0) {
    const uint32_t piece = size < sizeof TransferBuffer ? static_cast<uint32_t>(size) : sizeof TransferBuffer;
    if (kMaxDecodedBytes - decoded < piece) return false;
    if (readPayload(stream, TransferBuffer, piece) != PayloadStatus::ok) return false;
    crc = crc32Update(crc, TransferBuffer, piece);
    size -= piece;
    decoded += piece;
  }
  return !check || storedChecksum(crc) == stored_checksum;
}

// The pretend cache: a file is intact when its stored checksum is odd, except an empty one,
// which the launcher writes on every start and never finds intact.
bool isIntact(const GroupRecord& record) { return record.size != 0 && (record.stored_checksum & 1) != 0; }

// Steps over a group's data as the launcher does, and holds the stream to what that promises: the
// frame stepped over is a zstd frame that declares exactly `size` bytes of content. A frame that
// declares none, or another size, stepped over would leave the walk at the wrong record; that is
// a fault of the stream, so it stops the fuzzer.
bool stepOver(PayloadStream& stream, uint64_t size) {
  const uint8_t* next = static_cast<const uint8_t*>(stream.input.src) + stream.input.pos;
  const size_t remaining = stream.input.size - stream.input.pos;
  if (!skipSizedFrame(stream, size)) return false;
  const unsigned long long declared = ZSTD_getFrameContentSize(next, remaining);
  if (declared == ZSTD_CONTENTSIZE_UNKNOWN || declared == ZSTD_CONTENTSIZE_ERROR || declared != size) __builtin_trap();
  return true;
}

// What the launcher does with one group: every record is tested against the cache first; a group
// whose files are all intact has its data stepped over, by its frame where the stream allows it,
// or read and dropped; in any other group the intact files' data is read past and the others'
// read and checked. False once the walk must stop.
bool walkGroup(PayloadStream& stream, const PayloadGroup& group, uint64_t& decoded) {
  uint32_t offset = 0;
  GroupRecord record;
  bool all_intact = true;
  while (all_intact && nextGroupRecord(group, offset, record)) all_intact = isIntact(record);
  if (all_intact && stepOver(stream, group.data_size)) return true;
  offset = 0;
  while (nextGroupRecord(group, offset, record)) {
    const bool intact = all_intact || isIntact(record);
    if (!readData(stream, record.size, record.stored_checksum, !intact, decoded)) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One stream for all inputs, as the launcher has one for its start: its window and decoder are
  // allocated once.
  static PayloadStream stream;
  static const bool opened = openPayloadStream(stream, nullptr, 0) == PayloadStatus::ok;
  if (!opened) return 0;
  size_t length = 0;
  const uint8_t* resource = resourceOf(data, size, length);
  if (!hasPayloadHeader(resource, length)) return 0;
  const uint8_t* compressed = resource + kPayloadHeaderLength;
  const uint64_t compressed_length = length - kPayloadHeaderLength;
  const bool grouped = isGroupedPayload(compressed, compressed_length);
  restartPayloadStream(stream, compressed, compressed_length);
  // The index of up to 64 KiB, reused: no allocation per input.
  static PayloadGroup group;
  static SeenNames seen_names;
  forgetNames(seen_names);
  uint64_t decoded = 0;
  // A group's length and index are at most 4 + 64 KiB decoded.
  while (kMaxDecodedBytes - decoded >= 4 + kGroupIndexCapacity &&
         readPayloadGroup(stream, grouped, group) == GroupStatus::group) {
    decoded += group.length;
    if (rememberGroupNames(seen_names, group) != NameCheck::fresh) break;
    if (!walkGroup(stream, group, decoded)) break;
  }
  return 0;
}
