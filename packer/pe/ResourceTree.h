// The resource directory of a PE image as a tree of three levels, the way the loader searches it:
// type, then name, then language, whose leaf holds the bytes. Read from an image, changed, and
// written back as the bytes of a resource section at a given address.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "PeImage.h"

constexpr uint16_t kRtRcdata = 10;
constexpr uint16_t kLanguageNeutral = 0;

struct ResourceKey {
  bool is_name = false;
  uint16_t id = 0;
  std::u16string name;

  static ResourceKey ofId(uint16_t id) {
    ResourceKey key;
    key.id = id;
    return key;
  }
  bool matchesId(uint16_t wanted) const { return !is_name && id == wanted; }
};

struct ResourceNode {
  ResourceKey key;
  bool is_leaf = false;
  // A directory's own header fields, kept as the stub had them.
  uint32_t characteristics = 0;
  uint32_t time_date_stamp = 0;
  uint16_t major_version = 0;
  uint16_t minor_version = 0;
  // Named entries first, in the order they came; then numbered entries in ascending order, which
  // the loader's binary search needs.
  std::vector<ResourceNode> children;
  // A leaf's data and code page.
  std::vector<uint8_t> data;
  uint32_t code_page = 0;
  // A leaf whose bytes are written by the caller, straight to the file: `data` stays empty and
  // the section keeps `streamed_length` bytes for them. At most one leaf of a tree.
  bool streamed = false;
  uint64_t streamed_length = 0;
  // A leaf read from an image: where its data lies in the file.
  size_t image_offset = 0;
  size_t image_length = 0;
};

// The image's resource tree; an empty root when it has none. Throws PackError when the directory
// is damaged: offsets outside the section, data outside the file, nesting deeper than three
// levels, data at the type or name level, tables that overlap or are reached twice, named and
// numbered entries not where the header counts them or numbers out of order, or more entries
// than any real image has.
// Without `copy_data` the leaves keep only where their data lies (image_offset, image_length), for
// a caller that reads a large resource in place.
ResourceNode readResourceTree(ByteView image, const PeLayout& layout, bool copy_data = true);

// Makes `data` the one language (`language`) of resource `type`/`name`, replacing whatever
// languages that resource had; returns its leaf.
ResourceNode& setResource(ResourceNode& root, uint16_t type, uint16_t name, uint16_t language, std::vector<uint8_t> data);

// The first language of resource `type`/`name`, or null.
const ResourceNode* findResource(const ResourceNode& root, uint16_t type, uint16_t name);

// Removes every resource of `type`, whatever its name and language.
void removeResourceType(ResourceNode& root, uint16_t type);

// The first language of the first resource of `type` in directory order (named resources before
// numbered ones), which is the one Explorer takes; null when there is none.
const ResourceNode* firstResourceOfType(const ResourceNode& root, uint16_t type);

// The resource section's bytes for a section that starts at `section_rva`: directory tables,
// data entries, name strings, then the data of every leaf, each 8-byte aligned. The same tree
// always gives the same bytes. Throws PackError when the result would not fit 32-bit offsets.
std::vector<uint8_t> writeResourceSection(const ResourceNode& root, uint32_t section_rva);
// The same bytes appended to `out` in place (no copy of the data); returns their length.
size_t appendResourceSection(const ResourceNode& root, uint32_t section_rva, std::vector<uint8_t>& out);

// The section around a streamed leaf: the bytes before its data are appended to `before`, those
// after it to `after`; the leaf's own bytes are not materialised. Without a streamed leaf
// everything goes to `before`.
struct StreamedSection {
  uint64_t length = 0;           // of the whole section, the streamed bytes included
  uint64_t streamed_offset = 0;  // of the streamed leaf's data in the section
  uint64_t streamed_length = 0;
};
StreamedSection appendResourceSectionAround(const ResourceNode& root, uint32_t section_rva, std::vector<uint8_t>& before,
                                            std::vector<uint8_t>& after);
