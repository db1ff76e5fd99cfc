// How far a long pack has come: bytes of the application done, the total, the rate and the time
// left. On a terminal one line on standard error, redrawn in place a few times a second; elsewhere
// (a CI log, asked for with --progress) a line of its own every few seconds. Nothing for packs that
// end within the first second.
#pragma once

#include <stdint.h>

#include <chrono>
#include <string>

enum class ProgressMode { off, terminal, lines };

// What the command line asks for: nothing (a terminal gets the line), --progress, --quiet.
enum class ProgressChoice { automatic, always, never };
ProgressMode progressModeFor(ProgressChoice choice, bool standard_error_is_terminal);

// The line's text: "packing: 512.0 of 1130.2 MiB, 45.3 MiB/s, 0:14 left".
std::string progressText(uint64_t done, uint64_t total, double seconds);

class ProgressLine {
 public:
  ProgressLine(ProgressMode mode, uint64_t total_bytes);
  ~ProgressLine();
  void update(uint64_t bytes);
  // Clears the terminal line, if one was drawn.
  void finish();

 private:
  ProgressMode mode_;
  bool drawn_ = false;
  uint64_t total_bytes_;
  std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point last_;
};
