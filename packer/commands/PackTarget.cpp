#include "PackTarget.h"

const char* targetName(PackTarget target) {
  return target == PackTarget::linuxX86_64 ? "linux-x86_64" : "windows-x86_64";
}

std::optional<PackTarget> targetNamed(const std::string& name) {
  for (PackTarget target : {PackTarget::windowsX86_64, PackTarget::linuxX86_64}) {
    if (name == targetName(target)) return target;
  }
  return std::nullopt;
}

std::optional<PackTarget> targetOfExecutable(ByteView image) {
  if (image.size() >= 4 && image[0] == 0x7F && image[1] == 'E' && image[2] == 'L' && image[3] == 'F') {
    return PackTarget::linuxX86_64;
  }
  if (image.size() >= 2 && image[0] == 'M' && image[1] == 'Z') return PackTarget::windowsX86_64;
  return std::nullopt;
}
