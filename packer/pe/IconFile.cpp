#include "IconFile.h"

#include <algorithm>
#include <string>

#include "LittleEndian.h"
#include "PackError.h"
#include "PngCheck.h"

namespace {

constexpr size_t kHeaderSize = 6;
constexpr size_t kFileEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;
constexpr size_t kBitmapInfoHeaderSize = 40;

std::string imageName(size_t index) { return "image " + std::to_string(index + 1); }

void readHeader(const std::vector<uint8_t>& bytes, size_t entry_size, const char* what, size_t* count) {
  if (bytes.size() < kHeaderSize) {
    throw PackError("it is cut short: " + std::to_string(bytes.size()) + " bytes, less than the 6-byte header of " + what);
  }
  const uint16_t type = readU16(&bytes[2]);
  if (readU16(&bytes[0]) != 0 || type != kIconType) {
    throw PackError(type == kCursorType ? "it is a cursor, not an icon" : std::string("it does not begin with the header of ") + what);
  }
  *count = readU16(&bytes[4]);
  if (*count == 0) throw PackError("it holds no images");
  const size_t directory = kHeaderSize + *count * entry_size;
  if (bytes.size() < directory) {
    throw PackError("it is cut short: its " + std::to_string(*count) + " entries need " + std::to_string(directory) +
                    " bytes, it has " + std::to_string(bytes.size()));
  }
}

IconImage entryFields(const uint8_t* entry) {
  IconImage image;
  image.width = entry[0];
  image.height = entry[1];
  image.color_count = entry[2];
  image.reserved = entry[3];
  image.planes = readU16(entry + 4);
  image.bit_count = readU16(entry + 6);
  return image;
}

int32_t readI32(const uint8_t* at) { return static_cast<int32_t>(readU32(at)); }

uint32_t readU32BigEndian(const uint8_t* at) {
  return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) | (static_cast<uint32_t>(at[2]) << 8) | at[3];
}

// Refuses an image that no icon entry can describe, with the reason.
void checkImage(const std::vector<uint8_t>& data, size_t index) {
  static const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  int64_t width = 0;
  int64_t height = 0;
  if (data.size() >= 8 && std::equal(kPngSignature, kPngSignature + 8, data.begin())) {
    const std::string problem = pngHeaderProblem(data);
    if (!problem.empty()) throw PackError(imageName(index) + " is a damaged PNG image: " + problem);
    width = readU32BigEndian(&data[16]);
    height = readU32BigEndian(&data[20]);
  } else if (data.size() >= kBitmapInfoHeaderSize && readU32(&data[0]) >= kBitmapInfoHeaderSize && readU32(&data[0]) <= data.size()) {
    width = readI32(&data[4]);
    // The bitmap holds the colour rows and the mask rows.
    height = readI32(&data[8]) / 2;
    if (width <= 0 || height <= 0) throw PackError(imageName(index) + " is a bitmap without width or height");
  } else {
    throw PackError(imageName(index) + " is neither a PNG image nor a bitmap");
  }
  if (width > kLargestIconSide || height > kLargestIconSide) {
    throw PackError(imageName(index) + " is " + std::to_string(width) + "x" + std::to_string(height) +
                    ", larger than the 256x256 an icon can hold");
  }
}

}  // namespace

std::vector<IconImage> readIconFile(const std::vector<uint8_t>& bytes) {
  size_t count = 0;
  readHeader(bytes, kFileEntrySize, "an icon file", &count);
  const size_t directory_end = kHeaderSize + count * kFileEntrySize;
  auto entryAt = [&bytes](size_t i) { return &bytes[kHeaderSize + i * kFileEntrySize]; };
  uint64_t total = 0;
  for (size_t i = 0; i < count; ++i) {
    const uint64_t size = readU32(entryAt(i) + 8);
    const uint64_t offset = readU32(entryAt(i) + 12);
    if (size == 0) throw PackError(imageName(i) + " is empty");
    if (offset + size > bytes.size()) {
      throw PackError(imageName(i) + " (bytes " + std::to_string(offset) + " to " + std::to_string(offset + size) +
                      ") lies outside the file of " + std::to_string(bytes.size()) + " bytes");
    }
    if (offset < directory_end) throw PackError(imageName(i) + " overlaps the icon directory");
    total += size;
  }
  // Entries that share their bytes would each be copied: a file of a few megabytes could make
  // the packer copy terabytes.
  if (total > bytes.size() - directory_end) {
    throw PackError("its entries share image bytes: their images take " + std::to_string(total) + " bytes, the file holds " +
                    std::to_string(bytes.size() - directory_end) + " after its directory");
  }
  std::vector<IconImage> images;
  for (size_t i = 0; i < count; ++i) {
    IconImage image = entryFields(entryAt(i));
    const size_t size = readU32(entryAt(i) + 8);
    const size_t offset = readU32(entryAt(i) + 12);
    image.data.assign(bytes.begin() + static_cast<std::ptrdiff_t>(offset), bytes.begin() + static_cast<std::ptrdiff_t>(offset + size));
    checkImage(image.data, i);
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<IconImage> readIconGroup(const std::vector<uint8_t>& group,
                                     const std::function<const std::vector<uint8_t>*(uint16_t)>& image_by_id) {
  size_t count = 0;
  readHeader(group, kGroupEntrySize, "an icon group", &count);
  std::vector<IconImage> images;
  // An icon named again would be copied again: a group of 65535 entries naming one large icon
  // would make the packer copy it as often.
  std::vector<bool> named(0x10000, false);
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = &group[kHeaderSize + i * kGroupEntrySize];
    IconImage image = entryFields(entry);
    const uint16_t id = readU16(entry + 12);
    if (named[id]) throw PackError(imageName(i) + " is icon " + std::to_string(id) + " again");
    named[id] = true;
    const std::vector<uint8_t>* data = image_by_id(id);
    if (data == nullptr) throw PackError(imageName(i) + " is icon " + std::to_string(id) + ", which is not there");
    if (data->empty()) throw PackError(imageName(i) + " (icon " + std::to_string(id) + ") is empty");
    image.data = *data;
    images.push_back(std::move(image));
  }
  return images;
}

std::vector<uint8_t> iconGroupResource(const std::vector<IconImage>& images, uint16_t first_id) {
  std::vector<uint8_t> group(kHeaderSize + images.size() * kGroupEntrySize, 0);
  writeU16(&group[2], kIconType);
  writeU16(&group[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    uint8_t* entry = &group[kHeaderSize + i * kGroupEntrySize];
    const IconImage& image = images[i];
    entry[0] = image.width;
    entry[1] = image.height;
    entry[2] = image.color_count;
    entry[3] = image.reserved;
    writeU16(entry + 4, image.planes);
    writeU16(entry + 6, image.bit_count);
    writeU32(entry + 8, static_cast<uint32_t>(image.data.size()));
    writeU16(entry + 12, static_cast<uint16_t>(first_id + i));
  }
  return group;
}
