#include "AppendedParts.h"

#include "PackError.h"

AppendedParts appendedPartsOf(ByteView image, const std::string& shown) {
  AppendedTrailer trailer{};
  const uint8_t* last = image.size() >= kAppendedTrailerLength ? image.end() - kAppendedTrailerLength : nullptr;
  switch (readAppendedTrailer(last, image.size(), trailer)) {
    case TrailerStatus::valid: break;
    case TrailerStatus::missing:
      throw PackError(shown + " is a Linux executable without a packed application (no trailer at its end)");
    case TrailerStatus::newerLayout:
      throw PackError(shown + " was packed in a later layout of the appended data than this tool reads");
    case TrailerStatus::outOfBounds:
      throw PackError(shown + ": its trailer names regions outside the file or out of order: the file is damaged");
  }
  const auto view = [&](const AppendedRegion& region) {
    return ByteView(image.data() + region.offset, static_cast<size_t>(region.length));
  };
  return {view(trailer.settings), view(trailer.payload), view(trailer.modes)};
}

std::vector<uint8_t> modeBits(const std::vector<bool>& executable) {
  std::vector<uint8_t> bits((executable.size() + 7) / 8);
  for (size_t index = 0; index < executable.size(); ++index) {
    if (executable[index]) bits[index / 8] = static_cast<uint8_t>(bits[index / 8] | 1u << (index % 8));
  }
  return bits;
}

bool isMarkedExecutable(const AppendedParts& parts, uint64_t index) {
  return isExecutableEntry(parts.modes.data(), parts.modes.size(), index);
}
