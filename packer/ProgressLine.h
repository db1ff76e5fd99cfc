// One line on standard error that shows how far a long pack has come (files and bytes), redrawn
// in place a few times a second. Silent when standard error is not a terminal, and for packs
// that end within the first second.
#pragma once

#include <stdint.h>

#include <chrono>

class ProgressLine {
 public:
  ProgressLine(bool enabled, uint64_t total_files, uint64_t total_bytes);
  ~ProgressLine();
  // Redrawn at most every 200 ms, unless `at_once` asks for it (before a long wait).
  void update(uint64_t files, uint64_t bytes, bool at_once = false);
  // Clears the line, if one was drawn.
  void finish();

 private:
  bool enabled_;
  bool drawn_ = false;
  uint64_t total_files_;
  uint64_t total_bytes_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};
