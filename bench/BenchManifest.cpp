// bench-manifest: writes the manifest of an application folder that the bench did not generate
// (the app tree, laid out by bench/run from downloaded packages).
//
//   bench-manifest DIR MAIN MANIFEST
//
// MAIN is the program, relative to DIR with "/" between components; its line comes first, then
// every other regular file below DIR in the order of the names.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "TreeManifest.h"

namespace fs = std::filesystem;

namespace {

// The name as the payload and the Windows-side tools write it.
std::string manifestName(const fs::path& relative) {
  std::string name = relative.generic_string();
  std::replace(name.begin(), name.end(), '/', '\\');
  return name;
}

bool readWhole(const fs::path& path, std::string& data) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench-manifest DIR MAIN MANIFEST\n");
    return 64;
  }
  const fs::path root = argv[1];
  const std::string main_name = manifestName(fs::path(argv[2]));
  std::vector<std::string> others;
  bool main_found = false;
  std::error_code error;
  for (fs::recursive_directory_iterator walk(root, error), end; !error && walk != end; walk.increment(error)) {
    if (!walk->is_regular_file()) continue;
    const std::string name = manifestName(fs::relative(walk->path(), root));
    if (name == main_name)
      main_found = true;
    else
      others.push_back(name);
  }
  if (error) {
    std::fprintf(stderr, "bench-manifest: cannot walk %s: %s\n", argv[1], error.message().c_str());
    return 1;
  }
  if (!main_found) {
    std::fprintf(stderr, "bench-manifest: %s has no %s\n", argv[1], argv[2]);
    return 1;
  }
  std::sort(others.begin(), others.end());
  others.insert(others.begin(), main_name);

  std::string manifest;
  for (const std::string& name : others) {
    std::string relative = name;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    std::string data;
    if (!readWhole(root / relative, data)) {
      std::fprintf(stderr, "bench-manifest: cannot read %s\n", relative.c_str());
      return 1;
    }
    manifest += manifestLine(name, data);
  }
  std::ofstream out(argv[3], std::ios::binary);
  out << manifest;
  if (!out.flush()) {
    std::fprintf(stderr, "bench-manifest: cannot write %s\n", argv[3]);
    return 1;
  }
  return 0;
}
