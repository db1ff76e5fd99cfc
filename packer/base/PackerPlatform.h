// Where the packer meets the operating system: file names, reading and writing whole files with
// the system's reason on failure, the tool's own location, and whether standard error is a
// terminal. The one unit that differs between the Linux and the Windows build.
#pragma once

#include <stdint.h>
#include <stdio.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "ByteView.h"

// A path as UTF-8 for messages (see printableUtf8).
std::string displayPath(const std::filesystem::path& path);

// One directory entry's name as UTF-16 units: from UTF-8 bytes on Linux, as the system stores it
// on Windows. Nothing when it is not well-formed (not UTF-8 on Linux, a lone surrogate on Windows).
std::optional<std::u16string> entryNameUnits(const std::filesystem::path& name);

// The path of a payload name's components below `directory`; nothing when a component cannot be
// a file name on this system.
std::optional<std::filesystem::path> pathOfComponents(const std::filesystem::path& directory,
                                                      const std::vector<std::u16string>& components);

// A command-line argument as UTF-8 (on Windows the arguments arrive as UTF-16); nothing when it is
// not well-formed.
std::optional<std::string> argumentUtf8(const std::filesystem::path& argument);

std::optional<std::filesystem::path> currentExecutablePath();

bool standardErrorIsTerminal();

// Whether the folder marks the file as a program: its owner-execute bit on Linux. Windows keeps no
// such bit (a file runs by its extension), so there no file is marked.
bool ownerMayExecute(const std::filesystem::file_status& status);

// Gives the file an execute bit wherever it has a read bit, or takes every execute bit away
// (Linux); nothing on Windows. Throws PackError naming the path and the system's reason.
void setExecutable(const std::filesystem::path& path, bool executable);

// Makes a console show the UTF-8 that the tool prints (Windows); nothing elsewhere.
void prepareConsoleOutput();

// A file opened for reading, closed with the object. Every failure throws PackError naming the
// path and the system's reason.
class InputFile {
 public:
  explicit InputFile(const std::filesystem::path& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  // Up to `capacity` bytes; 0 at the end of the file.
  size_t read(void* buffer, size_t capacity);
  void rewind();

 private:
  std::filesystem::path path_;
  FILE* file_;
};

// A file created anew or truncated, closed with the object (close() reports a failure to flush).
class OutputFile {
 public:
  explicit OutputFile(const std::filesystem::path& path);
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  void write(const void* data, size_t length);
  void close();

 private:
  std::filesystem::path path_;
  FILE* file_;
};

std::vector<uint8_t> readWholeFile(const std::filesystem::path& path);

// A file mapped into memory for reading: the system reads its pages as they are touched and can
// drop them again, so reading an executable of gigabytes takes no memory of the tool's own.
// Throws PackError naming the path and the system's reason.
class MappedFile {
 public:
  explicit MappedFile(const std::filesystem::path& path);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ByteView bytes() const { return ByteView(static_cast<const uint8_t*>(address_), size_); }

 private:
  void* address_ = nullptr;
  size_t size_ = 0;
};

// A scratch file in `directory` that holds a frame too large to keep in memory until its turn
// comes. It has no name on disk from the start (Linux) or goes when closed (Windows), so nothing
// of it is left behind however the tool ends.
class SpillFile {
 public:
  explicit SpillFile(const std::filesystem::path& directory);
  ~SpillFile();
  SpillFile(const SpillFile&) = delete;
  SpillFile& operator=(const SpillFile&) = delete;
  void write(const void* data, size_t length);
  // Back to the start, for reading what was written.
  void rewind();
  size_t read(void* buffer, size_t capacity);
  uint64_t length() const { return length_; }

 private:
  std::filesystem::path directory_;
  FILE* file_;
  uint64_t length_ = 0;
};

// The output written under a temporary name beside the target ("OUT.partial-N") and renamed over
// it by commit(), so the target either keeps its old content or gets the whole new one. The
// temporary file is removed when the object goes without a commit (any error), and by
// SIGINT, SIGTERM or SIGHUP while it exists (installInterruptCleanup).
class PartialOutput {
 public:
  explicit PartialOutput(const std::filesystem::path& target);
  ~PartialOutput();
  PartialOutput(const PartialOutput&) = delete;
  PartialOutput& operator=(const PartialOutput&) = delete;
  void write(const void* data, size_t length);
  // Writes over the first bytes written, once the rest is in place.
  void rewriteStart(const void* data, size_t length);
  // Mode 0755 for a program that Linux runs; nothing on Windows.
  void makeExecutable();
  void commit();
  const std::filesystem::path& temporaryPath() const { return temporary_; }

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  FILE* file_;
  bool committed_ = false;
};

// Signals that end the tool remove the partial output first; a file size limit (SIGXFSZ) becomes
// an ordinary write error, so that it is cleaned up as a full disk is. Call once, early.
void installInterruptCleanup();
