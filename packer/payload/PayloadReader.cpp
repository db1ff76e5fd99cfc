#include "PayloadReader.h"

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <zstd.h>

#include <algorithm>

#include "AppFolder.h"
#include "Crc32.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PayloadEntry.h"
#include "PayloadHeader.h"
#include "PeImage.h"
#include "ResourceTree.h"
#include "SeenNames.h"
#include "TextEncoding.h"

namespace {

[[noreturn]] void failDecode() {
  throw PackError("the payload cannot be decoded: its compressed data is damaged or cut short");
}

void check(PayloadStatus status) {
  if (status == PayloadStatus::outOfMemory) throw PackError("out of memory while decoding the payload");
  if (status != PayloadStatus::ok) failDecode();
}

// A decoder kept for the next reader on this thread: its window and the buffers the decoder grew
// for a frame (as large as the frame's window, up to 128 MiB) are allocated once instead of for
// every payload read, which is what lets the fuzz target read thousands of executables a second.
struct SpareStream {
  PayloadStream stream{};
  bool held = false;
  SpareStream() = default;
  SpareStream(const SpareStream&) = delete;
  SpareStream& operator=(const SpareStream&) = delete;
  ~SpareStream() {
    if (held) closePayloadStream(stream);
  }
};
thread_local SpareStream spare_stream;

// Names the first component that Windows would not keep as it is, with the reason.
[[noreturn]] void failUnsafeName(const std::u16string& name) {
  std::u16string component;
  std::string problem;
  for (size_t at = 0; at <= name.size() && problem.empty(); ++at) {
    if (at < name.size() && name[at] != u'\\' && name[at] != u'/') {
      component += name[at];
      continue;
    }
    problem = windowsNameProblem(component);
    if (problem.empty()) component.clear();
  }
  throw PackError("the payload holds the name '" + printableUtf8(name) + "', whose component '" + printableUtf8(component) +
                  "' " + problem + "; it could leave the extraction directory or reach another file or a device");
}

std::u16string nameOf(const WideUnit* name) { return std::u16string(name, name + std::char_traits<WideUnit>::length(name)); }

std::u16string withBackslashes(std::u16string name) {
  std::replace(name.begin(), name.end(), u'/', u'\\');
  return name;
}

}  // namespace

ByteView payloadResourceOf(ByteView image, const std::string& shown) {
  PeLayout layout;
  try {
    layout = readPeLayout(image);
  } catch (const PackError& error) {
    throw PackError(shown + " is not a PE32+ executable for x86-64: " + error.what());
  }
  ResourceNode tree;
  try {
    tree = readResourceTree(image, layout, false);
  } catch (const PackError& error) {
    throw PackError(shown + ": " + error.what());
  }
  const ResourceNode* payload = findResource(tree, kRtRcdata, kPayloadResourceId);
  if (payload == nullptr) throw PackError(shown + " carries no payload (no resource 27)");
  const ByteView resource(image.data() + payload->image_offset, payload->image_length);
  if (!hasPayloadHeader(resource.data(), resource.size())) {
    throw PackError(shown + ": resource 27 does not begin with the payload header");
  }
  return resource;
}

PayloadReader::PayloadReader(ByteView resource) : stream_{} {
  if (!hasPayloadHeader(resource.data(), resource.size())) throw PackError("the payload header is missing");
  layout_ = groupLayoutOf(resource.data() + kPayloadHeaderLength, resource.size() - kPayloadHeaderLength);
  marker_length_ = firstFrameOffset(layout_);
  const uint8_t* compressed = resource.data() + kPayloadHeaderLength + marker_length_;
  const uint64_t length = resource.size() - kPayloadHeaderLength - marker_length_;
  // Frames follow one another up to the trailing bytes, which begin with zeros, never with the
  // frame magic number.
  static const uint8_t kFrameMagic[4] = {0x28, 0xB5, 0x2F, 0xFD};
  do {
    const uint8_t* start = compressed + compressed_length_;
    const size_t available = static_cast<size_t>(length - compressed_length_);
    ZSTD_frameHeader header;
    if (ZSTD_getFrameHeader(&header, start, available) == 0 && header.windowSize > kPayloadWindowLimit) {
      throw PackError("frame " + std::to_string(frame_count_ + 1) + " of the payload needs a window of " +
                      std::to_string(header.windowSize >> 20) + " MiB; the launcher decodes at most " +
                      std::to_string(kPayloadWindowLimit >> 20) + " MiB");
    }
    const size_t frame = ZSTD_findFrameCompressedSize(start, available);
    if (ZSTD_isError(frame)) failDecode();
    compressed_length_ += frame;
    frame_count_ += 1;
  } while (length - compressed_length_ >= 4 && std::equal(kFrameMagic, kFrameMagic + 4, compressed + compressed_length_));
  trailing_length_ = length - compressed_length_;
  group_ = std::make_unique<PayloadGroup>();
  group_->length = 0;
  if (spare_stream.held) {
    stream_ = spare_stream.stream;
    spare_stream.held = false;
    restartPayloadStream(stream_, compressed, length);
    return;
  }
  const PayloadStatus opened = openPayloadStream(stream_, compressed, length);
  if (opened != PayloadStatus::ok) closePayloadStream(stream_);
  check(opened);
}

