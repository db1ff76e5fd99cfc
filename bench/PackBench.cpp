// How fast onefile-pack compresses a large tree, and at what memory cost, by level and number of
// worker threads. Builds a synthetic tree (text-like and random files, about the mix of an
// application folder) under the given directory, then packs it several ways and prints one line
// per run: level, workers, seconds, processor seconds, MiB/s of input, compressed size, peak
// resident memory. Processor seconds above the wall-clock seconds show the workers in parallel.
//
//   pack-bench SCRATCH_DIR [MIB] [LEVEL...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "PackCommand.h"

namespace fs = std::filesystem;

namespace {

uint64_t next(uint64_t& state) {
  state ^= state << 13;
  state ^= state >> 7;
  state ^= state << 17;
  return state;
}

void makeTree(const fs::path& app, uint64_t total_bytes) {
  static const char* const kWords[] = {"launcher", "payload", "window", "frame", "resource", "section",
                                       "checksum", "directory", "module", "import", "export", "table",
                                       "string", "buffer", "thread", "process", "handle", "value"};
  uint64_t state = 0x2545F4914F6CDD1Dull;
  fs::create_directories(app / "lib");
  std::ofstream(app / "main.exe") << "MZ";
  uint64_t written = 0;
  for (int index = 0; written < total_bytes; ++index) {
    const bool text = index % 4 != 3;
    const size_t size = static_cast<size_t>(1 + next(state) % 8) << 20;
    std::string data;
    data.reserve(size);
    while (data.size() < size) {
      if (text) {
        data += kWords[next(state) % (sizeof kWords / sizeof kWords[0])];
        data += (next(state) % 8 == 0) ? '\n' : ' ';
      } else {
        const uint64_t word = next(state);
        data.append(reinterpret_cast<const char*>(&word), 8);
      }
    }
    std::ofstream(app / "lib" / ("part" + std::to_string(index) + (text ? ".txt" : ".bin")), std::ios::binary) << data;
    written += data.size();
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pack-bench SCRATCH_DIR [MIB] [LEVEL...]\n");
    return 2;
  }
  const fs::path scratch = argv[1];
  const uint64_t mib = argc > 2 ? strtoull(argv[2], nullptr, 10) : 256;
  std::vector<int> levels;
  for (int i = 3; i < argc; ++i) levels.push_back(atoi(argv[i]));
  if (levels.empty()) levels = {3, kDefaultLevel, 19};
  const fs::path app = scratch / "app";
  if (!fs::exists(app)) makeTree(app, mib << 20);
  uint64_t input = 0;
  for (const auto& entry : fs::recursive_directory_iterator(app)) {
    if (entry.is_regular_file()) input += entry.file_size();
  }
  printf("input: %.1f MiB\nlevel workers seconds cpu-seconds MiB/s output-MiB peak-RSS-MiB\n", input / 1048576.0);
  fflush(stdout);
  for (int level : levels) {
    for (int workers : {1, 2}) {
      // A child per run, so that its peak memory is its own.
      const pid_t child = fork();
      if (child == 0) {
        PackRequest request;
        request.folder = app;
        request.main = "main.exe";
        request.level = level;
        request.threads = workers;
        request.output = scratch / "packed.exe";
        const auto start = std::chrono::steady_clock::now();
        packApplication(request);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
        printf("%5d %7d %7.2f %11.2f %5.1f %10.1f %12.1f\n", level, workers, seconds, cpu, input / 1048576.0 / seconds,
               fs::file_size(request.output) / 1048576.0, usage.ru_maxrss / 1024.0);
        fflush(stdout);
        _exit(0);
      }
      int status = 0;
      waitpid(child, &status, 0);
    }
  }
  return 0;
}
