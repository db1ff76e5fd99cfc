// One thread's share of a pack: turns a planned job (PayloadPlan.h) into its bytes, reading the
// job's files itself. Each thread has a compressor of its own with the parameters every frame of
// the payload gets (configureCompressor), so the bytes do not depend on which thread made them.
#pragma once

#include <stdint.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
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

// A job's bytes: `bytes`, then the spill file's content. A frame that grows past
// kPieceMemoryLimit goes on in a spill file, so that what waits for its turn stays small.
struct JobOutput {
  std::string bytes;
  std::unique_ptr<SpillFile> spill;
  uint64_t length() const { return bytes.size() + (spill ? spill->length() : 0); }
};
constexpr size_t kPieceMemoryLimit = 16 << 20;

struct JobInputs {
  const std::vector<AppFile>* files = nullptr;
  std::filesystem::path spill_directory;
  // Called before a file is opened; tests change the tree there.
  std::function<void(const AppFile&)> before_read;
  // Set when the pack has failed elsewhere: a long job stops at its next piece.
  const std::atomic<bool>* stop = nullptr;
  // Bytes of the application read so far, for the progress line.
  std::atomic<uint64_t>* bytes_read = nullptr;
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
  void group(const PayloadJob& job, JobOutput& output);
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
  PayloadLayout layout_;
  JobInputs inputs_;
  std::vector<char> piece_;
  std::vector<char> chunk_;
  std::string group_data_;
};
