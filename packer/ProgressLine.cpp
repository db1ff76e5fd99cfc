#include "ProgressLine.h"

#include <stdio.h>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

double mebibytes(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

ProgressLine::ProgressLine(bool enabled, uint64_t total_files, uint64_t total_bytes)
    : enabled_(enabled), total_files_(total_files), total_bytes_(total_bytes), start_(std::chrono::steady_clock::now()),
      last_(start_) {}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::update(uint64_t files, uint64_t bytes, bool at_once) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (now - start_ < kQuietStart || (!at_once && now - last_ < kRedrawInterval)) return;
  last_ = now;
  fprintf(stderr, "\rpacking: %llu/%llu files, %.1f/%.1f MiB ", static_cast<unsigned long long>(files),
          static_cast<unsigned long long>(total_files_), mebibytes(bytes), mebibytes(total_bytes_));
  fflush(stderr);
  drawn_ = true;
}

void ProgressLine::finish() {
  if (!drawn_) return;
  fprintf(stderr, "\r%60s\r", "");
  fflush(stderr);
  drawn_ = false;
}
