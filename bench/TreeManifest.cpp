#include "TreeManifest.h"

#include "Crc32.h"

std::string manifestLine(const std::string& name, const std::string& data) {
  return std::to_string(data.size()) + " " + std::to_string(storedChecksum(crc32Update(0, data.data(), data.size()))) +
         " " + name + "\n";
}
