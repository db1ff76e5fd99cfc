#include "ElfStub.h"

#include "LittleEndian.h"

namespace {

constexpr size_t kElfHeaderLength = 64;
constexpr uint8_t kElfClass64 = 2;
constexpr uint8_t kElfLittleEndian = 1;
constexpr uint16_t kElfExecutable = 2;
constexpr uint16_t kElfSharedObject = 3;  // what a position-independent executable is
constexpr uint16_t kElfMachineX86_64 = 62;

}  // namespace

std::string elfStubProblem(ByteView image) {
  if (image.size() < 4 || image[0] != 0x7F || image[1] != 'E' || image[2] != 'L' || image[3] != 'F') {
    return "it does not begin with the ELF signature";
  }
  if (image.size() < kElfHeaderLength) return "its ELF header is cut short";
  if (image[4] != kElfClass64 || image[5] != kElfLittleEndian) return "it is not a 64-bit little-endian ELF file";
  const uint16_t type = readU16(image.data() + 16);
  if (type != kElfExecutable && type != kElfSharedObject) return "it is an ELF file but no executable";
  if (readU16(image.data() + 18) != kElfMachineX86_64) return "it is for another machine than x86-64";
  return "";
}
