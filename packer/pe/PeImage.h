// The headers of a PE32+ executable for x86-64, read from its bytes and checked far enough that
// the resource code can rely on them: where the section table and the data directories lie, and
// where every section's bytes are in the file.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "ByteView.h"

constexpr size_t kSectionHeaderSize = 40;
constexpr uint32_t kResourceDirectoryIndex = 2;
constexpr uint32_t kCertificateDirectoryIndex = 4;
constexpr uint32_t kRelocationDirectoryIndex = 5;

// Offsets inside the PE32+ optional header.
constexpr size_t kOptionalSizeOfInitializedData = 8;
constexpr size_t kOptionalSizeOfImage = 56;
constexpr size_t kOptionalCheckSum = 64;
constexpr size_t kOptionalDataDirectories = 112;

struct PeSection {
  std::string name;  // up to eight bytes, for messages
  uint32_t virtual_size = 0;
  uint32_t virtual_address = 0;
  uint32_t raw_size = 0;
  uint32_t raw_pointer = 0;
  uint32_t characteristics = 0;
  size_t header_offset = 0;  // of its 40-byte header in the file
};

struct PeDataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

struct PeLayout {
  size_t coff_header_offset = 0;  // just after "PE\0\0"
  size_t optional_header_offset = 0;
  size_t optional_header_size = 0;
  size_t section_table_offset = 0;
  uint32_t file_alignment = 0;
  uint32_t section_alignment = 0;
  uint32_t size_of_headers = 0;
  uint32_t data_directory_count = 0;
  std::vector<PeSection> sections;  // in file header order, which is ascending address order

  size_t checksumOffset() const { return optional_header_offset + kOptionalCheckSum; }
  size_t dataDirectoryOffset(uint32_t index) const { return optional_header_offset + kOptionalDataDirectories + 8 * index; }
};

// Reads and checks the headers. Throws PackError with the reason when the bytes are not a
// well-formed PE32+ executable image for x86-64 (a DLL counts as not executable).
PeLayout readPeLayout(ByteView image);

PeDataDirectory readDataDirectory(ByteView image, const PeLayout& layout, uint32_t index);

// How many bytes from the start of the section's data in the file are the section's in memory:
// its raw size, or its virtual size where that is smaller (the rest of the raw data is padding,
// and its addresses may belong to the next section).
uint32_t fileBackedSize(const PeSection& section);

// File offset of the bytes [rva, rva + length), when they lie wholly within one section's data in
// the file (within its file-backed size).
std::optional<size_t> fileOffsetOfRva(const PeLayout& layout, uint32_t rva, uint32_t length);

// The image checksum as the Windows loader and imagehlp compute it: 16-bit one's-complement sum
// of the file with the checksum field taken as zero, plus the file length.
uint32_t computePeChecksum(const std::vector<uint8_t>& image, size_t checksum_offset);

// The same sum over a file that is written in pieces, so that a payload streamed to disk need not
// be held to be summed. The pieces come in file order; the checksum field must be zero in them.
// The sum of 16-bit words wraps around at 16 bits, so words can be added in any grouping.
class PeChecksumSum {
 public:
  void add(const uint8_t* bytes, size_t length);
  // Another sum's pieces, as if they had been added here at this point.
  void addSum(const PeChecksumSum& other);
  uint64_t length() const { return length_; }
  uint32_t finish() const;

 private:
  uint64_t even_ = 0;  // bytes at even file offsets: low halves of the words
  uint64_t odd_ = 0;   // bytes at odd offsets: high halves
  uint64_t length_ = 0;
};
