#include "PeImage.h"

#include <algorithm>

#include "LittleEndian.h"
#include "PackError.h"

namespace {

constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kPe32PlusMagic = 0x20B;
constexpr uint16_t kExecutableImage = 0x0002;
constexpr uint16_t kDllImage = 0x2000;
constexpr size_t kCoffHeaderSize = 20;
constexpr uint64_t kAddressSpaceEnd = uint64_t{1} << 32;

bool isPowerOfTwo(uint32_t value) { return value != 0 && (value & (value - 1)) == 0; }

std::string hex(uint32_t value) {
  static const char digits[] = "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value & 0xF]);
    value >>= 4;
  } while (value != 0);
  return "0x" + text;
}

std::string sectionName(const uint8_t* bytes) {
  std::string name;
  for (int i = 0; i < 8 && bytes[i] != 0; ++i) name += static_cast<char>(bytes[i]);
  return name;
}

void require(bool condition, const std::string& reason) {
  if (!condition) throw PackError(reason);
}

}  // namespace

PeLayout readPeLayout(ByteView image) {
  const size_t size = image.size();
  require(size >= 64 && image[0] == 'M' && image[1] == 'Z', "no MZ header");
  const uint32_t pe_offset = readU32(&image[0x3C]);
  require(pe_offset <= size && size - pe_offset >= 4 + kCoffHeaderSize, "the PE header lies outside the file");
  require(image[pe_offset] == 'P' && image[pe_offset + 1] == 'E' && image[pe_offset + 2] == 0 && image[pe_offset + 3] == 0,
          "no PE signature");

  PeLayout layout;
  layout.coff_header_offset = pe_offset + 4;
  const uint8_t* coff = &image[layout.coff_header_offset];
  const uint16_t machine = readU16(coff);
  require(machine == kMachineAmd64, "built for machine " + hex(machine) + ", not x86-64");
  const uint16_t section_count = readU16(coff + 2);
  layout.optional_header_size = readU16(coff + 16);
  const uint16_t characteristics = readU16(coff + 18);
  require((characteristics & kExecutableImage) != 0 && (characteristics & kDllImage) == 0,
          "not an executable image (an object file or a DLL)");

  layout.optional_header_offset = layout.coff_header_offset + kCoffHeaderSize;
  require(layout.optional_header_size >= kOptionalDataDirectories &&
              size - layout.optional_header_offset >= layout.optional_header_size,
          "the optional header is too short or lies outside the file");
  const uint8_t* optional = &image[layout.optional_header_offset];
  const uint16_t magic = readU16(optional);
  require(magic == kPe32PlusMagic, "optional header magic " + hex(magic) + " is not PE32+ (0x20b)");
  layout.section_alignment = readU32(optional + 32);
  layout.file_alignment = readU32(optional + 36);
  layout.size_of_headers = readU32(optional + 60);
  layout.data_directory_count = readU32(optional + 108);
  require(isPowerOfTwo(layout.file_alignment) && layout.file_alignment >= 512 && layout.file_alignment <= 65536,
          "file alignment " + std::to_string(layout.file_alignment) + " is not a power of two from 512 to 65536");
  require(isPowerOfTwo(layout.section_alignment) && layout.section_alignment >= 4096 &&
              layout.section_alignment >= layout.file_alignment,
          "section alignment " + std::to_string(layout.section_alignment) + " is not a power of two of at least 4096");
  require(layout.data_directory_count > kRelocationDirectoryIndex && layout.data_directory_count <= 16 &&
              kOptionalDataDirectories + 8 * layout.data_directory_count <= layout.optional_header_size,
          "the optional header has room for " + std::to_string(layout.data_directory_count) +
              " data directories, which is too few or too many");

  layout.section_table_offset = layout.optional_header_offset + layout.optional_header_size;
  require(section_count > 0, "the image has no sections");
  require(layout.size_of_headers <= size, "its headers (SizeOfHeaders " + std::to_string(layout.size_of_headers) +
                                              ") are larger than the file (" + std::to_string(size) + " bytes)");
  require(layout.section_table_offset + section_count * kSectionHeaderSize <= std::min<size_t>(size, layout.size_of_headers),
          "the section table lies outside the headers");
  // The headers take the image's first pages in memory; the loader places no section there.
  uint64_t next_address = alignUp(layout.size_of_headers, layout.section_alignment);
  for (uint16_t i = 0; i < section_count; ++i) {
    PeSection section;
    section.header_offset = layout.section_table_offset + i * kSectionHeaderSize;
    const uint8_t* header = &image[section.header_offset];
    section.name = sectionName(header);
    section.virtual_size = readU32(header + 8);
    section.virtual_address = readU32(header + 12);
    section.raw_size = readU32(header + 16);
    section.raw_pointer = readU32(header + 20);
    section.characteristics = readU32(header + 36);
    require(section.raw_size == 0 || static_cast<uint64_t>(section.raw_pointer) + section.raw_size <= size,
            "the data of section " + section.name + " lies outside the file");
    require(section.virtual_address >= next_address,
            "section " + section.name + (i == 0 ? " lies among the headers in memory" : " overlaps the one before it or is out of address order"));
    const uint32_t extent = section.virtual_size != 0 ? section.virtual_size : section.raw_size;
    next_address = alignUp(static_cast<uint64_t>(section.virtual_address) + extent, layout.section_alignment);
    require(next_address < kAddressSpaceEnd, "section " + section.name + " reaches past the 4 GiB address space of an image");
    layout.sections.push_back(section);
  }
  return layout;
}

