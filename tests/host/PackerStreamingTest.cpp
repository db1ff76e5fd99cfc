// onefile-pack as a streaming, multi-threaded writer: the payload it streams is byte for byte what
// the in-memory PayloadWriter makes, whatever the number of threads; a payload too large for an
// image is refused before a file is read; and a pack that fails halfway (a file gone, a full disk)
// leaves neither the output nor a temporary file.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>

#include "AppFolder.h"
#include "CommandLine.h"
#include "ImageLimit.h"
#include "JobCompressor.h"
#include "PackCommand.h"
#include "PackError.h"
#include "PackerTestSupport.h"
#include "PayloadPlan.h"
#include "PayloadWriter.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PeSubsystem.h"
#include "ProgressLine.h"
#include "ResourceTree.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

const std::string kTool = getenv("ONEFILE_PACK") != nullptr ? getenv("ONEFILE_PACK") : "onefile-pack";

Bytes words(size_t size, uint64_t state) {
  Bytes text;
  while (text.size() < size) {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    const std::string word = "word" + std::to_string((state >> 33) % 3000) + ((state >> 20) % 9 == 0 ? "\n" : " ");
    text.insert(text.end(), word.begin(), word.end());
  }
  text.resize(size);
  return text;
}

// Whatever a directory holds besides the application folder: after a failed pack, nothing.
std::vector<std::string> leftBeside(const fs::path& directory, const fs::path& app) {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(directory)) {
    if (entry.path() != app) names.push_back(entry.path().filename().string());
  }
  return names;
}

