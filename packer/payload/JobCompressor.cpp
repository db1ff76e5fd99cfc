#include "JobCompressor.h"

#include <zstd.h>

#include <algorithm>

#include "AppFileReader.h"
#include "Crc32.h"
#include "PackError.h"

namespace {

// Files are read and fed in pieces of this size, as PayloadWriter's callers always fed them.
constexpr size_t kReadPiece = 1 << 20;

void check(size_t result, const char* what) {
  if (ZSTD_isError(result)) throw PackError(std::string("compression failed (") + what + "): " + ZSTD_getErrorName(result));
}

void appendLittleEndian(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

ZSTD_CCtx* cctx(void* context) { return static_cast<ZSTD_CCtx*>(context); }

class StringSink final : public ByteSink {
 public:
  explicit StringSink(std::string& out) : out_(out) {}
  void write(const char* data, size_t length) override { out_.append(data, length); }

 private:
  std::string& out_;
};

// Memory first; past the limit the rest goes to a spill file.
class PieceSink final : public ByteSink {
 public:
  PieceSink(JobOutput& output, const std::filesystem::path& directory, uint64_t content)
      : output_(output), directory_(directory) {
    output_.bytes.reserve(static_cast<size_t>(std::min<uint64_t>(ZSTD_compressBound(content), kPieceMemoryLimit)));
  }
  void write(const char* data, size_t length) override {
    if (!output_.spill && output_.bytes.size() + length > kPieceMemoryLimit) {
      output_.spill = std::make_unique<SpillFile>(directory_);
    }
    if (output_.spill) {
      output_.spill->write(data, length);
    } else {
      output_.bytes.append(data, length);
    }
  }

 private:
  JobOutput& output_;
  const std::filesystem::path& directory_;
};

}  // namespace

void JobCompressor::ContextDeleter::operator()(void* context) const { ZSTD_freeCCtx(cctx(context)); }

JobCompressor::JobCompressor(int level, int workers, PayloadLayout layout, JobInputs inputs)
    : context_(ZSTD_createCCtx()), layout_(layout), inputs_(std::move(inputs)), piece_(kReadPiece), chunk_(1 << 16) {
  if (!context_) throw PackError("cannot create the compressor");
  configureCompressor(cctx(context_.get()), level, workers, layout);
  current_ = cctx(context_.get());
}

SharedCompressor::SharedCompressor(int level, int workers, PayloadLayout layout)
    : level_(level), workers_(workers), layout_(layout) {}

SharedCompressor::~SharedCompressor() { ZSTD_freeCCtx(context_); }

ZSTD_CCtx* SharedCompressor::context() {
  if (context_ == nullptr) {
    context_ = ZSTD_createCCtx();
    if (context_ == nullptr) throw PackError("cannot create the compressor");
    configureCompressor(context_, level_, workers_, layout_);
  }
  return context_;
}

void JobCompressor::beginDataFrame(uint64_t size, std::unique_lock<std::mutex>& lock) {
  if (inputs_.shared != nullptr && size > kSingleJobFrame) {
    lock = std::unique_lock<std::mutex>(inputs_.shared->mutex());
    current_ = inputs_.shared->context();
  }
  check(ZSTD_CCtx_setPledgedSrcSize(current_, size), "data size");
}

void JobCompressor::endDataFrame(ByteSink& out, std::unique_lock<std::mutex>& lock) {
  stream(nullptr, 0, ZSTD_e_end, out);
  current_ = cctx(context_.get());
  if (lock.owns_lock()) lock.unlock();
}

JobCompressor::~JobCompressor() = default;

void JobCompressor::checkStop() const {
  if (inputs_.stop != nullptr && inputs_.stop->load()) throw PackError("stopped");
}

void JobCompressor::stream(const void* data, size_t length, int directive, ByteSink& out) {
  ZSTD_inBuffer input = {data, length, 0};
  const auto end_op = static_cast<ZSTD_EndDirective>(directive);
  for (;;) {
    ZSTD_outBuffer output = {chunk_.data(), chunk_.size(), 0};
    const size_t remaining = ZSTD_compressStream2(current_, &output, &input, end_op);
    check(remaining, "stream");
    out.write(chunk_.data(), output.pos);
    const bool done = end_op == ZSTD_e_end ? remaining == 0 : input.pos == input.size;
    if (done) break;
  }
}

void JobCompressor::frame(const std::string& content, ByteSink& out) {
  check(ZSTD_CCtx_setPledgedSrcSize(current_, content.size()), "frame size");
  stream(content.data(), content.size(), ZSTD_e_end, out);
}

uint32_t JobCompressor::checksumOf(AppFileReader& reader) {
  uint32_t crc = 0;
  for (size_t count; (count = reader.read(piece_.data(), piece_.size())) != 0;) {
    crc = crc32Update(crc, piece_.data(), count);
    checkStop();
  }
  return crc;
}

uint32_t JobCompressor::feedFile(AppFileReader& reader, ByteSink& out) {
  uint32_t crc = 0;
  for (size_t count; (count = reader.read(piece_.data(), piece_.size())) != 0;) {
    crc = crc32Update(crc, piece_.data(), count);
    stream(piece_.data(), count, ZSTD_e_continue, out);
    if (inputs_.bytes_read != nullptr) *inputs_.bytes_read += count;
    if (inputs_.on_piece) inputs_.on_piece();
    checkStop();
  }
  return crc;
}

JobOutput JobCompressor::compress(const PayloadJob& job) {
  JobOutput output;
  switch (job.kind) {
    case JobKind::group: group(job, output); break;
    case JobKind::ownGroup: ownGroup(job, output); break;
    case JobKind::perFile: perFile(job, output); break;
    case JobKind::end: end(output); break;
    case JobKind::whole: throw PackError("the single layout's frame is not a job for a thread");
  }
  return output;
}

// Small files read once each: the index that records their checksums follows their data in the
// work, though it precedes it in the payload.
void JobCompressor::group(const PayloadJob& job, JobOutput& output) {
  std::string index;
  group_data_.clear();
  for (size_t i = job.first; i < job.first + job.count; ++i) {
    const AppFile& file = (*inputs_.files)[i];
    if (inputs_.before_read) inputs_.before_read(file);
    AppFileReader reader(file);
    const size_t start = group_data_.size();
    group_data_.resize(start + file.size);
    size_t filled = 0;
    while (filled < file.size) {
      const size_t count = reader.read(&group_data_[start + filled], file.size - filled);
      if (count == 0) break;
      filled += count;
    }
    char probe;
    reader.read(&probe, 1);  // a byte more than listed is a changed file
    reader.finish();
    index += recordHeader(file.name, file.size, storedChecksum(crc32Update(0, &group_data_[start], file.size)));
    if (inputs_.bytes_read != nullptr) *inputs_.bytes_read += file.size;
    checkStop();
  }
  output.bytes.reserve(ZSTD_compressBound(group_data_.size()));
  StringSink data_sink(output.bytes);
  if (!group_data_.empty()) frame(group_data_, data_sink);
  indexFrame(index, output.length(), output);
}

// A group's index frame: the length of its records, its data frame's compressed length (so that
// a start steps over an intact group with one seek), then the records.
void JobCompressor::indexFrame(const std::string& records, uint64_t data_length, JobOutput& output) {
  std::string content;
  appendLittleEndian(content, records.size(), 4);
  appendLittleEndian(content, data_length, 8);
  content += records;
  StringSink out(output.head);
  frame(content, out);
}

void JobCompressor::ownGroup(const PayloadJob& job, JobOutput& output) {
  const AppFile& file = (*inputs_.files)[job.first];
  if (inputs_.before_read) inputs_.before_read(file);
  AppFileReader reader(file);
  PieceSink data_sink(output, inputs_.spill_directory, file.size);
  std::unique_lock<std::mutex> shared;
  beginDataFrame(file.size, shared);
  const uint32_t crc = feedFile(reader, data_sink);
  endDataFrame(data_sink, shared);
  reader.finish();
  indexFrame(recordHeader(file.name, file.size, storedChecksum(crc)), output.length(), output);
}

// The record precedes the data in a frame of its own: the file is read twice, once for the
// checksum the record stores and once to compress, and the two must agree.
void JobCompressor::perFile(const PayloadJob& job, JobOutput& output) {
  const AppFile& file = (*inputs_.files)[job.first];
  if (inputs_.before_read) inputs_.before_read(file);
  AppFileReader reader(file);
  const uint32_t crc = checksumOf(reader);
  reader.rewind();
  PieceSink out(output, inputs_.spill_directory, file.size);
  frame(recordHeader(file.name, file.size, storedChecksum(crc)), out);
  if (file.size == 0) {
    reader.finish();
    return;
  }
  std::unique_lock<std::mutex> shared;
  beginDataFrame(file.size, shared);
  const uint32_t fed_crc = feedFile(reader, out);
  endDataFrame(out, shared);
  reader.finish();
  if (fed_crc != crc) reader.failChanged();
}

void JobCompressor::end(JobOutput& output) {
  StringSink out(output.bytes);
  if (layout_ == PayloadLayout::grouped) {
    frame(std::string(4, '\0'), out);  // an empty index ends the list
    return;
  }
  const std::string end_marker(2, '\0');
  check(ZSTD_CCtx_setPledgedSrcSize(current_, end_marker.size()), "end size");
  stream(end_marker.data(), end_marker.size(), ZSTD_e_continue, out);
  stream(nullptr, 0, ZSTD_e_end, out);
}

void JobCompressor::compressWhole(const PayloadJob& job, ByteSink& out) {
  for (size_t i = job.first; i < job.first + job.count; ++i) {
    const AppFile& file = (*inputs_.files)[i];
    if (inputs_.before_read) inputs_.before_read(file);
    AppFileReader reader(file);
    const uint32_t crc = checksumOf(reader);
    reader.rewind();
    const std::string header = recordHeader(file.name, file.size, storedChecksum(crc));
    stream(header.data(), header.size(), ZSTD_e_continue, out);
    const uint32_t fed_crc = feedFile(reader, out);
    reader.finish();
    if (fed_crc != crc) reader.failChanged();
  }
  const std::string end_marker(2, '\0');
  stream(end_marker.data(), end_marker.size(), ZSTD_e_continue, out);
  stream(nullptr, 0, ZSTD_e_end, out);
}
