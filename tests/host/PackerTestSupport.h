// Shared by the packer's host tests: the Windows build's launcher stub, a scratch directory, and
// running programs (onefile-pack, llvm-readobj) with their output and exit status.
#pragma once

#include <stdint.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

// The stub that CTest names in ONEFILE_STUB, or nothing when the Windows tree is not built.
std::vector<uint8_t> readStubOrSkip();

std::vector<uint8_t> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);
// writeBytes, making the folders on the way first.
void put(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);

// A packed image's payload resource (RT_RCDATA 27) as embedded; empty when it has none.
std::vector<uint8_t> payloadResource(const std::vector<uint8_t>& image);

// llvm-readobj's listing of the image with the given option, without the line naming the file.
std::string runReadobj(const std::string& option, const std::vector<uint8_t>& image);

// Every resource of the image as llvm-readobj --coff-resources dumps it: "type/name/language"
// (numbers) -> its bytes.
std::map<std::string, std::vector<uint8_t>> resourcesDumpedByReadobj(const std::vector<uint8_t>& image);

// The version resource as windres decompiles it into a resource script: each VALUE "key", "text"
// of its string table, and "FILEVERSION" and "PRODUCTVERSION" as windres writes them ("2, 4, 1, 0").
std::map<std::string, std::string> versionSeenByWindres(const std::vector<uint8_t>& image);

// Bytes that do not compress (xorshift from `state`): the same for the same size and state.
std::vector<uint8_t> randomBytes(size_t size, uint64_t state);

// A valid PNG image of the given size (8-bit RGBA, every pixel the same colour).
std::vector<uint8_t> tinyPng(uint32_t width, uint32_t height);

// An .ico file of the images, one after another, each entry saying `side` for width and height
// (0 stands for 256), 32 bits per pixel.
std::vector<uint8_t> icoFile(const std::vector<std::vector<uint8_t>>& images, uint8_t side = 16);

// The smallest PE32+ executable for x86-64 that the packer reads as a program (never meant to
// run), with the given value in its subsystem field: 2 windowed, 3 console.
std::vector<uint8_t> tinyProgram(uint16_t subsystem);

// Every regular file below the directory: its path relative to it, with "/" between components,
// and its bytes.
std::map<std::string, std::vector<uint8_t>> snapshotTree(const std::filesystem::path& directory);

struct CommandResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell), collecting standard output and standard error.
CommandResult runCommand(const std::vector<std::string>& arguments);

// A fresh directory below the system's temporary directory, removed with the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
