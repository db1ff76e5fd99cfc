// Produces the payload resource the launcher reads:
//
//   "QOV" | one Zstandard frame holding the entry list | 6 zero bytes | u64 LE (resource length - 8)
//
// The frame declares no content size, no checksum and no dictionary, and a window of 2^27 bytes
// (frame header descriptor 0x00, window descriptor 0x88), whatever the input's size: the data is
// fed in pieces and the frame is ended on an empty piece, so the compressor never learns the
// total and never shrinks the window or marks the frame single-segment. The same entries, level
// and worker count always give the same bytes.
//
// The per-file layout holds the same entry list, cut into frames: each record's name, size and
// checksum form one frame, and each non-empty file's data a frame of its own; every frame declares
// its content size, and none a window larger than 8 MiB or than its content. A launcher that finds a file intact
// then steps over the data frame by its compressed size instead of decoding it. The end marker is
// a frame of its own.
//
// The grouped layout (static_src/core/PayloadGroup.h, version 2) keeps small files together: consecutive
// files of at most kGroupedFileLimit bytes share a group until its data would pass
// kGroupDataTarget or its index kGroupIndexCapacity, and every larger file is a group of its own.
// A group is two frames, its index and then its data, each declaring its content size and a window
// of at most 8 MiB: small files compress together almost as tightly as in one frame, and a start
// that finds every file of a group intact steps over the group's data undecoded, by the data
// frame's compressed length that the index frame records. groupedWithoutLengths writes version 1,
// whose index frames record no length, for the tests that prove it is still read.
#pragma once

#include <zstd.h>

#include <cstdint>
#include <string>

#include "PayloadGroup.h"

enum class PayloadLayout { singleFrame, perFile, grouped, groupedWithoutLengths };

// The largest window a per-file or grouped frame declares (8 MiB), which bounds the launcher's
// decoding memory.
constexpr int kPerFileWindowLog = 23;

// Measured on a tree of 3,000 small text files: groups of up to 4 MiB packed 1.2 % larger than
// one frame, groups of up to 8 MiB (the largest window the launcher decodes anyway) 0.55 %.
constexpr uint64_t kGroupedFileLimit = 1 << 20;
constexpr uint64_t kGroupDataTarget = 8 << 20;

// Whether a group with `index_bytes` of records and `data_bytes` of data is full for a file with a
// record of `header_bytes` and `size` bytes of data: it then ends, and the file starts the next.
inline bool groupIsFull(uint64_t index_bytes, uint64_t data_bytes, uint64_t header_bytes, uint64_t size) {
  return index_bytes + header_bytes > kGroupIndexCapacity || data_bytes + size > kGroupDataTarget;
}

// A record's name, size and checksum as the payload stores them.
std::string recordHeader(const std::u16string& name, uint64_t size, uint32_t checksum);
inline uint64_t recordHeaderLength(const std::u16string& name) { return 2 * (name.size() + 1) + 12; }

// After the last frame: six zero bytes and the resource's length less 8.
constexpr uint64_t kPayloadTrailerLength = 14;
std::string payloadTrailer(uint64_t length_before_trailer);

// The compressor's parameters for a layout. Every frame of a payload is made with them, so a frame
// that one of several threads compresses with a context of its own is byte for byte the frame a
// PayloadWriter makes.
void configureCompressor(ZSTD_CCtx* context, int level, int workers, PayloadLayout layout);

class PayloadWriter {
 public:
  // workers: 0 compresses on the calling thread; more use zstd's worker threads (the bytes do not
  // depend on how many).
  PayloadWriter(int level, int workers, PayloadLayout layout = PayloadLayout::singleFrame);
  ~PayloadWriter();
  PayloadWriter(const PayloadWriter&) = delete;
  PayloadWriter& operator=(const PayloadWriter&) = delete;

  // One record: the name as UTF-16 units (1 to 1023, none zero), then exactly `size` bytes of data
  // through addData. `checksum` is the stored value (CRC-32, 0 written as 1).
  void beginEntry(const std::u16string& name, uint64_t size, uint32_t checksum);
  void addData(const void* data, size_t length);

  // Appends the end marker, ends the frame and returns the whole resource. The writer is spent.
  std::string finish();

  // The bytes compressed so far (for progress reports).
  uint64_t inputBytes() const { return input_bytes_; }

 private:
  void compress(const void* data, size_t length, ZSTD_EndDirective directive);
  // One whole frame that declares its size.
  void compressFrame(const std::string& content);
  // The pending group of small files as its index frame and its data frame.
  void flushGroup();
  // Version 2: the index frame with the held data frame's length, then that frame.
  void writeRecordedGroup(const std::string& index);

  ZSTD_CCtx* context_;
  PayloadLayout layout_;
  uint64_t data_remaining_ = 0;
  bool data_in_own_frame_ = false;  // the current entry's data streams into a frame of its own
  std::string group_index_;         // grouped: the record headers of the pending group
  std::string group_data_;          // grouped: their data
  bool holding_data_frame_ = false; // compressed output goes to data_frame_ until its index is out
  std::string data_frame_;          // grouped, version 2: a data frame waiting for its index frame
  std::string big_file_index_;      // grouped, version 2: the record header of a file in a group alone
  std::string resource_;
  uint64_t input_bytes_ = 0;
};

// Convenience for tests and small tools: a whole payload resource from in-memory files, the first
// being the program to start.
struct PayloadFile {
  std::u16string name;
  std::string data;
};
std::string buildPayloadResource(const PayloadFile* files, size_t count, int level = 3, int workers = 0,
                                 PayloadLayout layout = PayloadLayout::singleFrame);