PayloadReader::~PayloadReader() {
  if (!spare_stream.held) {
    spare_stream.stream = stream_;
    spare_stream.held = true;
    return;
  }
  closePayloadStream(stream_);
}

bool PayloadReader::next(PayloadRecord& record) {
  if (remaining_ != 0) throw PackError("the previous record's data was not read");
  GroupRecord entry;
  if (!nextGroupRecord(*group_, group_offset_, entry)) {
    switch (readPayloadGroup(stream_, layout_, *group_)) {
      case GroupStatus::group: break;
      case GroupStatus::end: return false;
      case GroupStatus::decodeError: failDecode();
      case GroupStatus::tooLong: throw PackError("the payload holds a name longer than 1023 UTF-16 units");
      case GroupStatus::unsafe: failUnsafeName(nameOf(group_->refused_name));
    }
    rememberGroupNames();
    group_number_ += 1;
    if (layout_ == GroupLayout::recordedGroups) requireRecordedLength();
    group_offset_ = 0;
    nextGroupRecord(*group_, group_offset_, entry);
  }
  record.name = nameOf(entry.name);
  record.size = entry.size;
  record.stored_checksum = entry.stored_checksum;
  remaining_ = record.size;
  return true;
}

// The whole group before any of its records is handed out, as the launcher checks it before it
// writes any of its files.
void PayloadReader::rememberGroupNames() {
  uint32_t offset = 0;
  GroupRecord entry;
  while (nextGroupRecord(*group_, offset, entry)) {
    const std::u16string name = nameOf(entry.name);
    if (names_seen_.size() == kSeenNamesLimit) {
      throw PackError("the payload holds more than " + std::to_string(kSeenNamesLimit) +
                      " files; the launcher refuses it");
    }
    const auto [earlier, inserted] = names_seen_.emplace(foldedLikeWindows(name), name);
    if (!inserted && withBackslashes(earlier->second) == withBackslashes(name)) {
      throw PackError("the payload names the file '" + printableUtf8(name) + "' twice; the second would overwrite the first");
    }
    if (!inserted) {
      throw PackError("the payload holds the names '" + printableUtf8(earlier->second) + "' and '" + printableUtf8(name) +
                      "', which differ only in letter case; Windows would make them one file");
    }
  }
}

// The launcher steps over an intact group's data by the length its index records, so a wrong one
// would send it elsewhere in the payload; here the frame that stands there is measured.
void PayloadReader::requireRecordedLength() {
  const uint64_t recorded = group_->data_frame_length;
  if (group_->data_size == 0) return;
  const uint64_t actual = nextFrameLength(stream_, group_->data_size);
  if (actual == recorded) return;
  const std::string what = actual == 0 ? "no frame of the group's " + std::to_string(group_->data_size) + " bytes follows its index"
                                       : "its data frame is " + std::to_string(actual) + " bytes long";
  throw PackError("group " + std::to_string(group_number_) + " of the payload records a data frame of " +
                  std::to_string(recorded) + " bytes, but " + what);
}

uint32_t PayloadReader::readData(const std::function<void(const uint8_t*, size_t)>& sink) {
  static thread_local uint8_t piece[1 << 16];
  uint32_t crc = 0;
  while (remaining_ > 0) {
    const size_t count = remaining_ < sizeof piece ? static_cast<size_t>(remaining_) : sizeof piece;
    check(readPayload(stream_, piece, count));
    crc = crc32Update(crc, piece, count);
    sink(piece, count);
    remaining_ -= count;
  }
  return storedChecksum(crc);
}

void PayloadReader::requireFrameEnd() {
  if (stream_.output.size != stream_.output.pos) throw PackError("the payload holds data after its end marker");
  // Only the frames: the trailing bytes after them are not compressed data.
  ZSTD_inBuffer input = stream_.input;
  input.size = static_cast<size_t>(compressed_length_);
  if (input.pos > input.size) failDecode();
  static thread_local uint8_t window[kPayloadWindowSize];
  for (;;) {
    ZSTD_outBuffer output = {window, sizeof window, 0};
    const size_t before = input.pos;
    const size_t result = ZSTD_decompressStream(stream_.context, &output, &input);
    if (ZSTD_isError(result)) failDecode();
    if (output.pos != 0) throw PackError("the payload holds data after its end marker");
    if (input.pos == before) break;
  }
  if (input.pos != input.size) failDecode();
}
