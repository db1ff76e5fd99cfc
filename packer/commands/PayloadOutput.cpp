#include "PayloadOutput.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>

#include "OrderedPool.h"
#include "PackError.h"
#include "ProgressLine.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyPiece = 1 << 20;

// At most this many finished jobs per thread wait for their turn to be written: enough that a
// slow job (a large file) does not idle the others at once, few enough to bound memory.
constexpr size_t kJobsWaitingPerThread = 3;

std::string shown(const fs::path& path) { return "'" + displayPath(path) + "'"; }

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

}  // namespace

PayloadOutput::PayloadOutput(PartialOutput& output) : output_(output), copy_(kCopyPiece) { sha256Init(hash_); }

void PayloadOutput::write(const char* data, size_t length) {
  output_.write(data, length);
  sha256Update(hash_, data, length);
  sum_.add(reinterpret_cast<const uint8_t*>(data), length);
}

void PayloadOutput::append(JobOutput& piece) {
  write(piece.head.data(), piece.head.size());
  write(piece.bytes.data(), piece.bytes.size());
  if (!piece.spill) return;
  piece.spill->rewind();
  for (size_t count; (count = piece.spill->read(copy_.data(), copy_.size())) != 0;) write(copy_.data(), count);
  piece.spill.reset();
}

std::vector<PlannedFile> plannedFiles(const std::vector<AppFile>& files) {
  std::vector<PlannedFile> planned;
  planned.reserve(files.size());
  for (const AppFile& file : files) planned.push_back({file.name, file.size});
  return planned;
}

void requireOutputIsNoInput(const fs::path& output, const fs::path& input, const std::string& role) {
  if (sameFile(output, input)) throw PackError("the output " + shown(output) + " is the " + role + " itself; choose another name");
}

std::u16string outputName(const fs::path& output) {
  const std::optional<std::u16string> name = entryNameUnits(output.filename());
  if (!name || name->empty()) throw PackError("the output " + shown(output) + " has no file name that Windows can show");
  return *name;
}

void compressPayload(const PackRequest& request, const std::vector<AppFile>& files, const PayloadPlan& plan,
                     PayloadOutput& payload) {
  const int threads =
      request.threads > 0 ? request.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  ProgressLine progress(request.progress, plan.data_bytes);
  std::atomic<uint64_t> bytes_read{0};
  std::atomic<bool> stop{false};
  JobInputs inputs;
  inputs.files = &files;
  inputs.spill_directory = request.output.has_parent_path() ? request.output.parent_path() : fs::path(".");
  inputs.before_read = request.before_read;
  inputs.stop = &stop;
  inputs.bytes_read = &bytes_read;
  if (request.layout == PayloadLayout::singleFrame) {
    // One frame: zstd's own threads share it.
    inputs.on_piece = [&] { progress.update(bytes_read); };
    JobCompressor compressor(request.level, threads, request.layout, inputs);
    compressor.compressWhole(plan.jobs.front(), payload);
    return;
  }
  // One thread compresses the large files' frames on its own compressor: a second one would only
  // add its memory.
  SharedCompressor shared(request.level, threads, request.layout);
  if (threads > 1) inputs.shared = &shared;
  std::vector<std::unique_ptr<JobCompressor>> compressors;
  compressors.reserve(static_cast<size_t>(threads));
  for (int thread = 0; thread < threads; ++thread) {
    compressors.push_back(std::make_unique<JobCompressor>(request.level, 1, request.layout, inputs));
  }
  runInOrder<JobOutput>(
      plan.jobs.size(), threads, kJobsWaitingPerThread * static_cast<size_t>(threads), stop,
      [&](size_t job, int thread) { return compressors[thread]->compress(plan.jobs[job]); },
      [&](size_t, JobOutput& piece) {
        payload.append(piece);
        progress.update(bytes_read);
      });
}
