// One thread's share of a pack: turns a planned job (PayloadPlan.h) into its bytes, reading the
// job's files itself. Each thread has a compressor of its own with the parameters every frame of
// the payload gets (configureCompressor), so the bytes do not depend on which thread made them.
#pragma once

#include <stdint.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "AppFolder.h"
#include "PackerPlatform.h"
#include "PayloadPlan.h"

class ByteSink {
 public:
  virtual void write(const char* data, size_t length) = 0;

 protected:
  ~ByteSink() = default;
};

// A job's bytes: `head` (a group's index frame, made last but written first), `bytes`, then the
// spill file's content. Output that grows past kPieceMemoryLimit goes on in a spill file, so that
// what waits for its turn stays small. length() leaves out the head.
struct JobOutput {
  std::string head;
  std::string bytes;
  std::unique_ptr<SpillFile> spill;
  uint64_t length() const { return bytes.size() + (spill ? spill->length() : 0); }
};
constexpr size_t kPieceMemoryLimit = 16 << 20;

// The job size configureCompressor gives zstd's threads: a frame longer than this is several jobs.
constexpr uint64_t kSingleJobFrame = 32 << 20;

// The compressor for frames of more than one of zstd's jobs (large files). Its input ring and
// output buffers grow to well over 100 MiB as such a frame passes, so there is one of it, shared
// by one frame at a time, with every thread of zstd's working on that frame; the compressors of
// the threads keep to frames of one job.
class SharedCompressor {
 public:
  SharedCompressor(int level, int workers, PayloadLayout layout);
  ~SharedCompressor();
  SharedCompressor(const SharedCompressor&) = delete;
  SharedCompressor& operator=(const SharedCompressor&) = delete;
  std::mutex& mutex() { return mutex_; }
  // Only while mutex() is held.
  struct ZSTD_CCtx_s* context();

 private:
  int level_;
  int workers_;
  PayloadLayout layout_;
  std::mutex mutex_;
  struct ZSTD_CCtx_s* context_ = nullptr;
};

struct JobInputs {
  const std::vector<AppFile>* files = nullptr;
  std::filesystem::path spill_directory;
  // Called before a file is opened; tests change the tree there.
  std::function<void(const AppFile&)> before_read;
  // Set when the pack has failed elsewhere: a long job stops at its next piece.
  const std::atomic<bool>* stop = nullptr;
  // Bytes of the application read so far, for the progress line.
  std::atomic<uint64_t>* bytes_read = nullptr;
  // For frames of several zstd jobs; none: this compressor's own.
  SharedCompressor* shared = nullptr;
  // Called after each piece that compressWhole feeds, on its thread.
  std::function<void()> on_piece;
};

class JobCompressor {
 public:
  // `workers` as configureCompressor takes it; the bytes are the same for any number from 1.
  JobCompressor(int level, int workers, PayloadLayout layout, JobInputs inputs);
  ~JobCompressor();
  JobCompressor(const JobCompressor&) = delete;
  JobCompressor& operator=(const JobCompressor&) = delete;

  JobOutput compress(const PayloadJob& job);
  // The single layout's one frame, written to `out` as it comes.
  void compressWhole(const PayloadJob& job, ByteSink& out);

 private:
  void stream(const void* data, size_t length, int directive, ByteSink& out);
  void frame(const std::string& content, ByteSink& out);
  // A file's data frame, on the shared compressor when it is several jobs long; `lock` holds it.
  void beginDataFrame(uint64_t size, std::unique_lock<std::mutex>& lock);
  void endDataFrame(ByteSink& out, std::unique_lock<std::mutex>& lock);
  void group(const PayloadJob& job, JobOutput& output);
  void indexFrame(const std::string& records, uint64_t data_length, JobOutput& output);
  void ownGroup(const PayloadJob& job, JobOutput& output);
  void perFile(const PayloadJob& job, JobOutput& output);
  void end(JobOutput& output);
  // The file's data into the current frame in pieces; returns its CRC-32.
  uint32_t feedFile(class AppFileReader& reader, ByteSink& out);
  uint32_t checksumOf(class AppFileReader& reader);
  void checkStop() const;

  struct ContextDeleter {
    void operator()(void* context) const;
  };
  std::unique_ptr<void, ContextDeleter> context_;
  struct ZSTD_CCtx_s* current_;  // context_'s, or the shared one's during a data frame
  PayloadLayout layout_;
  JobInputs inputs_;
  std::vector<char> piece_;
  std::vector<char> chunk_;
  std::string group_data_;
};