class Streaming : public testing::Test {
 protected:
  void SetUp() override {
    if (readStubOrSkip().empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
    stub = getenv("ONEFILE_STUB");
    app = scratch.path() / "app";
    put(app / "main.exe", tinyProgram(2));
  }
  PackRequest request(const std::string& output, int threads = 2) const {
    PackRequest r;
    r.folder = app;
    r.main = "main.exe";
    r.stub = fs::path(stub);
    r.level = 1;
    r.threads = threads;
    r.output = scratch.path() / output;
    return r;
  }

  ScratchDirectory scratch;
  std::string stub;
  fs::path app;
};

// Every kind of job the plan makes: groups cut by their data (more than 8 MiB of small files) and
// by their index (600 long names are more than 64 KiB of records), an empty file, a file over
// 1 MiB in a group of its own, and one whose frame outgrows the memory a waiting job may hold and
// goes through a spill file.
TEST_F(Streaming, TheStreamedPayloadIsTheInMemoryWritersBytesInEveryLayout) {
  put(app / "empty.dat", {});
  for (int i = 0; i < 600; ++i) put(app / "names" / (std::string(96, 'n') + std::to_string(i)), words(40, i));
  for (int i = 0; i < 12; ++i) put(app / "small" / ("part" + std::to_string(i) + ".txt"), words(900 << 10, i));
  put(app / "lib" / "medium.bin", words(3 << 20, 99));
  put(app / "lib" / "large.bin", randomBytes(kPieceMemoryLimit + (1 << 20), 7));
  std::vector<PayloadFile> files;
  for (const AppFile& file : collectAppFiles(app, "main.exe")) {
    const Bytes bytes = readBytes(file.path);
    files.push_back({file.name, std::string(bytes.begin(), bytes.end())});
  }
  const struct {
    const char* name;
    PayloadLayout layout;
  } layouts[] = {{"grouped", PayloadLayout::grouped}, {"single", PayloadLayout::singleFrame}, {"per-file", PayloadLayout::perFile}};
  for (const auto& layout : layouts) {
    SCOPED_TRACE(layout.name);
    PackRequest r = request("streamed.exe", 3);
    r.layout = layout.layout;
    packApplication(r);
    const std::string expected = buildPayloadResource(files.data(), files.size(), 1, 1, layout.layout);
    const Bytes packed = readBytes(r.output);
    const Bytes streamed = payloadResource(packed);
    EXPECT_TRUE(streamed == Bytes(expected.begin(), expected.end())) << streamed.size() << " against " << expected.size();
    std::vector<PlannedFile> planned;
    for (const PayloadFile& file : files) planned.push_back({file.name, file.data.size()});
    EXPECT_LE(streamed.size(), planPayload(planned, layout.layout).resource_bound);
    // The image around the streamed payload (headers, resource directory, checksum) is the one
    // built in memory from the same resources.
    Bytes stub_image = readBytes(stub);
    const PeLayout stub_layout = readPeLayout(stub_image);
    writeSubsystem(stub_image, stub_layout, Subsystem::windowed);
    const Bytes rebuilt = rebuildWithResources(stub_image, stub_layout, planResourcePlacement(stub_image, stub_layout),
                                               readResourceTree(packed, readPeLayout(packed)));
    EXPECT_TRUE(rebuilt == packed);
  }
}

// The bench's medium tree (about 1,500 files and 120 MiB, with files that take several of zstd's
// jobs and spill files) packed with 1, 2 and 3 threads: the threads finish their jobs in any
// order, and the bytes must not show it.
TEST_F(Streaming, TheMediumTreePacksToTheSameBytesOnOneTwoAndThreeThreads) {
  const char* bench_tree = getenv("ONEFILE_BENCH_TREE");
  if (bench_tree == nullptr) GTEST_SKIP() << "bench-tree is not built";
  fs::remove_all(app);
  const CommandResult tree = runCommand({bench_tree, "medium", stub, app.string(), (scratch.path() / "manifest.txt").string()});
  ASSERT_EQ(tree.exit_code, 0) << tree.err;
  Bytes first;
  for (int threads : {1, 2, 3}) {
    SCOPED_TRACE(threads);
    PackRequest r = request("medium.exe", threads);
    r.main = "Quorvell.exe";
    r.level = 3;
    packApplication(r);
    const Bytes packed = readBytes(r.output);
    if (first.empty()) {
      first = packed;
    } else {
      EXPECT_TRUE(packed == first);
    }
  }
}

TEST_F(Streaming, APayloadThatCouldPassTheImageLimitIsRefusedBeforeAFileIsRead) {
  // Sparse: three files of 768 MiB cost no disk, and none of them is ever read.
  for (const char* name : {"a.pak", "b.pak", "c.pak"}) {
    std::ofstream(app / name).close();
    fs::resize_file(app / name, 768ull << 20);
  }
  PackRequest r = request("huge.exe");
  std::atomic<int> reads{0};
  r.before_read = [&](const AppFile&) { reads += 1; };
  try {
    packApplication(r);
    ADD_FAILURE() << "packed";
  } catch (const PackError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("the payload can take up to "), std::string::npos) << message;
    EXPECT_NE(message.find(" bytes and the rest of the executable "), std::string::npos) << message;
    EXPECT_NE(message.find("2147483647 bytes Windows loads as one executable image"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
  }
  EXPECT_EQ(reads, 0);
  EXPECT_TRUE(leftBeside(scratch.path(), app).empty());
}

TEST(ImageLimit, TheExecutableWithTheLargestPayloadMustStayBelowTwoGiB) {
  const struct {
    uint64_t rest, payload, padding;
    bool fits;
  } cases[] = {
      {300000, 1000000000, 8192, true},
      {300000, kImageLimit - 300000 - 8192, 8192, true},  // exactly at the limit
      {300000, kImageLimit - 300000 - 8192 + 1, 8192, false},
      {0, kImageLimit + 1, 0, false},
      {0, UINT64_MAX, 0, false},  // no wrap-around
      {UINT64_MAX - 10, 5, 5, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.rest) + " + " + std::to_string(c.payload));
    const std::string problem = imageLimitProblem(c.rest, c.payload, c.padding);
    EXPECT_EQ(problem.empty(), c.fits) << problem;
    if (!c.fits) {
      EXPECT_NE(problem.find(std::to_string(c.payload) + " bytes"), std::string::npos) << problem;
      EXPECT_NE(problem.find(std::to_string(c.rest) + " bytes"), std::string::npos) << problem;
    }
  }
}

// The file goes while the thread that packs its group is reading the one before it: however the
// threads share the work, it is missed when its turn comes.
TEST_F(Streaming, AFileThatVanishesMidPackLeavesNoOutputAndNoTemporaryFile) {
  for (int i = 0; i < 40; ++i) put(app / "data" / ("f" + std::to_string(i) + ".bin"), words(600 << 10, i));
  fs::create_directories(scratch.path() / "out");
  PackRequest r = request("out/app.exe");
  // In payload order "f1.bin" comes before "f10.bin" and "f11.bin", all in the first group.
  r.before_read = [&](const AppFile& file) {
    if (file.name == u"data\\f1.bin") fs::remove(app / "data" / "f11.bin");
  };
  try {
    packApplication(r);
    ADD_FAILURE() << "packed";
  } catch (const PackError& error) {
    EXPECT_NE(std::string(error.what()).find("f11.bin"), std::string::npos) << error.what();
  }
  EXPECT_TRUE(fs::is_empty(scratch.path() / "out"));
}

// A full disk as a file size limit (what a CI job can set without root): the write fails with
// EFBIG instead of the signal ending the tool where it stands.
TEST_F(Streaming, AFullDiskLeavesNoOutputAndNoTemporaryFile) {
  put(app / "data.bin", randomBytes(8 << 20, 3));
  fs::create_directories(scratch.path() / "out");
  const std::string output = (scratch.path() / "out" / "app.exe").string();
  const CommandResult result = runCommand({"/bin/sh", "-c", "ulimit -f 2048 && exec \"$0\" \"$@\"", kTool, "pack",
                                           app.string(), "--main", "main.exe", "--stub", stub, "-o", output});
  EXPECT_EQ(result.exit_code, 1) << result.err;
  EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
  EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
  EXPECT_TRUE(fs::is_empty(scratch.path() / "out"));
}

// Ctrl-C (SIGINT) once the partial output exists: the tool removes it and ends by the signal.
TEST_F(Streaming, AnInterruptedPackLeavesNoOutputAndNoTemporaryFile) {
  // Slow enough at level 19 on one thread that the pack is still running when it is interrupted.
  put(app / "text.txt", words(32 << 20, 5));
  const fs::path out = scratch.path() / "out";
  fs::create_directories(out);
  const std::string output = (out / "app.exe").string();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    execl(kTool.c_str(), kTool.c_str(), "pack", app.c_str(), "--main", "main.exe", "--stub", stub.c_str(), "--level",
          "19", "--threads", "1", "-o", output.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  bool ended = false;
  while (fs::is_empty(out) && !ended) ended = waitpid(child, &status, WNOHANG) == child;
  ASSERT_FALSE(ended) << "the pack ended before it wrote anything";
  kill(child, SIGINT);
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
  EXPECT_TRUE(fs::is_empty(out));
}

TEST(PackerProgress, TheLineShowsBytesDoneTotalRateAndTimeLeft) {
  const struct {
    uint64_t done, total;
    double seconds;
    const char* line;
  } cases[] = {
      {0, 100 << 20, 1.0, "packing: 0.0 of 100.0 MiB, 0.0 MiB/s"},
      {25 << 20, 100 << 20, 2.0, "packing: 25.0 of 100.0 MiB, 12.5 MiB/s, 0:06 left"},
      {50 << 20, 1000ull << 20, 3.0, "packing: 50.0 of 1000.0 MiB, 16.7 MiB/s, 0:57 left"},
      {100 << 20, 100 << 20, 4.0, "packing: 100.0 of 100.0 MiB, 25.0 MiB/s, 0:00 left"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressText(c.done, c.total, c.seconds), c.line);
}

TEST(PackerProgress, ATerminalGetsItUnlessQuietAndALogOnlyWhenAsked) {
  const struct {
    std::vector<std::string> options;
    bool terminal;
    ProgressMode mode;
  } cases[] = {
      {{}, true, ProgressMode::terminal},        {{}, false, ProgressMode::off},
      {{"--progress"}, true, ProgressMode::terminal}, {{"--progress"}, false, ProgressMode::lines},
      {{"--quiet"}, true, ProgressMode::off},    {{"--quiet"}, false, ProgressMode::off},
  };
  for (const auto& c : cases) {
    std::vector<fs::path> arguments{"pack", "app", "--main", "m.exe", "-o", "o.exe"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(progressModeFor(parseCommandLine(arguments).progress, c.terminal), c.mode);
  }
}

TEST(PackerCommandLine, ThreadsTakeOneTo256AndProgressExcludesQuiet) {
  const struct {
    std::vector<std::string> options;
    int threads;          // 0: the default, one per processor
    const char* refusal;  // or null
  } cases[] = {
      {{}, 0, nullptr},
      {{"--threads", "1"}, 1, nullptr},
      {{"--threads=256"}, 256, nullptr},
      {{"--threads", "0"}, 0, "--threads takes a whole number from 1 to 256, not '0'"},
      {{"--threads", "257"}, 0, "--threads takes a whole number from 1 to 256, not '257'"},
      {{"--threads", "all"}, 0, "--threads takes a whole number from 1 to 256, not 'all'"},
      {{"--threads"}, 0, "option --threads needs a value"},
      {{"--progress", "--quiet"}, 0, "--progress and --quiet are given together; give one of them"},
      {{"--quiet=yes"}, 0, "option --quiet takes no value"},
  };
  for (const auto& c : cases) {
    std::vector<fs::path> arguments{"pack", "app", "--main", "m.exe", "-o", "o.exe"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    SCOPED_TRACE(c.options.empty() ? "(none)" : c.options.front());
    if (c.refusal == nullptr) {
      EXPECT_EQ(parseCommandLine(arguments).pack.threads, c.threads);
      continue;
    }
    try {
      parseCommandLine(arguments);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()), c.refusal);
    }
  }
}

}  // namespace
