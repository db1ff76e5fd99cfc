#include "PeResourceUpdate.h"

#include <algorithm>
#include <string>

#include "LittleEndian.h"
#include "PackError.h"

namespace {

constexpr uint32_t kPageSize = 4096;
constexpr uint32_t kInitializedData = 0x00000040;
constexpr uint32_t kMemoryRead = 0x40000000;

uint64_t sectionExtent(const PeSection& section) {
  return section.virtual_size != 0 ? section.virtual_size : section.raw_size;
}

bool contains(const PeSection& section, uint32_t rva) {
  return rva >= section.virtual_address && rva - section.virtual_address < std::max<uint64_t>(sectionExtent(section), 1);
}

// A data directory other than `allowed` that points into the section would be left pointing at
// moved or rewritten bytes.
void requireNoOtherDirectoryIn(const std::vector<uint8_t>& image, const PeLayout& layout, const PeSection& section,
                               uint32_t allowed) {
  for (uint32_t index = 0; index < layout.data_directory_count; ++index) {
    if (index == allowed) continue;
    const PeDataDirectory directory = readDataDirectory(image, layout, index);
    if (directory.rva != 0 && contains(section, directory.rva)) {
      throw PackError("data directory " + std::to_string(index) + " lies in section " + section.name +
                      ", which has to be rewritten or moved");
    }
  }
}

void writeSectionHeader(std::vector<uint8_t>& image, size_t at, const PeSection& section) {
  uint8_t* header = &image[at];
  std::fill(header, header + kSectionHeaderSize, 0);
  std::copy(section.name.begin(), section.name.begin() + static_cast<std::ptrdiff_t>(std::min<size_t>(section.name.size(), 8)), header);
  writeU32(header + 8, section.virtual_size);
  writeU32(header + 12, section.virtual_address);
  writeU32(header + 16, section.raw_size);
  writeU32(header + 20, section.raw_pointer);
  writeU32(header + 36, section.characteristics);
}

// The loader takes sizes and offsets as 32-bit values; keep clear of the sign bit as well.
void requireWithinImageLimit(uint64_t address, uint64_t file_offset) {
  if (address > kImageLimit || file_offset > kImageLimit) {
    throw PackError("the packed executable would be larger than 2 GiB, more than a PE image can hold");
  }
}

}  // namespace

