#include "PackerTestSupport.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include <zlib.h>

#include "LittleEndian.h"
#include "PeImage.h"
#include "ResourceTree.h"

namespace fs = std::filesystem;

std::vector<uint8_t> readBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

std::vector<uint8_t> readStubOrSkip() {
  const char* stub = getenv("ONEFILE_STUB");
  if (stub == nullptr || !fs::is_regular_file(stub)) return {};
  return readBytes(stub);
}

namespace {

std::string readAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

CommandResult runCommand(const std::vector<std::string>& arguments) {
  ScratchDirectory scratch;
  const fs::path out_path = scratch.path() / "out";
  const fs::path err_path = scratch.path() / "err";
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  CommandResult result;
  const pid_t child = fork();
  if (child == 0) {
    // Files rather than pipes: nothing to drain while waiting, whatever the amount of output.
    const int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int in = open("/dev/null", O_RDONLY);
    dup2(out, 1);
    dup2(err, 2);
    dup2(in, 0);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child && WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
  result.out = readAll(out_path);
  result.err = readAll(err_path);
  return result;
}

std::string runReadobj(const std::string& option, const std::vector<uint8_t>& image) {
  ScratchDirectory scratch;
  const fs::path file = scratch.path() / "image.exe";
  writeBytes(file, image);
  const CommandResult result = runCommand({"llvm-readobj", option, file.string()});
  if (result.exit_code != 0) throw std::runtime_error("llvm-readobj failed: " + result.err);
  std::string listing;
  size_t start = 0;
  while (start < result.out.size()) {
    size_t end = result.out.find('\n', start);
    if (end == std::string::npos) end = result.out.size();
    const std::string line = result.out.substr(start, end - start);
    if (line.rfind("File: ", 0) != 0) listing += line + "\n";
    start = end + 1;
  }
  return listing;
}

namespace {

std::string afterPrefix(const std::string& text, const std::string& prefix) {
  const size_t at = text.find(prefix);
  return at == std::string::npos ? "" : text.substr(at + prefix.size());
}

}  // namespace

std::map<std::string, std::vector<uint8_t>> resourcesDumpedByReadobj(const std::vector<uint8_t>& image) {
  std::map<std::string, std::vector<uint8_t>> found;
  std::istringstream lines(runReadobj("--coff-resources", image));
  std::string line, type, name, language;
  std::vector<uint8_t>* data = nullptr;
  auto idOf = [](const std::string& text) { return text.substr(0, text.find(')')); };
  while (std::getline(lines, line)) {
    if (!afterPrefix(line, "Type: ").empty()) type = idOf(afterPrefix(line, "(ID "));
    if (!afterPrefix(line, "Name: ").empty()) name = idOf(afterPrefix(line, "(ID "));
    if (!afterPrefix(line, "Language: ").empty()) language = idOf(afterPrefix(line, "(ID "));
    if (line.find("Data (") != std::string::npos) {
      data = &found[type + "/" + name + "/" + language];
    } else if (data != nullptr && line.find(')') != std::string::npos && line.find('|') == std::string::npos) {
      data = nullptr;
    } else if (data != nullptr) {
      // "0010: 52005300 49004F00 ...  |R.S.I.O.|": groups of up to four bytes in hex.
      std::istringstream words(line.substr(line.find(':') + 1, line.find('|') - line.find(':') - 1));
      std::string word;
      while (words >> word) {
        for (size_t i = 0; i + 1 < word.size(); i += 2) data->push_back(static_cast<uint8_t>(std::stoul(word.substr(i, 2), nullptr, 16)));
      }
    }
  }
  return found;
}

std::map<std::string, std::string> versionSeenByWindres(const std::vector<uint8_t>& image) {
  ScratchDirectory scratch;
  writeBytes(scratch.path() / "image.exe", image);
  const CommandResult result = runCommand({"x86_64-w64-mingw32-windres", "-i", (scratch.path() / "image.exe").string(), "-o",
                                           (scratch.path() / "image.rc").string()});
  if (result.exit_code != 0) throw std::runtime_error("windres failed: " + result.err);
  std::map<std::string, std::string> found;
  std::istringstream lines(readAll(scratch.path() / "image.rc"));
  std::string line;
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    const std::string text = line.substr(start);
    for (const char* key : {"FILEVERSION ", "PRODUCTVERSION "}) {
      if (text.rfind(key, 0) == 0) found[std::string(key, strlen(key) - 1)] = text.substr(strlen(key));
    }
    // VALUE "ProductName", "My App"
    if (text.rfind("VALUE \"", 0) == 0 && text.find("\", \"") != std::string::npos) {
      const size_t comma = text.find("\", \"");
      found[text.substr(7, comma - 7)] = text.substr(comma + 4, text.rfind('"') - comma - 4);
    }
  }
  return found;
}

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "onefile-pack-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {

void appendBigEndian(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(value >> shift));
}

void appendChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  appendBigEndian(out, static_cast<uint32_t>(data.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), data.begin(), data.end());
  out.insert(out.end(), typed.begin(), typed.end());
  appendBigEndian(out, static_cast<uint32_t>(crc32(0, typed.data(), static_cast<uInt>(typed.size()))));
}

}  // namespace

std::vector<uint8_t> icoFile(const std::vector<std::vector<uint8_t>>& images, uint8_t side) {
  std::vector<uint8_t> file(6 + 16 * images.size(), 0);
  writeU16(&file[2], 1);
  writeU16(&file[4], static_cast<uint16_t>(images.size()));
  for (size_t i = 0; i < images.size(); ++i) {
    uint8_t* entry = &file[6 + 16 * i];
    entry[0] = entry[1] = side;
    writeU16(entry + 4, 1);
    writeU16(entry + 6, 32);
    writeU32(entry + 8, static_cast<uint32_t>(images[i].size()));
    writeU32(entry + 12, static_cast<uint32_t>(file.size()));
    file.insert(file.end(), images[i].begin(), images[i].end());
  }
  return file;
}

void put(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::filesystem::create_directories(path.parent_path());
  writeBytes(path, bytes);
}

std::vector<uint8_t> payloadResource(const std::vector<uint8_t>& image) {
  const ResourceNode tree = readResourceTree(image, readPeLayout(image));
  const ResourceNode* payload = findResource(tree, kRtRcdata, 27);
  return payload != nullptr ? payload->data : std::vector<uint8_t>{};
}

std::vector<uint8_t> randomBytes(size_t size, uint64_t state) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<uint8_t>(state);
  }
  return bytes;
}

std::vector<uint8_t> tinyPng(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> header;
  appendBigEndian(header, width);
  appendBigEndian(header, height);
  header.insert(header.end(), {8, 6, 0, 0, 0});
  appendChunk(png, "IHDR", header);
  std::vector<uint8_t> rows;
  for (uint32_t y = 0; y < height; ++y) {
    rows.push_back(0);  // no filter
    for (uint32_t x = 0; x < width; ++x) rows.insert(rows.end(), {0x20, 0x60, 0xC0, 0xFF});
  }
  uLongf length = compressBound(static_cast<uLong>(rows.size()));
  std::vector<uint8_t> compressed(length);
  compress(compressed.data(), &length, rows.data(), static_cast<uLong>(rows.size()));
  compressed.resize(length);
  appendChunk(png, "IDAT", compressed);
  appendChunk(png, "IEND", {});
  return png;
}

std::vector<uint8_t> tinyProgram(uint16_t subsystem) {
  std::vector<uint8_t> image(1024, 0);
  auto store = [&](size_t at, uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<uint8_t>(value >> (8 * i));
  };
  image[0] = 'M';
  image[1] = 'Z';
  store(0x3C, 0x40, 4);
  store(0x40, 'P' | ('E' << 8), 4);
  // COFF header: x86-64, one section, a PE32+ optional header of 240 bytes, an executable image
  // for a large address space.
  store(0x44, 0x8664, 2);
  store(0x46, 1, 2);
  store(0x54, 240, 2);
  store(0x56, 0x0022, 2);
  const size_t optional = 0x58;
  store(optional, 0x20B, 2);
  store(optional + 16, 0x1000, 4);         // entry point
  store(optional + 24, 0x140000000, 8);    // image base
  store(optional + 32, 0x1000, 4);         // section alignment
  store(optional + 36, 0x200, 4);          // file alignment
  store(optional + 40, 6, 2);              // operating system version
  store(optional + 48, 6, 2);              // subsystem version
  store(optional + 56, 0x2000, 4);         // size of image
  store(optional + 60, 0x200, 4);          // size of headers
  store(optional + 68, subsystem, 2);
  store(optional + 72, 0x100000, 8);       // stack reserve
  store(optional + 80, 0x1000, 8);         // stack commit
  store(optional + 88, 0x100000, 8);       // heap reserve
  store(optional + 96, 0x1000, 8);         // heap commit
  store(optional + 108, 16, 4);            // data directories
  const size_t section = optional + 240;
  for (size_t i = 0; i < 5; ++i) image[section + i] = static_cast<uint8_t>(".text"[i]);
  store(section + 8, 1, 4);
  store(section + 12, 0x1000, 4);
  store(section + 16, 0x200, 4);
  store(section + 20, 0x200, 4);
  store(section + 36, 0x60000020, 4);
  image[0x200] = 0xC3;  // ret
  return image;
}

std::map<std::string, std::vector<uint8_t>> snapshotTree(const fs::path& directory) {
  std::map<std::string, std::vector<uint8_t>> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(directory)) {
    if (entry.is_regular_file()) files[entry.path().lexically_relative(directory).generic_string()] = readBytes(entry.path());
  }
  return files;
}
