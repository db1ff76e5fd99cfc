// Fuzz target: a payload walked as the launcher walks it (header, names, sizes, checksums, data
// in 32 KiB pieces, intact data stepped over by its frame) through the shared stream and record
// readers. Every fault must come back as a status; none may crash, hang or read out of bounds.
//
// An input is one of:
//   "QOV..."            a whole payload resource, as it stands in an executable;
//   'L' entry list      the decoded entry list, wrapped here in one frame of stored blocks;
//   'F' segments        the entry list cut into segments (u16 little-endian length, then that
//                       many bytes; the last one takes what is left), each wrapped in a frame
//                       that declares its size, as the per-file layout does.
// The last two let the fuzzer change names, sizes and checksums directly instead of through
// compressed bytes it could hardly ever make decode.
#include <stdint.h>
#include <stddef.h>
#include <string.h>

#include "Crc32.h"
#include "PayloadEntry.h"
#include "PayloadHeader.h"
#include "PayloadStream.h"
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
  } else if (mode == 'F') {
    do {
      size_t segment = remaining;
      if (remaining >= 2) {
        const size_t declared = rest[0] | (rest[1] << 8);
        rest += 2;
        remaining -= 2;
        segment = declared < remaining ? declared : remaining;
      }
      if (!putFrame(out, rest, segment, true)) break;
      rest += segment;
      remaining -= segment;
    } while (remaining > 0);
  } else {
    return data;
  }
  length = static_cast<size_t>(out - FrameBuffer);
  return FrameBuffer;
}

// What the launcher does with one entry's data: a file found intact (here: one whose stored
// checksum is odd) is stepped over, by its frame where the stream allows it; any other is read in
// 32 KiB pieces and checked against its checksum. False once the walk must stop.
bool walkData(PayloadStream& stream, uint64_t size, uint32_t stored_checksum, uint64_t& decoded) {
  if ((stored_checksum & 1) != 0 && skipSizedFrame(stream, size)) return true;
  uint32_t crc = 0;
  while (size > 0) {
    if (decoded >= kMaxDecodedBytes) return false;
    const uint32_t piece = size < sizeof TransferBuffer ? static_cast<uint32_t>(size) : sizeof TransferBuffer;
    if (readPayload(stream, TransferBuffer, piece) != PayloadStatus::ok) return false;
    crc = crc32Update(crc, TransferBuffer, piece);
    size -= piece;
    decoded += piece;
  }
  return storedChecksum(crc) == stored_checksum;
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
  restartPayloadStream(stream, resource + kPayloadHeaderLength, length - kPayloadHeaderLength);
  uint64_t decoded = 0;
  while (decoded < kMaxDecodedBytes) {
    EntryNameBuffer name;
    if (readEntryName(stream, name) != EntryNameStatus::name) break;
    decoded += 2 * wideLength(name) + 14;
    uint64_t entry_size = 0;
    uint32_t checksum = 0;
    if (readEntrySizeAndChecksum(stream, entry_size, checksum) != PayloadStatus::ok) break;
    if (!walkData(stream, entry_size, checksum, decoded)) break;
  }
  return 0;
}