ResourcePlacement planResourcePlacement(const std::vector<uint8_t>& image, const PeLayout& layout) {
  const PeDataDirectory certificate = readDataDirectory(image, layout, kCertificateDirectoryIndex);
  if (certificate.rva != 0 || certificate.size != 0) {
    throw PackError(
        "it carries an Authenticode signature, which any change to its resources would break; "
        "pack with an unsigned stub and sign the packed executable afterwards");
  }

  // The resources go after the last section in memory: a directory that points there already
  // would point into them.
  const PeSection& last_section = layout.sections.back();
  const uint64_t image_end = alignUp(last_section.virtual_address + sectionExtent(last_section), layout.section_alignment);
  for (uint32_t index = 0; index < layout.data_directory_count; ++index) {
    if (index == kCertificateDirectoryIndex) continue;  // a file offset, not an address
    const PeDataDirectory directory = readDataDirectory(image, layout, index);
    if (directory.rva != 0 && directory.rva >= image_end) {
      throw PackError("data directory " + std::to_string(index) + " points past the end of its image");
    }
  }

  // The headers are rewritten in place: no section's data may lie among them.
  uint64_t end_of_data = layout.size_of_headers;
  for (const PeSection& section : layout.sections) {
    if (section.raw_size == 0) continue;
    if (section.raw_pointer < layout.size_of_headers) {
      throw PackError("the data of section " + section.name + " begins inside its headers");
    }
    end_of_data = std::max<uint64_t>(end_of_data, section.raw_pointer + static_cast<uint64_t>(section.raw_size));
  }
  if (image.size() > end_of_data) {
    throw PackError("it has " + std::to_string(image.size() - end_of_data) +
                    " bytes after its last section (a symbol table or appended data); strip it first");
  }

  ResourcePlacement placement;
  const size_t count = layout.sections.size();
  const PeDataDirectory resources = readDataDirectory(image, layout, kResourceDirectoryIndex);
  const PeDataDirectory relocations = readDataDirectory(image, layout, kRelocationDirectoryIndex);
  if (resources.rva != 0) {
    for (size_t i = 0; i < count; ++i) {
      if (contains(layout.sections[i], resources.rva)) placement.resource_section = i;
    }
    if (!placement.resource_section || layout.sections[*placement.resource_section].virtual_address != resources.rva) {
      throw PackError("its resource directory does not begin a section of its own");
    }
    requireNoOtherDirectoryIn(image, layout, layout.sections[*placement.resource_section], kResourceDirectoryIndex);
  }

  const size_t first_rewritten = placement.resource_section ? *placement.resource_section : count;
  const PeSection& last = layout.sections.back();
  const bool last_is_relocation = relocations.rva != 0 && contains(last, relocations.rva);
  if (placement.resource_section) {
    const size_t after = count - first_rewritten - 1;
    if (after > 1 || (after == 1 && !last_is_relocation)) {
      throw PackError("its resource section is followed by section " + layout.sections[first_rewritten + 1].name +
                      "; only a relocation section can follow it");
    }
    if (after == 1) placement.relocation_section = count - 1;
  } else {
    if (last_is_relocation && count >= 2) placement.relocation_section = count - 1;
    placement.insert_at = placement.relocation_section ? count - 1 : count;
    const size_t table_end = layout.section_table_offset + (count + 1) * kSectionHeaderSize;
    uint64_t first_data = layout.size_of_headers;
    for (const PeSection& section : layout.sections) {
      if (section.raw_size != 0) first_data = std::min<uint64_t>(first_data, section.raw_pointer);
    }
    if (table_end > first_data) throw PackError("its headers have no room for another section header");
  }
  if (placement.relocation_section) {
    requireNoOtherDirectoryIn(image, layout, layout.sections[*placement.relocation_section], kRelocationDirectoryIndex);
  }

  // Everything kept must lie before the first byte that is rewritten or moved.
  const size_t first_moved = placement.resource_section    ? *placement.resource_section
                             : placement.relocation_section ? *placement.relocation_section
                                                            : count;
  uint64_t cut = end_of_data;
  for (size_t i = first_moved; i < count; ++i) {
    if (layout.sections[i].raw_size != 0) cut = std::min<uint64_t>(cut, layout.sections[i].raw_pointer);
  }
  for (size_t i = 0; i < first_moved; ++i) {
    const PeSection& section = layout.sections[i];
    if (section.raw_size != 0 && section.raw_pointer + static_cast<uint64_t>(section.raw_size) > cut) {
      throw PackError("the data of section " + section.name + " lies after its resource section in the file");
    }
  }
  placement.cut = static_cast<size_t>(cut);
  return placement;
}

std::vector<uint8_t> rebuildWithResources(const std::vector<uint8_t>& image, const PeLayout& layout,
                                          const ResourcePlacement& placement, const ResourceNode& resources) {
  const PeChecksumSum nothing;
  ImagePieces pieces = rebuildAroundStreamed(image, layout, placement, resources, &nothing);
  if (pieces.streamed_length != 0 || !pieces.tail.empty()) throw PackError("a streamed resource cannot be written in place");
  return std::move(pieces.head);
}

