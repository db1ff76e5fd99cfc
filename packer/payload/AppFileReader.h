// Reads one application file for the payload and notices a file that is written to, replaced or
// removed while the pack runs: its size must stay the one the folder listing gave (the payload's
// frames were planned with it), and its size and time must be the same after reading as before.
#pragma once

#include <stdint.h>

#include <chrono>
#include <filesystem>

#include "AppFolder.h"
#include "PackerPlatform.h"

class AppFileReader {
 public:
  // Throws PackError when the file cannot be opened or no longer has its listed size.
  explicit AppFileReader(const AppFile& file);
  // Up to `capacity` bytes; 0 at the end. More bytes than listed is a changed file.
  size_t read(void* buffer, size_t capacity);
  void rewind();
  // After the last read: the whole listed size was read and the file is as it was when opened.
  void finish();
  [[noreturn]] void failChanged() const;

 private:
  struct Stamp {
    uint64_t size;
    std::filesystem::file_time_type time;
    bool operator==(const Stamp& other) const { return size == other.size && time == other.time; }
  };
  Stamp stamp() const;

  const AppFile& file_;
  Stamp before_;
  InputFile input_;
  uint64_t read_ = 0;
};
