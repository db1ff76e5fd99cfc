// Reads a packed executable's payload the way the launcher does, through the launcher's own
// stream and record code, and stricter where a tool can afford it: a fault is a PackError with a
// message instead of the launcher's one-line report.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "ByteView.h"
#include "PayloadGroup.h"
#include "PayloadStream.h"

// Resource 27 of the executable's resource directory, in place in the image; `shown` names the
// executable in messages. Throws PackError when the image is not a PE32+ executable, has no
// resource 27, or the resource does not begin with the header.
ByteView payloadResourceOf(ByteView image, const std::string& shown);

struct PayloadRecord {
  std::u16string name;
  uint64_t size = 0;
  uint32_t stored_checksum = 0;
};

class PayloadReader {
 public:
  // The resource must outlive the reader.
  explicit PayloadReader(ByteView resource);
  ~PayloadReader();
  PayloadReader(const PayloadReader&) = delete;
  PayloadReader& operator=(const PayloadReader&) = delete;

  // The next record's name, size and checksum; false at the end marker. The previous record's
  // data must have been read.
  bool next(PayloadRecord& record);
  // The current record's data, piece by piece; returns the checksum of the data under the
  // payload's rule (CRC-32, 0 as 1).
  uint32_t readData(const std::function<void(const uint8_t*, size_t)>& sink);
  // After the end marker: the compressed data must end there, with no more data in it.
  void requireFrameEnd();

  // The compressed data: the grouped layout's marker where it is no frame, then one frame or
  // several one after another; then the trailing bytes.
  uint64_t compressedLength() const { return marker_length_ + compressed_length_; }
  uint64_t frameCount() const { return frame_count_; }
  uint64_t trailingLength() const { return trailing_length_; }

 private:
  // Refuses the group when one of its names is, on Windows, the same file as an earlier name.
  void rememberGroupNames();
  // Grouped, version 2: the group's data frame must be exactly as long as its index records.
  void requireRecordedLength();

  PayloadStream stream_;
  GroupLayout layout_ = GroupLayout::entryList;
  uint64_t marker_length_ = 0;  // not a frame: the decoder starts after it
  uint64_t group_number_ = 0;   // of the group read last, from 1
  // The group being read and the offset of its next record in the index; a group is large, so it
  // lives on the heap.
  std::unique_ptr<PayloadGroup> group_;
  uint32_t group_offset_ = 0;
  // Every name so far, folded as Windows compares names (NameCase.h) -> the name as it stands.
  // Exact, unlike the launcher's table of hashes, so that a refusal can name both files.
  std::unordered_map<std::u16string, std::u16string> names_seen_;
  uint64_t remaining_ = 0;  // data bytes of the current record not read yet
  uint64_t compressed_length_ = 0;
  uint64_t frame_count_ = 0;
  uint64_t trailing_length_ = 0;
};
