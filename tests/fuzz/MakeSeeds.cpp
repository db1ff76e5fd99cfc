// Writes the seed inputs of the payload corpus: small valid payloads and the faults the reader must
// refuse. Run once by scripts/fuzz when the corpus is empty; its output is committed.
#include <fstream>
#include <string>
#include <vector>

#include "PayloadWriter.h"

namespace {
void save(const std::string& directory, const std::string& name, const std::string& bytes) {
  std::ofstream(directory + "/" + name, std::ios::binary) << bytes;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  const std::string directory = argv[1];
  const std::vector<PayloadFile> files = {
      {u"Quorvell.exe", std::string(300, 'M')}, {u"empty.txt", ""}, {u"lib\\a.dll", std::string(40000, 'x') + "tail"}};
  const std::string valid = buildPayloadResource(files.data(), files.size());
  save(directory, "valid-three-files", valid);
  save(directory, "end-marker-only", buildPayloadResource(nullptr, 0));
  save(directory, "cut-short", valid.substr(0, valid.size() / 2));
  save(directory, "header-only", "QOV");
  PayloadFile unsafe = {u"..\\evil.exe", "x"};
  save(directory, "unsafe-name", buildPayloadResource(&unsafe, 1));
  return 0;
}