ImagePieces rebuildAroundStreamed(const std::vector<uint8_t>& image, const PeLayout& layout,
                                  const ResourcePlacement& placement, const ResourceNode& resources,
                                  const PeChecksumSum* streamed_sum) {
  std::vector<PeSection> sections = layout.sections;
  std::optional<PeSection> relocation;
  uint32_t relocation_rva_delta = 0;
  if (placement.relocation_section) {
    relocation = sections[*placement.relocation_section];
    sections.pop_back();
    relocation_rva_delta = readDataDirectory(image, layout, kRelocationDirectoryIndex).rva - relocation->virtual_address;
  }

  PeSection resource_section;
  uint32_t old_resource_raw = 0;
  uint64_t resource_address = 0;
  if (placement.resource_section) {
    resource_section = sections[*placement.resource_section];
    old_resource_raw = resource_section.raw_size;
    resource_address = resource_section.virtual_address;
    sections.pop_back();
  } else {
    resource_section.name = ".rsrc";
    resource_section.characteristics = kInitializedData | kMemoryRead;
    if (relocation) {
      resource_address = relocation->virtual_address;
    } else {
      const PeSection& last = sections.back();
      resource_address = alignUp(last.virtual_address + sectionExtent(last), layout.section_alignment);
    }
  }
  // Every size and address is checked at 64 bits before it is narrowed to a 32-bit field.
  requireWithinImageLimit(resource_address, placement.cut);
  resource_section.virtual_address = static_cast<uint32_t>(resource_address);

  const uint32_t data_alignment = std::max(kPageSize, layout.file_alignment);
  const uint64_t resource_offset = alignUp(placement.cut, data_alignment);
  ImagePieces pieces;
  std::vector<uint8_t>& output = pieces.head;
  output.assign(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(placement.cut));
  output.resize(static_cast<size_t>(resource_offset), 0);
  std::vector<uint8_t>& tail = pieces.tail;
  const StreamedSection streamed = appendResourceSectionAround(resources, resource_section.virtual_address, output, tail);
  pieces.streamed_length = streamed.streamed_length;
  const uint64_t resource_size = streamed.length;
  // Offsets from here on are in the file; those past the head land in the tail.
  const uint64_t tail_start = output.size() + pieces.streamed_length;
  const bool all_in_head = pieces.streamed_length == 0 && tail.empty();
  auto growTo = [&](uint64_t file_length) {
    if (all_in_head) {
      output.resize(static_cast<size_t>(file_length), 0);
    } else if (file_length > tail_start) {
      tail.resize(static_cast<size_t>(file_length - tail_start), 0);
    }
  };
  const uint64_t resource_raw = alignUp(resource_size, layout.file_alignment);
  uint64_t end_of_file = resource_offset + resource_raw;
  uint64_t image_end = alignUp(resource_address + resource_size, layout.section_alignment);
  PeSection moved_relocation;
  if (relocation) {
    const uint64_t relocation_offset = alignUp(end_of_file, data_alignment);
    requireWithinImageLimit(image_end, relocation_offset);
    moved_relocation = *relocation;
    moved_relocation.virtual_address = static_cast<uint32_t>(image_end);
    moved_relocation.raw_pointer = static_cast<uint32_t>(relocation_offset);
    end_of_file = relocation_offset + moved_relocation.raw_size;
    image_end = alignUp(image_end + sectionExtent(moved_relocation), layout.section_alignment);
  }
  requireWithinImageLimit(image_end, end_of_file);
  resource_section.virtual_size = static_cast<uint32_t>(resource_size);
  resource_section.raw_size = static_cast<uint32_t>(resource_raw);
  resource_section.raw_pointer = static_cast<uint32_t>(resource_offset);
  growTo(resource_offset + resource_raw);
  if (relocation) {
    growTo(moved_relocation.raw_pointer);
    const uint8_t* data = image.data() + relocation->raw_pointer;
    std::vector<uint8_t>& last = all_in_head ? output : tail;
    last.insert(last.end(), data, data + relocation->raw_size);
  }

  // Section headers: the replaced or inserted resource section, then the moved relocation one.
  size_t slot = placement.resource_section ? *placement.resource_section : placement.insert_at;
  resource_section.header_offset = layout.section_table_offset + slot * kSectionHeaderSize;
  writeSectionHeader(output, resource_section.header_offset, resource_section);
  if (relocation) writeSectionHeader(output, layout.section_table_offset + (slot + 1) * kSectionHeaderSize, moved_relocation);
  const size_t section_count = slot + 1 + (relocation ? 1 : 0);
  writeU16(&output[layout.coff_header_offset + 2], static_cast<uint16_t>(section_count));

  uint8_t* optional = &output[layout.optional_header_offset];
  writeU32(optional + kOptionalSizeOfImage, static_cast<uint32_t>(image_end));
  const uint64_t initialized_before = readU32(optional + kOptionalSizeOfInitializedData) + resource_raw;
  const uint64_t initialized = initialized_before > old_resource_raw ? initialized_before - old_resource_raw : 0;
  writeU32(optional + kOptionalSizeOfInitializedData, static_cast<uint32_t>(std::min<uint64_t>(initialized, 0xFFFFFFFF)));
  writeU32(&output[layout.dataDirectoryOffset(kResourceDirectoryIndex)], resource_section.virtual_address);
  writeU32(&output[layout.dataDirectoryOffset(kResourceDirectoryIndex) + 4], resource_section.virtual_size);
  if (relocation) {
    writeU32(&output[layout.dataDirectoryOffset(kRelocationDirectoryIndex)], moved_relocation.virtual_address + relocation_rva_delta);
  }
  if (streamed_sum != nullptr) {
    writeU32(&output[layout.checksumOffset()], 0);
    PeChecksumSum sum;
    sum.add(output.data(), output.size());
    sum.addSum(*streamed_sum);
    if (sum.length() != output.size() + pieces.streamed_length) throw PackError("the streamed resource's sum does not cover its data");
    sum.add(tail.data(), tail.size());
    writeU32(&output[layout.checksumOffset()], sum.finish());
  }
  return pieces;
}
