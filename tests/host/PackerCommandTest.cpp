// onefile-pack end to end on the host: a tree packed and read back by list, verify and extract
// byte for byte; the frame and trailer bytes; the same bytes from the same input, and a build id
// that follows the payload's content; and every bad input refused with its message and exit code,
// leaving no output and the inputs as they were.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#define ZSTD_STATIC_LINKING_ONLY  // ZSTD_getFrameHeader
#include <zstd.h>

#include "CommandLine.h"
#include "Crc32.h"
#include "PackCommand.h"
#include "LittleEndian.h"
#include "PackerTestSupport.h"
#include "PayloadWriter.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PeSubsystem.h"
#include "ResourceTree.h"
#include "Sha256.h"
#include "TestFrames.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

const std::string kTool = getenv("ONEFILE_PACK") != nullptr ? getenv("ONEFILE_PACK") : "onefile-pack";

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A main program must be one: the launcher takes on its subsystem.
constexpr uint16_t kWindowedSubsystem = 2;
constexpr uint16_t kConsoleSubsystem = 3;
Bytes windowedProgram() { return tinyProgram(kWindowedSubsystem); }

CommandResult pack(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{kTool, "pack"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runCommand(command);
}

// list's file table: from its header line on, after the identity lines.
std::string fileTable(const std::string& listing) {
  const size_t header = listing.find("        size  checksum  name\n");
  return header == std::string::npos ? "" : listing.substr(header);
}

class Packer : public testing::Test {
 protected:
  void SetUp() override {
    if (readStubOrSkip().empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
    stub = getenv("ONEFILE_STUB");
    app = scratch.path() / "app";
  }
  std::string out(const std::string& name) const { return (scratch.path() / name).string(); }

  ScratchDirectory scratch;
  std::string stub;
  fs::path app;
};

// Files whose order in the payload is known: main first, the other top-level files by UTF-16
// units (upper case before lower case, U+00DC and the surrogates of U+1F600 late), then the files
// in subfolders by components (so "data" before "data2", though "\" sorts after "2").
struct TreeFile {
  std::string path;  // below app, "/" between components
  Bytes bytes;
};

std::vector<TreeFile> sampleTree() {
  return {
      {"Quorvell.exe", windowedProgram()},
      {"B.txt", textBytes("upper case first")},
      {"a.txt", textBytes("then lower case")},
      {"emoji-\xF0\x9F\x98\x80.txt", textBytes("a name with a surrogate pair")},
      {"empty.dat", {}},
      {"\xC3\x9Cnic\xC3\xB6" "de-\xE5\x90\x8D\xE5\x89\x8D.txt", textBytes("non-ASCII name")},
      {"data/big.bin", randomBytes(300001, 7)},
      {"data/keep/.keep", {}},
      {"data/levels/1.txt", textBytes("level one")},
      {"data2/x.txt", textBytes("after data")},
  };
}

std::string payloadName(const std::string& path) {
  std::string name = path;
  for (char& c : name) {
    if (c == '/') c = '\\';
  }
  return name;
}

// Every layout: small files grouped in frames (the default), the whole list in one frame, and a
// frame per record and per file.
class RoundTrip : public Packer, public testing::WithParamInterface<const char*> {};

TEST_P(RoundTrip, ListVerifyAndExtractGiveBackTheTree) {
  const std::vector<TreeFile> files = sampleTree();
  for (const TreeFile& file : files) put(app / file.path, file.bytes);
  const std::string packed = out("app.exe");
  const CommandResult packing =
      pack({app.string(), "--main", "Quorvell.exe", "--layout", GetParam(), "--stub", stub, "-o", packed});
  ASSERT_EQ(packing.exit_code, 0) << packing.err;
  EXPECT_EQ(packing.out + packing.err, "");

  // list: the identity, then one line per file in payload order, then the totals.
  const CommandResult listing = runCommand({kTool, "list", packed});
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  const std::string table = fileTable(listing.out);
  std::ostringstream expected;
  expected << "        size  checksum  name\n";
  uint64_t total = 0;
  for (const TreeFile& file : files) {
    char line[64];
    snprintf(line, sizeof line, "%12zu  %08x  ", file.bytes.size(),
             storedChecksum(crc32Reference(0, file.bytes.data(), file.bytes.size())));
    expected << line << payloadName(file.path) << "\n";
    total += file.bytes.size();
  }
  EXPECT_EQ(table.substr(0, expected.str().size()), expected.str());
  EXPECT_NE(listing.out.find(std::to_string(files.size()) + " files, " + std::to_string(total) + " bytes"), std::string::npos)
      << listing.out;

  const CommandResult verifying = runCommand({kTool, "verify", packed});
  EXPECT_EQ(verifying.exit_code, 0) << verifying.err;
  EXPECT_NE(verifying.out.find("every checksum matches"), std::string::npos);

  const fs::path target = scratch.path() / "extracted";
  const CommandResult extracting = runCommand({kTool, "extract", packed, target.string()});
  ASSERT_EQ(extracting.exit_code, 0) << extracting.err;
  EXPECT_EQ(snapshotTree(target), snapshotTree(app));

  // The cache rule: an intact file is left alone (its time stays), a changed one is rewritten
  // whole, and a file the payload does not name stays.
  const auto old_time = fs::last_write_time(target / "a.txt") - std::chrono::hours(24);
  fs::last_write_time(target / "a.txt", old_time);
  writeBytes(target / "data" / "levels" / "1.txt", textBytes("changed and longer than before"));
  writeBytes(target / "extra.txt", textBytes("not in the payload"));
  const CommandResult again = runCommand({kTool, "extract", packed, target.string()});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.out.find("1 written, 9 already up to date"), std::string::npos) << again.out;
  EXPECT_EQ(fs::last_write_time(target / "a.txt"), old_time);
  fs::remove(target / "extra.txt");
  EXPECT_EQ(snapshotTree(target), snapshotTree(app));
}

INSTANTIATE_TEST_SUITE_P(Layouts, RoundTrip, testing::Values("grouped", "single", "per-file"));

TEST_F(Packer, MainInASubfolderComesFirstAndNothingElseMoves) {
  put(app / "z.txt", textBytes("z"));
  put(app / "bin" / "run.exe", windowedProgram());
  put(app / "bin" / "a.dll", textBytes("MZ"));
  const std::string packed = out("app.exe");
  ASSERT_EQ(pack({app.string(), "--main", "bin/run.exe", "--stub", stub, "-o", packed}).exit_code, 0);
  const CommandResult listing = runCommand({kTool, "list", packed});
  std::vector<std::string> names;
  std::istringstream lines(fileTable(listing.out));
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line) && line.rfind("  ", 0) == 0) names.push_back(line.substr(line.rfind("  ") + 2));
  EXPECT_EQ(names, (std::vector<std::string>{"bin\\run.exe", "z.txt", "bin\\a.dll"}));
}

