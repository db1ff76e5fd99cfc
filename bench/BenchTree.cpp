// bench-tree: writes one of the bench's application trees and its manifest.
//
//   bench-tree PROFILE MAIN_EXE OUT_DIR MANIFEST
//
// PROFILE is small (about 20 files, 2 MiB), medium (about 1,500 files, 120 MiB), large (about
// 6,000 files, 1 GiB) or text (3,000 small files of code, documents and configuration, 24 MiB: the
// case where files packed apart compress worst). MAIN_EXE becomes the tree's program, "Quorvell.exe" at the top. The
// manifest has one line per file, "size crc name", the program first, names with "\" between
// components, crc under the payload's checksum rule; the Windows-side tools read it.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "TreeContent.h"
#include "TreeManifest.h"

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

struct BigFile {
  const char* name;
  ContentKind kind;
  uint64_t size;
};

struct Profile {
  const char* name;
  int bulk_files;       // besides the program, the big files and the empty file
  uint64_t bulk_bytes;  // shared among the bulk files
  int folders;
  std::vector<BigFile> big;
  bool text_only = false;  // only compressible kinds: code, documents, configuration
};

const Profile kProfiles[] = {
    {"small", 17, 1 * kMiB + 256 * 1024, 4, {{"QuorvellCore.dll", ContentKind::machine, 768 * 1024}}},
    {"medium", 1494, 54 * kMiB, 150,
     {{"data\\assets0.pak", ContentKind::noise, 28 * kMiB},
      {"QuorvellCore.dll", ContentKind::machine, 16 * kMiB},
      {"resources\\video\\intro.bin", ContentKind::noise, 12 * kMiB},
      {"data\\world.db", ContentKind::records, 10 * kMiB}}},
    {"large", 5990, 456 * kMiB, 600,
     {{"data\\assets0.pak", ContentKind::noise, 96 * kMiB},
      {"data\\assets1.pak", ContentKind::noise, 80 * kMiB},
      {"data\\assets2.pak", ContentKind::noise, 64 * kMiB},
      {"data\\assets3.pak", ContentKind::noise, 48 * kMiB},
      {"QuorvellCore.dll", ContentKind::machine, 40 * kMiB},
      {"lib\\QuorvellRender.dll", ContentKind::machine, 30 * kMiB},
      {"lib\\QuorvellAudio.dll", ContentKind::machine, 30 * kMiB},
      {"resources\\video\\intro.bin", ContentKind::noise, 120 * kMiB},
      {"data\\world.db", ContentKind::records, 60 * kMiB}}},
    {"text", 3000, 24 * kMiB, 200, {}, true},
};

struct KindShare {
  ContentKind kind;
  int percent;
  const char* extensions[4];
};

// The mix of a desktop application: code and scripts, documents, configuration, compressed media
// and native libraries.
const KindShare kMix[] = {
    {ContentKind::code, 30, {".py", ".js", ".lua", ".qml"}},
    {ContentKind::prose, 20, {".txt", ".md", ".html", ".po"}},
    {ContentKind::markup, 10, {".json", ".xml", ".ini", ".json"}},
    {ContentKind::noise, 20, {".png", ".ogg", ".jpg", ".woff2"}},
    {ContentKind::machine, 20, {".dll", ".pyd", ".dll", ".bin"}},
};

const char* const kFolderWords[] = {
    "lib", "plugins", "resources", "docs", "scripts", "data", "locale", "themes", "shaders", "fonts",
    "images", "sounds", "core", "ui", "widgets", "tools", "extras", "maps", "models", "common",
    "platform", "net", "audio", "render", "input", "editor", "samples", "icons", "help", "config",
};
constexpr size_t kFolderWordCount = sizeof kFolderWords / sizeof kFolderWords[0];

const char* const kFileWords[] = {
    "main", "util", "helper", "window", "dialog", "loader", "parser", "render", "player", "engine",
    "scene", "camera", "light", "button", "panel", "theme", "font", "sound", "music", "effect",
    "intro", "menu", "config", "session", "network", "client", "server", "cache", "index", "table",
    "record", "history", "bookmark", "account", "profile", "update", "notes", "readme", "changes", "manual",
};
constexpr size_t kFileWordCount = sizeof kFileWords / sizeof kFileWords[0];

// Nested folders, one to four levels deep, each below an earlier one or at the top.
std::vector<std::string> makeFolders(int count, BenchRandom& random) {
  std::vector<std::string> folders;
  std::set<std::string> seen;
  while (static_cast<int>(folders.size()) < count) {
    std::string parent;
    if (!folders.empty() && random.below(4) != 0) parent = folders[random.below(folders.size())] + "\\";
    if (std::count(parent.begin(), parent.end(), '\\') >= 4) continue;
    std::string folder = parent + kFolderWords[random.below(kFolderWordCount)];
    if (random.below(3) == 0) folder += std::to_string(random.below(10));
    if (seen.insert(folder).second) folders.push_back(folder);
  }
  return folders;
}

