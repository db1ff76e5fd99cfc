#include "PayloadWriter.h"

#include <stdexcept>

#include "Crc32.h"
#include "PayloadGroup.h"
#include "PayloadHeader.h"

namespace {

void check(size_t result, const char* what) {
  if (ZSTD_isError(result)) throw std::runtime_error(std::string(what) + ": " + ZSTD_getErrorName(result));
}

void appendLittleEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

void configureCompressor(ZSTD_CCtx* context, int level, int workers, PayloadLayout layout) {
  check(ZSTD_CCtx_setParameter(context, ZSTD_c_compressionLevel, level), "compression level");
  // Per file and grouped, every frame declares its size and data frames keep a window of at most
  // 8 MiB: the decoder's buffer is never larger than the smaller of the two, whatever the file.
  const bool per_file = layout != PayloadLayout::singleFrame;
  check(ZSTD_CCtx_setParameter(context, ZSTD_c_windowLog, per_file ? kPerFileWindowLog : 27), "window");
  check(ZSTD_CCtx_setParameter(context, ZSTD_c_contentSizeFlag, per_file ? 1 : 0), "content size flag");
  check(ZSTD_CCtx_setParameter(context, ZSTD_c_checksumFlag, 0), "checksum flag");
  check(ZSTD_CCtx_setParameter(context, ZSTD_c_dictIDFlag, 0), "dictionary id flag");
  if (workers > 0) {
    check(ZSTD_CCtx_setParameter(context, ZSTD_c_nbWorkers, workers), "worker threads");
    // With the 2^27 window zstd would cut the input into 512 MiB jobs, so workers would share
    // nothing below that size. Fixed 32 MiB jobs, each primed with the 8 MiB before it
    // (window >> (9 - 5)), keep both cores busy on ordinary trees; job boundaries depend on the
    // input alone, so the bytes still do not depend on the number of workers.
    check(ZSTD_CCtx_setParameter(context, ZSTD_c_jobSize, 32 << 20), "job size");
    check(ZSTD_CCtx_setParameter(context, ZSTD_c_overlapLog, 5), "job overlap");
  }
}

std::string recordHeader(const std::u16string& name, uint64_t size, uint32_t checksum) {
  std::string header;
  for (char16_t unit : name) appendLittleEndian(header, unit, 2);
  appendLittleEndian(header, 0, 2);
  appendLittleEndian(header, size, 8);
  appendLittleEndian(header, checksum, 4);
  return header;
}

std::string payloadTrailer(uint64_t length_before_trailer) {
  std::string trailer(6, '\0');
  appendLittleEndian(trailer, length_before_trailer + kPayloadTrailerLength - 8, 8);
  return trailer;
}

PayloadWriter::PayloadWriter(int level, int workers, PayloadLayout layout)
    : context_(ZSTD_createCCtx()), layout_(layout) {
  if (context_ == nullptr) throw std::runtime_error("cannot create the compressor");
  configureCompressor(context_, level, workers, layout);
  resource_.append(reinterpret_cast<const char*>(kPayloadHeader), kPayloadHeaderLength);
  if (layout == PayloadLayout::grouped) {
    resource_.append(reinterpret_cast<const char*>(kRecordedGroupsMarker), kRecordedGroupsMarkerLength);
  } else if (layout == PayloadLayout::groupedWithoutLengths) {
    appendLittleEndian(resource_, kGroupedLayoutMagic, 4);
    appendLittleEndian(resource_, sizeof kGroupedLayoutTag, 4);
    resource_.append(reinterpret_cast<const char*>(kGroupedLayoutTag), sizeof kGroupedLayoutTag);
  }
}

PayloadWriter::~PayloadWriter() { ZSTD_freeCCtx(context_); }

void PayloadWriter::compress(const void* data, size_t length, ZSTD_EndDirective directive) {
  ZSTD_inBuffer input = {data, length, 0};
  char chunk[1 << 16];
  for (;;) {
    ZSTD_outBuffer output = {chunk, sizeof chunk, 0};
    const size_t remaining = ZSTD_compressStream2(context_, &output, &input, directive);
    check(remaining, "compression");
    (holding_data_frame_ ? data_frame_ : resource_).append(chunk, output.pos);
    const bool done = directive == ZSTD_e_end ? remaining == 0 : input.pos == input.size;
    if (done) break;
  }
  input_bytes_ += length;
}

void PayloadWriter::compressFrame(const std::string& content) {
  check(ZSTD_CCtx_setPledgedSrcSize(context_, content.size()), "frame size");
  compress(content.data(), content.size(), ZSTD_e_end);
}

void PayloadWriter::flushGroup() {
  if (group_index_.empty()) return;
  if (layout_ == PayloadLayout::grouped) {
    holding_data_frame_ = !group_data_.empty();
    if (holding_data_frame_) compressFrame(group_data_);
    writeRecordedGroup(group_index_);
  } else {
    std::string index;
    appendLittleEndian(index, group_index_.size(), 4);
    compressFrame(index + group_index_);
    if (!group_data_.empty()) compressFrame(group_data_);
  }
  group_index_.clear();
  group_data_.clear();
}

// The index frame must record the data frame's compressed length, so the data frame is compressed
// first and held until its index frame is written.
void PayloadWriter::writeRecordedGroup(const std::string& index) {
  holding_data_frame_ = false;
  std::string content;
  appendLittleEndian(content, index.size(), 4);
  appendLittleEndian(content, data_frame_.size(), 8);
  compressFrame(content + index);
  resource_ += data_frame_;
  data_frame_.clear();
}

void PayloadWriter::beginEntry(const std::u16string& name, uint64_t size, uint32_t checksum) {
  if (name.empty() || name.size() > 1023 || name.find(u'\0') != std::u16string::npos)
    throw std::invalid_argument("a payload name must have 1 to 1023 non-zero units");
  if (data_remaining_ != 0) throw std::logic_error("the previous entry's data is incomplete");
  std::string header = recordHeader(name, size, checksum);
  data_remaining_ = size;
  data_in_own_frame_ = false;
  if (layout_ == PayloadLayout::singleFrame) {
    compress(header.data(), header.size(), ZSTD_e_continue);
    return;
  }
  const bool grouped = layout_ == PayloadLayout::grouped || layout_ == PayloadLayout::groupedWithoutLengths;
  if (grouped) {
    if (size <= kGroupedFileLimit) {
      if (groupIsFull(group_index_.size(), group_data_.size(), header.size(), size)) flushGroup();
      group_index_ += header;
      return;
    }
    flushGroup();
    if (layout_ == PayloadLayout::grouped) {
      // A file this large is a group of its own, its data streamed into the held data frame.
      big_file_index_ = header;
      holding_data_frame_ = true;
      data_in_own_frame_ = true;
      check(ZSTD_CCtx_setPledgedSrcSize(context_, size), "data size");
      return;
    }
    std::string index;
    appendLittleEndian(index, header.size(), 4);
    header.insert(0, index);
  }
  compressFrame(header);
  data_in_own_frame_ = size > 0;
  if (data_in_own_frame_) check(ZSTD_CCtx_setPledgedSrcSize(context_, size), "data size");
}

void PayloadWriter::addData(const void* data, size_t length) {
  if (length > data_remaining_) throw std::logic_error("more data than the entry's size");
  if (length == 0) return;
  data_remaining_ -= length;
  if (layout_ != PayloadLayout::singleFrame && layout_ != PayloadLayout::perFile && !data_in_own_frame_) {
    group_data_.append(static_cast<const char*>(data), length);
    return;
  }
  const bool frame_ends = data_in_own_frame_ && data_remaining_ == 0;
  compress(data, length, ZSTD_e_continue);
  if (frame_ends) compress(nullptr, 0, ZSTD_e_end);
  if (frame_ends && holding_data_frame_) writeRecordedGroup(big_file_index_);
}

std::string PayloadWriter::finish() {
  if (data_remaining_ != 0) throw std::logic_error("the last entry's data is incomplete");
  if (layout_ == PayloadLayout::grouped || layout_ == PayloadLayout::groupedWithoutLengths) {
    flushGroup();
    compressFrame(std::string(4, '\0'));  // an empty index ends the list
  } else {
    const std::string end_marker(2, '\0');
    if (layout_ == PayloadLayout::perFile) check(ZSTD_CCtx_setPledgedSrcSize(context_, end_marker.size()), "end size");
    compress(end_marker.data(), end_marker.size(), ZSTD_e_continue);
    compress(nullptr, 0, ZSTD_e_end);
  }
  resource_ += payloadTrailer(resource_.size());
  return std::move(resource_);
}

std::string buildPayloadResource(const PayloadFile* files, size_t count, int level, int workers,
                                 PayloadLayout layout) {
  PayloadWriter writer(level, workers, layout);
  for (size_t i = 0; i < count; ++i) {
    const PayloadFile& file = files[i];
    writer.beginEntry(file.name, file.data.size(),
                      storedChecksum(crc32Update(0, file.data.data(), file.data.size())));
    writer.addData(file.data.data(), file.data.size());
  }
  return writer.finish();
}