TEST_F(Packer, FrameHeaderAndTrailerAreFixedAndPacksAreReproducible) {
  for (const TreeFile& file : sampleTree()) put(app / file.path, file.bytes);
  // The output's name is part of the bytes (the version resource names it), so both are app.exe.
  fs::create_directories(scratch.path() / "first");
  fs::create_directories(scratch.path() / "second");
  ASSERT_EQ(pack({app.string(), "--main", "Quorvell.exe", "--layout", "single", "--stub", stub, "-o", out("first/app.exe")})
                .exit_code,
            0);
  // New times on every file: nothing of them may reach the output.
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(app)) {
    fs::last_write_time(entry.path(), fs::last_write_time(entry.path()) - std::chrono::hours(1));
  }
  // Without --stub the tool finds the launcher built beside it.
  const CommandResult second =
      pack({app.string(), "--main", "Quorvell.exe", "--layout", "single", "-o", out("second/app.exe")});
  ASSERT_EQ(second.exit_code, 0) << second.err;
  const Bytes first = readBytes(out("first/app.exe"));
  EXPECT_EQ(first, readBytes(out("second/app.exe")));

  const Bytes resource = payloadResource(first);
  ASSERT_GT(resource.size(), 3u + 6 + 14);
  EXPECT_EQ(Bytes(resource.begin(), resource.begin() + 3), textBytes("QOV"));
  // Zstandard magic, then a frame header descriptor without content size, checksum or
  // dictionary, and a window descriptor for exactly 2^27 bytes.
  EXPECT_EQ(Bytes(resource.begin() + 3, resource.begin() + 9), (Bytes{0x28, 0xB5, 0x2F, 0xFD, 0x00, 0x88}));
  const size_t frame = ZSTD_findFrameCompressedSize(resource.data() + 3, resource.size() - 3);
  ASSERT_FALSE(ZSTD_isError(frame));
  ASSERT_EQ(3 + frame + 14, resource.size());
  EXPECT_EQ(Bytes(resource.end() - 14, resource.end() - 8), Bytes(6, 0));
  EXPECT_EQ(readU64(&resource[resource.size() - 8]), resource.size() - 8);
}

// The value of one of list's identity lines ("build id    3fa2c9e1d2b4a5c6").
std::string listed(const std::string& listing, const std::string& label) {
  const std::string prefix = label + std::string(12 - label.size(), ' ');
  const size_t at = listing.find("\n" + prefix);
  if (at == std::string::npos) return "(no " + label + " line)";
  const size_t start = at + 1 + prefix.size();
  return listing.substr(start, listing.find('\n', start) - start);
}

