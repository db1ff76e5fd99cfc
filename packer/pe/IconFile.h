// Icons: an .ico file read for --icon, a program's icon group read for the default icon, and the
// icon group resource written for a packed executable.
//
// An .ico file:
//
//   offset      size  field
//   0           2     reserved, 0
//   2           2     type: 1 icon (2 would be a cursor)
//   4           2     image count n, at least 1
//   6 + 16 i    16    entry i: width, height (0 means 256), colour count, reserved (1 byte each),
//                     planes, bit count (2 bytes each), image bytes (4), image offset in the file (4)
//   ...               the images: each a PNG image or a device-independent bitmap (a
//                     BITMAPINFOHEADER or later header whose height counts the colour and the mask
//                     rows, so twice the icon's)
//
// An icon group resource (RT_GROUP_ICON) has the same 6-byte header; its entries are 14 bytes,
// the last field a 16-bit RT_ICON identifier in place of the 32-bit offset. Each image is an
// RT_ICON resource of its own.
#pragma once

#include <stdint.h>

#include <functional>
#include <vector>

constexpr uint16_t kRtIcon = 3;
constexpr uint16_t kRtGroupIcon = 14;

// Images wider or taller than this are refused: Windows' icon entries cannot describe them.
constexpr uint32_t kLargestIconSide = 256;

struct IconImage {
  uint8_t width = 0;   // as in the entry: 0 stands for 256
  uint8_t height = 0;
  uint8_t color_count = 0;
  uint8_t reserved = 0;
  uint16_t planes = 0;
  uint16_t bit_count = 0;
  std::vector<uint8_t> data;  // the PNG image or the bitmap
};

// Throws PackError with the reason: cut short, not an icon (a cursor included), no images, an
// entry whose image lies outside the file or overlaps the header, entries whose images together
// take more bytes than the file has after its directory (they share bytes), an empty image, an
// image that is neither PNG nor a bitmap, or one larger than 256x256.
std::vector<IconImage> readIconFile(const std::vector<uint8_t>& bytes);

// The images an icon group resource names, each looked up by its RT_ICON identifier (`image_by_id`
// gives null for a missing one). Throws PackError when the group is cut short, is not an icon
// group, is empty, names an image that is not there, or names one image twice. The images themselves are taken as they
// are: the program already carries them.
std::vector<IconImage> readIconGroup(const std::vector<uint8_t>& group,
                                     const std::function<const std::vector<uint8_t>*(uint16_t)>& image_by_id);

// The icon group resource for images that become RT_ICON first_id, first_id + 1, ...
std::vector<uint8_t> iconGroupResource(const std::vector<IconImage>& images, uint16_t first_id);
