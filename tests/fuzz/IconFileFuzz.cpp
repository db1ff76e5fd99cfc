// Fuzz target: any bytes as the .ico file of `pack --icon`, and the same bytes as the icon group
// resource of a main program (whose RT_ICON images are a fixed few, below). Each reader refuses
// with a PackError or gives images that the packer can write: the icon group written for them
// names every image with its size, and reading that group back gives the same entries and the same
// image bytes. Anything else, a crash or a sanitizer report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>

#include <vector>

#include "IconFile.h"
#include "LittleEndian.h"
#include "PackError.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "icon-file: %s\n", what);
  abort();
}

// The main program's RT_ICON resources: 1 a bitmap, 2 a PNG signature, 3 empty; no others.
const std::vector<uint8_t>* programIcon(uint16_t id) {
  static const std::vector<std::vector<uint8_t>> kIcons = {
      {40, 0, 0, 0, 16, 0, 0, 0, 32, 0, 0, 0, 1, 0, 32, 0},
      {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
      {},
  };
  return id >= 1 && id <= kIcons.size() ? &kIcons[id - 1] : nullptr;
}

bool sameEntry(const IconImage& a, const IconImage& b) {
  return a.width == b.width && a.height == b.height && a.color_count == b.color_count && a.reserved == b.reserved &&
         a.planes == b.planes && a.bit_count == b.bit_count && a.data == b.data;
}

// The packer writes the images as RT_ICON 1..n and a group naming them.
void requireGroupReadsBack(const std::vector<IconImage>& images) {
  const std::vector<uint8_t> group = iconGroupResource(images, 1);
  for (size_t i = 0; i < images.size(); ++i) {
    require(readU32(&group[6 + 14 * i + 8]) == images[i].data.size(), "the group gives an image the wrong size");
  }
  std::vector<IconImage> reread;
  try {
    reread = readIconGroup(group, [&images](uint16_t id) {
      return id >= 1 && id <= images.size() ? &images[id - 1].data : nullptr;
    });
  } catch (const PackError& error) {
    fprintf(stderr, "icon-file: the group written is refused: %s\n", error.what());
    abort();
  }
  require(reread.size() == images.size(), "the group written names another number of images");
  for (size_t i = 0; i < images.size(); ++i) require(sameEntry(reread[i], images[i]), "the group written reads back changed");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    const std::vector<IconImage> images = readIconFile(bytes);
    require(!images.empty(), "an icon file without images is accepted");
    requireGroupReadsBack(images);
  } catch (const PackError&) {
  }
  try {
    requireGroupReadsBack(readIconGroup(bytes, programIcon));
  } catch (const PackError&) {
  }
  return 0;
}