// The build id names the payload's content: the same files give the same id whatever else
// changes, one changed byte gives another, and the default template makes a folder of it.
TEST_F(Packer, TheBuildIdFollowsThePayloadsContent) {
  for (const TreeFile& file : sampleTree()) put(app / file.path, file.bytes);
  const auto packAs = [&](const std::string& output, const std::vector<std::string>& options) {
    std::vector<std::string> arguments{app.string(), "--main", "Quorvell.exe", "--stub", stub, "-o", out(output)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    const CommandResult result = pack(arguments);
    EXPECT_EQ(result.exit_code, 0) << result.err;
    const CommandResult listing = runCommand({kTool, "list", out(output)});
    EXPECT_EQ(listing.exit_code, 0) << listing.err;
    return listing.out;
  };
  fs::create_directories(scratch.path() / "again");
  const std::string first = packAs("app.exe", {});
  const std::string again = packAs("again/app.exe", {});
  EXPECT_EQ(readBytes(out("app.exe")), readBytes(out("again/app.exe")));
  const std::string id = listed(first, "build id");
  const Bytes payload = payloadResource(readBytes(out("app.exe")));
  EXPECT_EQ(id, hexDigits(sha256(payload.data(), payload.size()), 8));
  EXPECT_EQ(listed(again, "build id"), id);
  // The product name is the output's: the main program has no version resource.
  EXPECT_EQ(listed(first, "extract to"), "{CACHE_DIR}\\app\\1.0-" + id.substr(0, 8) +
                                             "  (template {CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD})");
  // The identity is no part of the payload.
  EXPECT_EQ(listed(packAs("renamed.exe", {"--name", "Other", "--version", "9"}), "build id"), id);

  // One byte of one file, its size and name unchanged.
  Bytes level = textBytes("level one");
  level[0] = 'L';
  put(app / "data" / "levels" / "1.txt", level);
  const std::string changed = listed(packAs("changed.exe", {}), "build id");
  EXPECT_NE(changed, id);
  EXPECT_EQ(changed.size(), 16u);
}

// The default layout: its 8-byte marker, then frames that each declare their size and a window of
// at most 8 MiB, so that the launcher decodes with little memory, and index frames that record the
// compressed length of the data frame after them, so that the launcher steps over it by that length.
TEST_F(Packer, TheDefaultLayoutRecordsEachDataFramesLengthInItsIndexFrame) {
  for (const TreeFile& file : sampleTree()) put(app / file.path, file.bytes);
  ASSERT_EQ(pack({app.string(), "--main", "Quorvell.exe", "--stub", stub, "-o", out("app.exe")}).exit_code, 0);
  const Bytes resource = payloadResource(readBytes(out("app.exe")));
  EXPECT_EQ(Bytes(resource.begin() + 3, resource.begin() + 11), (Bytes{'Q', 'O', 'V', 'G', 2, 0, 0, 0}));
  size_t at = 11;
  std::vector<size_t> lengths;
  std::vector<uint64_t> recorded;
  while (resource.size() - at > 14) {
    ZSTD_frameHeader header;
    ASSERT_EQ(ZSTD_getFrameHeader(&header, &resource[at], resource.size() - at), 0u) << "frame " << lengths.size();
    EXPECT_NE(header.frameContentSize, ZSTD_CONTENTSIZE_UNKNOWN) << "frame " << lengths.size();
    EXPECT_LE(header.windowSize, 8u << 20) << "frame " << lengths.size();
    const size_t length = ZSTD_findFrameCompressedSize(&resource[at], resource.size() - at);
    ASSERT_FALSE(ZSTD_isError(length));
    if (lengths.size() % 2 == 0) {  // an index frame: index length, then the data frame's length
      Bytes content(header.frameContentSize);
      ASSERT_EQ(ZSTD_decompress(content.data(), content.size(), &resource[at], length), content.size());
      ASSERT_GE(content.size(), 4u);
      recorded.push_back(content.size() >= 12 ? readU64(&content[4]) : 0);
    }
    lengths.push_back(length);
    at += length;
  }
  // The sample's files are all small: one group (its index and its data), then the end.
  ASSERT_EQ(lengths.size(), 3u);
  EXPECT_EQ(recorded[0], lengths[1]);
  EXPECT_EQ(at + 14, resource.size());
}

// zstd's workers each take a fixed-size job; the tree spans several, so any dependence of the
// bytes on the number of workers or on their timing shows.
TEST_F(Packer, WorkerThreadsDoNotChangeTheBytes) {
  put(app / "main.exe", windowedProgram());
  uint64_t state = 5;
  for (int part = 0; part < 5; ++part) {
    Bytes text;
    while (text.size() < (8u << 20)) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const std::string word = "word" + std::to_string((state >> 33) % 5000) + ((state >> 20) % 9 == 0 ? "\n" : " ");
      text.insert(text.end(), word.begin(), word.end());
    }
    put(app / "parts" / ("part" + std::to_string(part) + ".txt"), text);
  }
  std::vector<Bytes> outputs;
  for (int workers : {1, 2, 2}) {
    PackRequest request;
    request.folder = app;
    request.main = "main.exe";
    request.stub = fs::path(stub);
    request.level = 1;
    request.threads = workers;
    request.output = out("workers.exe");
    packApplication(request);
    outputs.push_back(readBytes(request.output));
  }
  EXPECT_TRUE(outputs[0] == outputs[1]);
  EXPECT_TRUE(outputs[1] == outputs[2]);
}

TEST_F(Packer, SplashBecomesResource28AndTheStubsResourcesStay) {
  put(app / "main.exe", windowedProgram());
  const Bytes png = tinyPng(3, 2);
  writeBytes(out("splash.png"), png);
  ASSERT_EQ(pack({app.string(), "--main", "main.exe", "--splash", out("splash.png"), "--stub", stub, "-o", out("a.exe")}).exit_code, 0);
  const Bytes image = readBytes(out("a.exe"));
  const ResourceNode tree = readResourceTree(image, readPeLayout(image));
  ASSERT_NE(findResource(tree, kRtRcdata, 28), nullptr);
  EXPECT_EQ(findResource(tree, kRtRcdata, 28)->data, png);
  const std::string listing = runReadobj("--coff-resources", image);
  for (const char* type : {"Type: ICON (ID 3)", "Type: GROUP_ICON (ID 14)", "Type: VERSIONINFO (ID 16)",
                           "Type: MANIFEST (ID 24)", "Type: RCDATA (ID 10)", "Name: (ID 27)", "Name: (ID 28)"}) {
    EXPECT_NE(listing.find(type), std::string::npos) << type;
  }
}