const KindShare& pickKind(BenchRandom& random, bool text_only) {
  // The first three kinds of the mix are the compressible ones, 60 of the 100.
  int roll = static_cast<int>(random.below(text_only ? 60 : 100));
  for (const KindShare& share : kMix) {
    if (roll < share.percent) return share;
    roll -= share.percent;
  }
  return kMix[0];
}

struct PlannedFile {
  std::string name;
  ContentKind kind;
  uint64_t size;
};

// Sizes spread log-uniformly from 256 bytes to 2 MiB, then scaled so that they add up to the
// profile's bulk: most files are small, a few are large, as in real applications.
std::vector<uint64_t> bulkSizes(const Profile& profile, BenchRandom& random) {
  std::vector<double> weights;
  double total = 0;
  for (int i = 0; i < profile.bulk_files; ++i) {
    weights.push_back(std::exp(std::log(256.0) + random.unit() * (std::log(2.0 * kMiB) - std::log(256.0))));
    total += weights.back();
  }
  std::vector<uint64_t> sizes;
  uint64_t assigned = 0;
  for (int i = 0; i < profile.bulk_files; ++i) {
    const uint64_t size = i + 1 == profile.bulk_files
                              ? profile.bulk_bytes - std::min(assigned, profile.bulk_bytes)
                              : static_cast<uint64_t>(weights[i] / total * static_cast<double>(profile.bulk_bytes));
    sizes.push_back(std::max<uint64_t>(size, 1));
    assigned += sizes.back();
  }
  return sizes;
}

std::vector<PlannedFile> planTree(const Profile& profile) {
  BenchRandom random(hashText(profile.name));
  std::vector<PlannedFile> files;
  std::set<std::string> taken = {"Quorvell.exe"};
  for (const BigFile& big : profile.big) {
    files.push_back({big.name, big.kind, big.size});
    taken.insert(big.name);
  }
  files.push_back({"logs\\.keep", ContentKind::prose, 0});
  taken.insert(files.back().name);
  const std::vector<std::string> folders = makeFolders(profile.folders, random);
  for (uint64_t size : bulkSizes(profile, random)) {
    const KindShare& share = pickKind(random, profile.text_only);
    std::string folder = random.below(20) == 0 ? "" : folders[random.below(folders.size())] + "\\";
    std::string stem = folder + kFileWords[random.below(kFileWordCount)];
    const char* extension = share.extensions[random.below(4)];
    std::string name = stem + extension;
    for (int n = 1; !taken.insert(name).second; ++n) name = stem + "_" + std::to_string(n) + extension;
    files.push_back({name, share.kind, size});
  }
  // The payload lists top-level files first; the order on disk and in the manifest follows it.
  std::stable_sort(files.begin(), files.end(), [](const PlannedFile& a, const PlannedFile& b) {
    return (a.name.find('\\') != std::string::npos) < (b.name.find('\\') != std::string::npos);
  });
  return files;
}

bool writeFile(const fs::path& root, const std::string& name, const std::string& data) {
  std::string relative = name;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const fs::path path = root / relative;
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: bench-tree small|medium|large|text MAIN_EXE OUT_DIR MANIFEST\n");
    return 64;
  }
  const Profile* profile = nullptr;
  for (const Profile& candidate : kProfiles)
    if (candidate.name == std::string(argv[1])) profile = &candidate;
  if (profile == nullptr) {
    std::fprintf(stderr, "bench-tree: unknown profile '%s'\n", argv[1]);
    return 64;
  }
  const fs::path root = argv[3];
  if (fs::exists(root) && !fs::is_empty(root)) {
    std::fprintf(stderr, "bench-tree: %s is not empty\n", argv[3]);
    return 1;
  }
  std::ifstream main_in(argv[2], std::ios::binary);
  const std::string main_exe((std::istreambuf_iterator<char>(main_in)), std::istreambuf_iterator<char>());
  if (main_exe.empty()) {
    std::fprintf(stderr, "bench-tree: cannot read %s\n", argv[2]);
    return 1;
  }

  std::string manifest = manifestLine("Quorvell.exe", main_exe);
  bool ok = writeFile(root, "Quorvell.exe", main_exe);
  uint64_t total = main_exe.size();
  const std::vector<PlannedFile> files = planTree(*profile);
  for (const PlannedFile& file : files) {
    const std::string data = makeContent(file.kind, file.size, hashText(file.name));
    ok = writeFile(root, file.name, data) && ok;
    manifest += manifestLine(file.name, data);
    total += data.size();
  }
  std::ofstream manifest_out(argv[4], std::ios::binary);
  manifest_out << manifest;
  if (!ok || !manifest_out) {
    std::fprintf(stderr, "bench-tree: writing failed\n");
    return 1;
  }
  std::printf("%zu files, %llu bytes\n", files.size() + 1, static_cast<unsigned long long>(total));
  return 0;
}
