#include "PngCheck.h"

#include <algorithm>

#include "Crc32.h"

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kIhdrLength = 13;

uint32_t readBigEndian(const uint8_t* at) {
  return (static_cast<uint32_t>(at[0]) << 24) | (static_cast<uint32_t>(at[1]) << 16) |
         (static_cast<uint32_t>(at[2]) << 8) | at[3];
}

bool validDepth(uint8_t colour_type, uint8_t depth) {
  switch (colour_type) {
    case 0: return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6: return depth == 8 || depth == 16;
    default: return false;
  }
}

}  // namespace

std::string pngHeaderProblem(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < sizeof kSignature || !std::equal(kSignature, kSignature + sizeof kSignature, bytes.begin())) {
    return "it does not start with the PNG signature";
  }
  const size_t chunk = sizeof kSignature;
  if (bytes.size() < chunk + 8 + kIhdrLength + 4) return "it ends before its IHDR header is complete";
  const uint8_t* header = &bytes[chunk];
  if (readBigEndian(header) != kIhdrLength || std::string(header + 4, header + 8) != "IHDR") {
    return "its first chunk is not a 13-byte IHDR header";
  }
  const uint8_t* fields = header + 8;
  const uint32_t stored_crc = readBigEndian(fields + kIhdrLength);
  if (crc32Update(0, header + 4, 4 + kIhdrLength) != stored_crc) return "the CRC of its IHDR header is wrong";
  const uint32_t width = readBigEndian(fields);
  const uint32_t height = readBigEndian(fields + 4);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return "its width or height is out of range";
  if (!validDepth(fields[9], fields[8])) return "its bit depth and colour type do not go together";
  if (fields[10] != 0 || fields[11] != 0 || fields[12] > 1) return "its compression, filter or interlace method is unknown";
  return "";
}
