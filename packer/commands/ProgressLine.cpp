#include "ProgressLine.h"

#include <stdio.h>

#include <cmath>

namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(200);
// A log keeps every line: fewer of them.
constexpr auto kLogInterval = std::chrono::seconds(5);

double mebibytes(uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

}  // namespace

ProgressMode progressModeFor(ProgressChoice choice, bool standard_error_is_terminal) {
  if (choice == ProgressChoice::never) return ProgressMode::off;
  if (standard_error_is_terminal) return ProgressMode::terminal;
  return choice == ProgressChoice::always ? ProgressMode::lines : ProgressMode::off;
}

std::string progressText(uint64_t done, uint64_t total, double seconds) {
  char text[160];
  const double rate = seconds > 0 ? mebibytes(done) / seconds : 0;
  int length = snprintf(text, sizeof text, "packing: %.1f of %.1f MiB, %.1f MiB/s", mebibytes(done), mebibytes(total), rate);
  if (done > 0 && done <= total && seconds > 0) {
    const auto left = static_cast<unsigned long long>(
        std::llround(seconds * static_cast<double>(total - done) / static_cast<double>(done)));
    snprintf(text + length, sizeof text - length, ", %llu:%02llu left", left / 60, left % 60);
  }
  return text;
}

ProgressLine::ProgressLine(ProgressMode mode, uint64_t total_bytes)
    : mode_(mode), total_bytes_(total_bytes), start_(std::chrono::steady_clock::now()), last_(start_) {}

ProgressLine::~ProgressLine() { finish(); }

void ProgressLine::update(uint64_t bytes) {
  if (mode_ == ProgressMode::off) return;
  const auto now = std::chrono::steady_clock::now();
  const auto interval = mode_ == ProgressMode::terminal ? kRedrawInterval : kLogInterval;
  if (now - start_ < kQuietStart || (drawn_ && now - last_ < interval)) return;
  last_ = now;
  const std::string text = progressText(bytes, total_bytes_, std::chrono::duration<double>(now - start_).count());
  if (mode_ == ProgressMode::terminal) {
    fprintf(stderr, "\r%-72s", text.c_str());
  } else {
    fprintf(stderr, "%s\n", text.c_str());
  }
  fflush(stderr);
  drawn_ = true;
}

void ProgressLine::finish() {
  if (!drawn_ || mode_ != ProgressMode::terminal) return;
  fprintf(stderr, "\r%72s\r", "");
  fflush(stderr);
  drawn_ = false;
}
