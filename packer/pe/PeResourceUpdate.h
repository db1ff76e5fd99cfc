// Gives a PE image a new resource section while keeping everything else the loader relies on:
// the sections before it stay byte for byte where they were, a relocation section after it moves
// up, and the headers (section table, data directories, image size, checksum) are brought in
// line. The resource section starts on a 4096-byte boundary in the file, so the loader maps it
// (and the payload in it) instead of reading it into private memory.
#pragma once

#include <stdint.h>

#include <optional>
#include <vector>

#include "ImageLimit.h"
#include "PeImage.h"
#include "ResourceTree.h"

struct ResourcePlacement {
  std::optional<size_t> resource_section;    // index of the section to replace; none: insert one
  std::optional<size_t> relocation_section;  // index of the relocation section that moves after it
  size_t insert_at = 0;                      // where a new section header goes
  size_t cut = 0;                            // file bytes before this offset are kept unchanged
};

// Checks that the image can take new resources and says where they go. Throws PackError with the
// reason: an Authenticode signature, data after the last section, sections after the resource
// section other than the relocation section, or no room for another section header.
ResourcePlacement planResourcePlacement(const std::vector<uint8_t>& image, const PeLayout& layout);

// The image with `resources` as its whole resource directory.
std::vector<uint8_t> rebuildWithResources(const std::vector<uint8_t>& image, const PeLayout& layout,
                                          const ResourcePlacement& placement, const ResourceNode& resources);

// The same image around the data of a streamed leaf (ResourceNode::streamed), which the caller
// writes to the file itself: `head` is every byte before it, `tail` every byte after it. The
// checksum field needs the streamed bytes' sum (from file offset head.size()); without it (a plan
// made before the data exists) the field is left zero.
struct ImagePieces {
  std::vector<uint8_t> head;
  uint64_t streamed_length = 0;
  std::vector<uint8_t> tail;
  uint64_t fileLength() const { return head.size() + streamed_length + tail.size(); }
};
ImagePieces rebuildAroundStreamed(const std::vector<uint8_t>& image, const PeLayout& layout,
                                  const ResourcePlacement& placement, const ResourceNode& resources,
                                  const PeChecksumSum* streamed_sum);