TEST_F(Packer, VerifyAndExtractCatchDamagedDataThatStillDecodes) {
  const Bytes big = randomBytes(200000, 11);
  put(app / "main.exe", windowedProgram());
  put(app / "big.bin", big);
  ASSERT_EQ(pack({app.string(), "--main", "main.exe", "--stub", stub, "-o", out("a.exe")}).exit_code, 0);
  // Random data travels in raw blocks: one flipped byte there decodes without complaint.
  Bytes image = readBytes(out("a.exe"));
  const auto at = std::search(image.begin(), image.end(), big.begin() + 100000, big.begin() + 100064);
  ASSERT_NE(at, image.end());
  *at ^= 0x40;
  writeBytes(out("damaged.exe"), image);

  EXPECT_EQ(runCommand({kTool, "list", out("damaged.exe")}).exit_code, 0);
  const CommandResult verifying = runCommand({kTool, "verify", out("damaged.exe")});
  EXPECT_EQ(verifying.exit_code, 1);
  EXPECT_NE(verifying.err.find("'big.bin' has checksum"), std::string::npos) << verifying.err;
  const CommandResult extracting = runCommand({kTool, "extract", out("damaged.exe"), out("x")});
  EXPECT_EQ(extracting.exit_code, 1);
  EXPECT_NE(extracting.err.find("'big.bin' does not match its stored checksum"), std::string::npos) << extracting.err;

  const CommandResult bare = runCommand({kTool, "verify", stub});
  EXPECT_EQ(bare.exit_code, 1);
  EXPECT_NE(bare.err.find("carries no payload (no resource 27)"), std::string::npos) << bare.err;
}