PeDataDirectory readDataDirectory(ByteView image, const PeLayout& layout, uint32_t index) {
  PeDataDirectory directory;
  if (index >= layout.data_directory_count) return directory;
  const size_t at = layout.dataDirectoryOffset(index);
  directory.rva = readU32(&image[at]);
  directory.size = readU32(&image[at + 4]);
  return directory;
}

uint32_t fileBackedSize(const PeSection& section) {
  return section.virtual_size != 0 && section.virtual_size < section.raw_size ? section.virtual_size : section.raw_size;
}

std::optional<size_t> fileOffsetOfRva(const PeLayout& layout, uint32_t rva, uint32_t length) {
  for (const PeSection& section : layout.sections) {
    if (rva < section.virtual_address) continue;
    const uint64_t inside = rva - section.virtual_address;
    if (inside + length <= fileBackedSize(section)) return section.raw_pointer + inside;
  }
  return std::nullopt;
}

uint32_t computePeChecksum(const std::vector<uint8_t>& image, size_t checksum_offset) {
  PeChecksumSum sum;
  const size_t field_end = std::min(image.size(), checksum_offset + 4);
  if (checksum_offset >= image.size()) {
    sum.add(image.data(), image.size());
    return sum.finish();
  }
  const uint8_t zero[4] = {0, 0, 0, 0};
  sum.add(image.data(), checksum_offset);
  sum.add(zero, field_end - checksum_offset);
  sum.add(image.data() + field_end, image.size() - field_end);
  return sum.finish();
}

void PeChecksumSum::add(const uint8_t* bytes, size_t length) {
  // Sums of up to 2^31 bytes of at most 255 each cannot overflow 64 bits.
  size_t at = 0;
  if (length_ % 2 != 0 && length != 0) odd_ += bytes[at++];
  uint64_t even = 0, odd = 0;
  for (; at + 1 < length; at += 2) {
    even += bytes[at];
    odd += bytes[at + 1];
  }
  if (at < length) even += bytes[at];
  even_ += even;
  odd_ += odd;
  length_ += length;
}

void PeChecksumSum::addSum(const PeChecksumSum& other) {
  if (length_ % 2 == 0) {
    even_ += other.even_;
    odd_ += other.odd_;
  } else {
    even_ += other.odd_;
    odd_ += other.even_;
  }
  length_ += other.length_;
}

uint32_t PeChecksumSum::finish() const {
  uint64_t sum = even_ + (odd_ << 8);
  while (sum > 0xFFFF) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + length_);
}
