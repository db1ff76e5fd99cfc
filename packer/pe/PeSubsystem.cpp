#include "PeSubsystem.h"

#include "LittleEndian.h"

uint16_t readSubsystemField(ByteView image, const PeLayout& layout) {
  return readU16(&image[layout.optional_header_offset + kOptionalSubsystem]);
}

std::optional<Subsystem> launcherSubsystem(uint16_t field) {
  if (field == static_cast<uint16_t>(Subsystem::windowed)) return Subsystem::windowed;
  if (field == static_cast<uint16_t>(Subsystem::console)) return Subsystem::console;
  return std::nullopt;
}

std::string subsystemName(uint16_t field) {
  switch (field) {
    case static_cast<uint16_t>(Subsystem::windowed): return "windowed";
    case static_cast<uint16_t>(Subsystem::console): return "console";
    default: break;
  }
  static const char* const kOtherNames[] = {"unknown", "native", nullptr, nullptr, nullptr, "OS/2 console", nullptr,
                                            "POSIX console", "Windows 9x driver", "Windows CE", "EFI application",
                                            "EFI boot service driver", "EFI runtime driver", "EFI ROM", "Xbox",
                                            nullptr, "Windows boot application"};
  const char* name = field < sizeof kOtherNames / sizeof kOtherNames[0] ? kOtherNames[field] : nullptr;
  return std::to_string(field) + " (" + (name != nullptr ? name : "not a known subsystem") + ")";
}

void writeSubsystem(std::vector<uint8_t>& image, const PeLayout& layout, Subsystem subsystem) {
  writeU16(&image[layout.optional_header_offset + kOptionalSubsystem], static_cast<uint16_t>(subsystem));
  writeU32(&image[layout.checksumOffset()], computePeChecksum(image, layout.checksumOffset()));
}