TEST_F(Packer, AFileThatChangesWhileItIsPackedIsRefused) {
  put(app / "main.exe", windowedProgram());
  put(app / "growing.log", randomBytes(4 << 20, 3));
  std::atomic<bool> packing{true};
  std::atomic<bool> writing{false};
  std::thread writer([&] {
    std::ofstream log(app / "growing.log", std::ios::binary | std::ios::app);
    while (packing) {
      log << "another line\n" << std::flush;
      writing = true;
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  });
  while (!writing) std::this_thread::yield();
  const CommandResult result = pack({app.string(), "--main", "main.exe", "--stub", stub, "-o", out("a.exe")});
  packing = false;
  writer.join();
  EXPECT_EQ(result.exit_code, 1);
  EXPECT_NE(result.err.find("growing.log' changed while it was being packed"), std::string::npos) << result.err;
  EXPECT_FALSE(fs::exists(out("a.exe")));
}

// A console shell waits for a console program and hands on its exit code, and its console is the
// application's: so the launcher is what its main program is, unless told otherwise. An override
// does not look at the main program at all.
TEST_F(Packer, TheLauncherTakesTheMainProgramsSubsystemUnlessTold) {
  const struct {
    const char* what;
    Bytes main;
    std::vector<std::string> options;
    uint16_t expected;
  } cases[] = {
      {"console main", tinyProgram(kConsoleSubsystem), {}, kConsoleSubsystem},
      {"windowed main", tinyProgram(kWindowedSubsystem), {}, kWindowedSubsystem},
      {"console main made windowed", tinyProgram(kConsoleSubsystem), {"--windowed"}, kWindowedSubsystem},
      {"windowed main made console", tinyProgram(kWindowedSubsystem), {"--console"}, kConsoleSubsystem},
      {"a script made console", textBytes("@echo off\r\n"), {"--console"}, kConsoleSubsystem},
      {"a native program made windowed", tinyProgram(1), {"--windowed"}, kWindowedSubsystem},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(app);
    put(app / "main.exe", c.main);
    std::vector<std::string> arguments{app.string(), "--main", "main.exe", "--stub", stub, "-o", out("a.exe")};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    const CommandResult packing = pack(arguments);
    ASSERT_EQ(packing.exit_code, 0) << packing.err;
    const Bytes image = readBytes(out("a.exe"));
    const PeLayout layout = readPeLayout(image);
    EXPECT_EQ(readSubsystemField(image, layout), c.expected);
    EXPECT_EQ(readU32(&image[layout.checksumOffset()]), computePeChecksum(image, layout.checksumOffset()));
    const CommandResult listing = runCommand({kTool, "list", out("a.exe")});
    ASSERT_EQ(listing.exit_code, 0) << listing.err;
    EXPECT_NE(listing.out.find("\nsubsystem   " + subsystemName(c.expected) + "\n"), std::string::npos) << listing.out;
  }
}

// Each case prepares a fresh folder (app/ with main.exe and data/x.txt, stub.exe, splash.png) and
// gives the arguments after "pack"; the whole scratch directory must be the same afterwards.
struct BadInput {
  const char* what;
  std::function<std::vector<std::string>(const fs::path& root)> prepare;
  const char* message;
  int exit_code;
};

std::vector<std::string> packArguments(const fs::path& root, const std::string& main = "main.exe",
                                       const std::string& output = "out.exe") {
  return {(root / "app").string(), "--main", main, "--stub", (root / "stub.exe").string(), "-o", (root / output).string()};
}

std::vector<std::string> withOptions(const fs::path& root, const std::vector<std::string>& options) {
  std::vector<std::string> arguments = packArguments(root);
  arguments.insert(arguments.end(), options.begin(), options.end());
  return arguments;
}

// Rewrites the scratch folder's stub through `damage`; the usual arguments.
std::vector<std::string> withDamagedStub(const fs::path& root, const std::function<void(Bytes&, const PeLayout&)>& damage) {
  Bytes image = readBytes(root / "stub.exe");
  damage(image, readPeLayout(image));
  put(root / "stub.exe", image);
  return packArguments(root);
}

const BadInput kBadInputs[] = {
    {"missing folder", [](const fs::path& r) { fs::remove_all(r / "app"); return packArguments(r); },
     "application folder '", 1},
    {"folder is a file", [](const fs::path& r) { fs::remove_all(r / "app"); put(r / "app", {1}); return packArguments(r); },
     "app' is not a folder", 1},
    {"main missing", [](const fs::path& r) { return packArguments(r, "nothing.exe"); }, "--main 'nothing.exe' is not a file in", 1},
    {"main is a folder", [](const fs::path& r) { return packArguments(r, "data"); }, "--main 'data' is a folder, not a file", 1},
    {"main outside", [](const fs::path& r) { return packArguments(r, "../stub.exe"); }, "lies outside the application folder", 1},
    {"main absolute", [](const fs::path& r) { return packArguments(r, (r / "app" / "main.exe").string()); },
     "must be a path relative to the application folder", 1},
    {"main not a program", [](const fs::path& r) { put(r / "app" / "main.exe", textBytes("MZ")); return packArguments(r); },
     "cannot tell whether the main program '", 1},
    {"main for another subsystem",
     [](const fs::path& r) { put(r / "app" / "main.exe", tinyProgram(1)); return packArguments(r); },
     "is for subsystem 1 (native), which Windows does not start as a console or a windowed program", 1},
    {"both subsystems",
     [](const fs::path& r) { auto a = packArguments(r); a.insert(a.end(), {"--console", "--windowed"}); return a; },
     "--console and --windowed are given together or twice", 2},
    {"a subsystem option with a value",
     [](const fs::path& r) { auto a = packArguments(r); a.push_back("--console=yes"); return a; },
     "option --console takes no value", 2},
    {"splash missing",
     [](const fs::path& r) {
       auto a = packArguments(r);
       a.insert(a.end(), {"--splash", (r / "none.png").string()});
       return a;
     },
     "cannot read", 1},
    {"splash not a PNG",
     [](const fs::path& r) {
       put(r / "splash.png", textBytes("GIF89a"));
       auto a = packArguments(r);
       a.insert(a.end(), {"--splash", (r / "splash.png").string()});
       return a;
     },
     "is not a PNG image: it does not start with the PNG signature", 1},
    {"splash with a damaged header",
     [](const fs::path& r) {
       Bytes png = tinyPng(2, 2);
       png[20] ^= 1;  // inside IHDR, so its CRC no longer fits
       put(r / "splash.png", png);
       auto a = packArguments(r);
       a.insert(a.end(), {"--splash", (r / "splash.png").string()});
       return a;
     },
     "the CRC of its IHDR header is wrong", 1},
    {"stub missing", [](const fs::path& r) { fs::remove(r / "stub.exe"); return packArguments(r); }, "cannot read", 1},
    {"stub not a PE", [](const fs::path& r) { put(r / "stub.exe", textBytes("#!/bin/sh\n")); return packArguments(r); },
     "is not a PE32+ executable for x86-64: no MZ header", 1},
    {"stub PE32",
     [](const fs::path& r) {
       return withDamagedStub(r, [](Bytes& image, const PeLayout& layout) { writeU16(&image[layout.optional_header_offset], 0x10B); });
     },
     "is not PE32+", 1},
    {"stub signed",
     [](const fs::path& r) {
       return withDamagedStub(r, [](Bytes& image, const PeLayout& layout) {
         writeU32(&image[layout.dataDirectoryOffset(kCertificateDirectoryIndex)], static_cast<uint32_t>(image.size()));
         writeU32(&image[layout.dataDirectoryOffset(kCertificateDirectoryIndex) + 4], 8);
         image.resize(image.size() + 8);
       });
     },
     "carries an Authenticode signature", 1},
    // The payload used to be hung below the data and lost, and the pack reported as done.
    {"stub with data where a type belongs",
     [](const fs::path& r) {
       return withDamagedStub(r, [](Bytes& image, const PeLayout& layout) {
         const size_t root = *fileOffsetOfRva(layout, readU32(&image[layout.dataDirectoryOffset(kResourceDirectoryIndex)]), 16);
         const size_t type = root + 16;
         const size_t name = root + (readU32(&image[type + 4]) & 0x7FFFFFFFu) + 16;
         const size_t language = root + (readU32(&image[name + 4]) & 0x7FFFFFFFu) + 16;
         writeU32(&image[type], 10);
         writeU32(&image[type + 4], readU32(&image[language + 4]));
       });
     },
     "damaged resource directory: a resource's data stands where its type or name belongs", 1},
    // Read past the end of the image (a heap overflow under AddressSanitizer, or signal 11).
    {"stub with SizeOfHeaders past its end",
     [](const fs::path& r) {
       return withDamagedStub(r, [](Bytes& image, const PeLayout& layout) {
         for (uint32_t index : {kResourceDirectoryIndex, kRelocationDirectoryIndex}) writeU64(&image[layout.dataDirectoryOffset(index)], 0);
         writeU32(&image[layout.optional_header_offset + 60], static_cast<uint32_t>(image.size() + (1u << 20)));
       });
     },
     "are larger than the file", 1},
    {"stub with SizeOfHeaders 0xFFFFFFFF",
     [](const fs::path& r) {
       return withDamagedStub(r, [](Bytes& image, const PeLayout& layout) { writeU32(&image[layout.optional_header_offset + 60], 0xFFFFFFFFu); });
     },
     "its headers (SizeOfHeaders 4294967295) are larger than the file", 1},
    {"output is the stub", [](const fs::path& r) { return packArguments(r, "main.exe", "stub.exe"); }, "is the stub itself", 1},
    {"output is an application file", [](const fs::path& r) { return packArguments(r, "main.exe", "app/data/x.txt"); },
     "is the application file itself", 1},
    {"output is the splash",
     [](const fs::path& r) {
       auto a = packArguments(r, "main.exe", "splash.png");
       a.insert(a.end(), {"--splash", (r / "splash.png").string()});
       return a;
     },
     "is the splash image itself", 1},
    {"output is a folder", [](const fs::path& r) { return packArguments(r, "main.exe", "app/data"); }, "is a folder", 1},
    {"name of 1030 units",
     [](const fs::path& r) {
       fs::path deep = r / "app";
       for (int i = 0; i < 5; ++i) deep /= std::string(204, static_cast<char>('a' + i));
       put(deep / "x.txt", {});
       return packArguments(r);
     },
     "is 1030 UTF-16 units long; at most 1023", 1},
    {"name not UTF-8", [](const fs::path& r) { put(r / "app" / "bad\xFF.txt", {}); return packArguments(r); },
     "is not valid Unicode (UTF-8)", 1},
    {"name with a colon", [](const fs::path& r) { put(r / "app" / "a:b", {}); return packArguments(r); },
     "contains ':', which Windows does not allow", 1},
    {"name with a backslash", [](const fs::path& r) { put(r / "app" / "a\\b", {}); return packArguments(r); },
     "contains '\\', which Windows does not allow", 1},
    {"device name", [](const fs::path& r) { put(r / "app" / "data" / "Nul.txt", {}); return packArguments(r); },
     "is a device name on Windows", 1},
    {"trailing dot", [](const fs::path& r) { put(r / "app" / "notes.", {}); return packArguments(r); },
     "ends with a dot or a space", 1},
    {"names differing in case", [](const fs::path& r) { put(r / "app" / "data" / "X.TXT", {}); return packArguments(r); },
     "differ only in letter case", 1},
    {"names differing in the case of a Latin-1 letter",
     [](const fs::path& r) {
       put(r / "app" / "\xC3\xA9.txt", textBytes("lower"));
       put(r / "app" / "\xC3\x89.txt", textBytes("UPPER"));
       return packArguments(r);
     },
     ".txt' differ only in letter case; Windows would make them one file", 1},
    {"names differing in the case of Cyrillic and Greek letters",
     [](const fs::path& r) {
       put(r / "app" / "data" / "\xD0\x94\xCF\x83", {});  // U+0414 U+03C3
       put(r / "app" / "data" / "\xD0\xB4\xCF\x82", {});  // U+0434 U+03C2
       return packArguments(r);
     },
     "differ only in letter case", 1},
    {"link to a folder",
     [](const fs::path& r) {
       fs::create_directory_symlink(r / "app" / "data", r / "app" / "loop");
       return packArguments(r);
     },
     "is a symbolic link to a folder", 1},
    {"dangling link",
     [](const fs::path& r) {
       fs::create_symlink(r / "gone", r / "app" / "gone");
       return packArguments(r);
     },
     "is a symbolic link to nothing", 1},
    {"pipe", [](const fs::path& r) { mkfifo((r / "app" / "pipe").c_str(), 0600); return packArguments(r); },
     "is neither a regular file nor a folder", 1},
    {"unreadable file",
     [](const fs::path& r) {
       chmod((r / "app" / "data" / "x.txt").c_str(), 0);
       return packArguments(r);
     },
     "cannot read", 1},
    {"no output named", [](const fs::path& r) { auto a = packArguments(r); a.resize(a.size() - 2); return a; },
     "pack needs -o", 2},
    {"level out of range", [](const fs::path& r) { auto a = packArguments(r); a.insert(a.end(), {"--level", "23"}); return a; },
     "--level takes a whole number from 1 to 22", 2},
    {"unknown option", [](const fs::path& r) { auto a = packArguments(r); a.push_back("--fast"); return a; },
     "unknown option '--fast'", 2},
    {"keep builds out of range", [](const fs::path& r) { return withOptions(r, {"--keep-builds", "101"}); },
     "--keep-builds takes a whole number from 0 to 100 or all, not '101'", 2},
    // The identity: refused before anything is written, each value with where it came from.
    {"name with a colon", [](const fs::path& r) { return withOptions(r, {"--name", "A:B"}); },
     "the product name 'A:B' (from --name) contains ':', which Windows does not allow in file names, and the extraction "
     "template makes it a folder name", 1},
    {"version that is a device name", [](const fs::path& r) { return withOptions(r, {"--version=CON"}); },
     "the version 'CON' (from --version) is a device name on Windows", 1},
    {"company with a trailing dot that the template uses",
     [](const fs::path& r) { return withOptions(r, {"--company", "Acme Inc.", "--extract-to", "{CACHE_DIR}\\{COMPANY}\\{PRODUCT}"}); },
     "the company 'Acme Inc.' (from --company) ends with a dot or a space", 1},
    {"empty name", [](const fs::path& r) { return withOptions(r, {"--name", ""}); }, "the product name (from --name) is empty", 1},
    {"name of 129 units", [](const fs::path& r) { return withOptions(r, {"--name", std::string(129, 'n')}); },
     "is 129 UTF-16 units long; at most 128 are possible", 1},
    {"control character in the description", [](const fs::path& r) { return withOptions(r, {"--description", "a\tb"}); },
     "the description 'a\\x09b' (from --description) contains a control character", 1},
    {"template with an unknown variable", [](const fs::path& r) { return withOptions(r, {"--extract-to", "{CACHE_DIR}\\{NAME}"}); },
     "names the unknown variable {NAME}; the variables are", 1},
    {"template with a name left open", [](const fs::path& r) { return withOptions(r, {"--extract-to", "{CACHE_DIR}\\{PRODUCT"}); },
     "has a '{' at position 13 that no '}' closes", 1},
    {"relative template", [](const fs::path& r) { return withOptions(r, {"--extract-to", "{PRODUCT}\\{VERSION}"}); },
     "the extraction template '{PRODUCT}\\{VERSION}' (from --extract-to) gives no absolute path", 1},
    {"empty template", [](const fs::path& r) { return withOptions(r, {"--extract-to="}); }, "the extraction template (from --extract-to) is empty", 1},
    {"template whose directory leaves no room for the program's path",
     [](const fs::path& r) { return withOptions(r, {"--extract-to", "C:\\" + std::string(1019, 'x')}); },
     "(from --extract-to) can give an extraction directory of 1022 units, more than the 1021 a start can use", 1},
    {"icon missing", [](const fs::path& r) { return withOptions(r, {"--icon", (r / "none.ico").string()}); }, "cannot read", 1},
    {"icon cut short",
     [](const fs::path& r) { put(r / "app.ico", {0, 0, 1}); return withOptions(r, {"--icon", (r / "app.ico").string()}); },
     "app.ico' cannot be used: it is cut short: 3 bytes", 1},
    {"icon without images",
     [](const fs::path& r) { put(r / "app.ico", {0, 0, 1, 0, 0, 0}); return withOptions(r, {"--icon", (r / "app.ico").string()}); },
     "cannot be used: it holds no images", 1},
    {"icon larger than 256",
     [](const fs::path& r) { put(r / "app.ico", icoFile({tinyPng(300, 300)}, 0)); return withOptions(r, {"--icon", (r / "app.ico").string()}); },
     "cannot be used: image 1 is 300x300, larger than the 256x256 an icon can hold", 1},
    {"manifest that is no manifest",
     [](const fs::path& r) { put(r / "app.manifest", textBytes("<?xml version=\"1.0\"?><html></html>")); return withOptions(r, {"--manifest", (r / "app.manifest").string()}); },
     "is not an application manifest: its first element is not <assembly>", 1},
    {"output is the icon",
     [](const fs::path& r) {
       put(r / "app.ico", icoFile({tinyPng(16, 16)}, 0));
       auto a = packArguments(r, "main.exe", "app.ico");
       a.insert(a.end(), {"--icon", (r / "app.ico").string()});
       return a;
     },
     "is the icon itself", 1},
    {"option given twice", [](const fs::path& r) { return withOptions(r, {"--name", "a", "--name=b"}); },
     "option --name is given twice", 2},
};

TEST_F(Packer, BadInputsAreRefusedAndLeaveEverythingAsItWas) {
  for (const BadInput& c : kBadInputs) {
    SCOPED_TRACE(c.what);
    if (std::string(c.what) == "unreadable file" && geteuid() == 0) continue;  // root reads everything
    ScratchDirectory root;
    put(root.path() / "app" / "main.exe", windowedProgram());
    put(root.path() / "app" / "data" / "x.txt", textBytes("x"));
    writeBytes(root.path() / "stub.exe", readBytes(stub));
    writeBytes(root.path() / "splash.png", tinyPng(1, 1));
    const std::vector<std::string> arguments = c.prepare(root.path());
    const auto before = snapshotTree(root.path());
    const CommandResult result = pack(arguments);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_EQ(result.err.rfind("onefile-pack: ", 0), 0u) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(snapshotTree(root.path()), before);
  }
}

// An executable from anywhere: list, verify and extract refuse a payload name that Windows would
// fold into another name or a device, and a frame that needs more window than the launcher
// decodes, and names that Windows would take for one file, each with one line and exit code 1.
// Extract writes nothing for the refused entry, so an alias never overwrites the file it aliases.
TEST_F(Packer, ReadersRefuseHostilePayloadsWithOneLine) {
  const Bytes stub_image = readBytes(stub);
  const PeLayout layout = readPeLayout(stub_image);
  auto packedWith = [&](const std::string& resource) {
    ResourceNode tree = readResourceTree(stub_image, layout);
    setResource(tree, kRtRcdata, 27, kLanguageNeutral, Bytes(resource.begin(), resource.end()));
    return rebuildWithResources(stub_image, layout, planResourcePlacement(stub_image, layout), tree);
  };
  auto payload = [](const std::vector<PayloadFile>& files, PayloadLayout layout = PayloadLayout::singleFrame) {
    return buildPayloadResource(files.data(), files.size(), 3, 0, layout);
  };
  // The default layout with the first group's recorded data frame length changed by `delta`: its
  // index frame decoded, the length changed and the frame made again.
  auto recordedLengthOff = [&](int64_t delta) {
    std::string resource = payload({{u"main.exe", "MZ"}, {u"a.txt", "some text"}}, PayloadLayout::grouped);
    const size_t at = 3 + 8;
    const size_t length = ZSTD_findFrameCompressedSize(resource.data() + at, resource.size() - at);
    return withRecordedLengthOff(resource, at, length, delta);
  };
  // One stored block in a frame that declares a window of 2^28 bytes.
  const std::string record = std::string("a\0\0\0", 4) + std::string(12, '\0') + std::string(2, '\0');
  const uint32_t block = 1u | static_cast<uint32_t>(record.size() << 3);
  const std::string wide_window = std::string("QOV\x28\xB5\x2F\xFD\x00\x90", 9) +
                                  std::string{static_cast<char>(block), static_cast<char>(block >> 8), 0} + record;
  const struct {
    const char* what;
    std::string resource;
    const char* message;
  } cases[] = {
      {"trailing dot", payload({{u"main.exe", "MZ"}, {u"main.exe.", "alias"}}),
       "the payload holds the name 'main.exe.', whose component 'main.exe.' ends with a dot or a space"},
      {"trailing space", payload({{u"main.exe", "MZ"}, {u"main.exe ", "alias"}}), "ends with a dot or a space"},
      {"device name", payload({{u"main.exe", "MZ"}, {u"logs\\CON.log", "x"}}), "component 'CON.log' is a device name"},
      {"parent component", payload({{u"main.exe", "MZ"}, {u"..\\x.txt", "x"}}), "component '..'"},
      {"window beyond the launcher's", wide_window, "needs a window of 256 MiB; the launcher decodes at most 128 MiB"},
      // Grouped, so that every name is checked before extract writes any file.
      {"names differing in the case of a Latin-1 letter",
       payload({{u"main.exe", "MZ"}, {u"\u00E9.txt", "lower"}, {u"\u00C9.txt", "UPPER"}}, PayloadLayout::grouped),
       "the payload holds the names '\xC3\xA9.txt' and '\xC3\x89.txt', which differ only in letter case; Windows would make them "
       "one file"},
      {"names in other folders that collide",
       payload({{u"main.exe", "MZ"}, {u"A\\\u01C5.txt", "x"}, {u"a/\u01C6.TXT", "y"}}, PayloadLayout::grouped),
       "which differ only in letter case"},
      {"the same name twice", payload({{u"main.exe", "MZ"}, {u"x.txt", "1"}, {u"x.txt", "2"}}, PayloadLayout::grouped),
       "the payload names the file 'x.txt' twice; the second would overwrite the first"},
      // The launcher would step over the data by the recorded length and land elsewhere.
      {"a recorded data frame length one byte short", recordedLengthOff(-1),
       "group 1 of the payload records a data frame of "},
      {"a recorded data frame length one byte long", recordedLengthOff(1), "bytes, but its data frame is "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeBytes(out("hostile.exe"), packedWith(c.resource));
    const fs::path target = scratch.path() / "extracted";
    fs::remove_all(target);
    for (const char* command : {"list", "verify", "extract"}) {
      SCOPED_TRACE(command);
      std::vector<std::string> arguments{kTool, command, out("hostile.exe")};
      if (std::string(command) == "extract") arguments.push_back(target.string());
      const CommandResult result = runCommand(arguments);
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      EXPECT_EQ(result.err.rfind("onefile-pack: ", 0), 0u) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    const auto written = fs::exists(target) ? snapshotTree(target) : std::map<std::string, Bytes>{};
    EXPECT_LE(written.size(), 1u);
    if (!written.empty()) EXPECT_EQ(written.at("main.exe"), textBytes("MZ"));
  }
}

TEST(PackerCommandLine, KeepBuildsTakesZeroToAHundredOrAll) {
  const struct {
    const char* value;
    int keep_builds;  // -1: refused
  } cases[] = {{"0", 0},   {"7", 7},     {"100", 100}, {"0100", 100}, {"all", kKeepAllBuilds}, {"101", -1},
               {"-1", -1}, {"+5", -1},   {"", -1},     {"ALL", -1},   {"1e2", -1},           {"five", -1},
               {" 5", -1}, {"65535", -1}, {"99999999999999999999", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::vector<fs::path> arguments{"pack", "app", "--main", "m.exe", "-o", "o.exe", std::string("--keep-builds=") + c.value};
    if (c.keep_builds >= 0) {
      EXPECT_EQ(parseCommandLine(arguments).pack.identity.keep_builds, c.keep_builds);
      continue;
    }
    try {
      parseCommandLine(arguments);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()),
                std::string("--keep-builds takes a whole number from 0 to 100 or all, not '") + c.value + "'");
    }
  }
  EXPECT_EQ(parseCommandLine({"pack", "app", "--main", "m.exe", "-o", "o.exe"}).pack.identity.keep_builds, 0)
      << "by default no other build is kept";
}

TEST(PackerCommandLine, VerifyTakesChangedOrAll) {
  const struct {
    const char* value;
    int verify;  // -1: refused
  } cases[] = {{"changed", int(VerifyMode::changed)}, {"all", int(VerifyMode::all)}, {"ALL", -1}, {"", -1}, {"some", -1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    const std::vector<fs::path> arguments{"pack", "app", "--main", "m.exe", "-o", "o.exe", std::string("--verify=") + c.value};
    if (c.verify >= 0) {
      EXPECT_EQ(int(parseCommandLine(arguments).pack.identity.verify), c.verify);
      continue;
    }
    try {
      parseCommandLine(arguments);
      ADD_FAILURE() << "accepted";
    } catch (const UsageError& error) {
      EXPECT_EQ(std::string(error.what()), std::string("--verify takes changed or all, not '") + c.value + "'");
    }
  }
  EXPECT_EQ(parseCommandLine({"pack", "app", "--main", "m.exe", "-o", "o.exe"}).pack.identity.verify, VerifyMode::changed)
      << "by default a start reads only what changed";
}

TEST(PackerCommandLine, HelpVersionAndUsageErrors) {
  const CommandResult help = runCommand({kTool, "--help"});
  EXPECT_EQ(help.exit_code, 0);
  EXPECT_EQ(help.out.rfind("Usage:\n  onefile-pack pack APPDIR --main REL", 0), 0u) << help.out;
  const CommandResult version = runCommand({kTool, "--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out.rfind("onefile-pack ", 0), 0u);
  const struct {
    std::vector<std::string> arguments;
    const char* message;
  } cases[] = {{{}, "no command given"},
               {{"unpack"}, "unknown command 'unpack'"},
               {{"list"}, "list needs EXE"},
               {{"extract", "a.exe"}, "extract needs EXE and DIR"},
               {{"verify", "a.exe", "b.exe"}, "'b.exe' is not expected"}};
  for (const auto& c : cases) {
    std::vector<std::string> command{kTool};
    command.insert(command.end(), c.arguments.begin(), c.arguments.end());
    const CommandResult result = runCommand(command);
    EXPECT_EQ(result.exit_code, 2) << c.message;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Try 'onefile-pack --help'."), std::string::npos);
  }
}

}  // namespace
