// onefile-pack for the Linux launcher, end to end: which target a pack is for and what that target
// refuses; the bytes it writes (the stub unchanged, then the settings, the payload and the modes
// that the trailer points at, the settings and payload the same bytes the Windows launcher
// carries); the modes taken from the folder; list, verify and extract of a Linux launcher; and a
// damaged trailer refused with one line.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "AppIdentity.h"
#include "AppendedTrailer.h"
#include "LauncherSettings.h"
#include "LittleEndian.h"
#include "PackCommand.h"
#include "PackerTestSupport.h"
#include "PayloadReader.h"
#include "PeImage.h"
#include "ResourceTree.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<uint8_t> Bytes;

const std::string kTool = getenv("ONEFILE_PACK") != nullptr ? getenv("ONEFILE_PACK") : "onefile-pack";
const std::string kElfStub = getenv("ONEFILE_ELF_STUB") != nullptr ? getenv("ONEFILE_ELF_STUB") : "";

Bytes textBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

CommandResult pack(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{kTool, "pack"};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return runCommand(command);
}

void putWithMode(const fs::path& path, const Bytes& bytes, mode_t mode) {
  put(path, bytes);
  ASSERT_EQ(chmod(path.c_str(), mode), 0);
}

mode_t modeOf(const fs::path& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

AppendedTrailer trailerOf(const Bytes& image) {
  AppendedTrailer trailer{};
  EXPECT_EQ(readAppendedTrailer(image.data() + image.size() - kAppendedTrailerLength, image.size(), trailer),
            TrailerStatus::valid);
  return trailer;
}

Bytes regionOf(const Bytes& image, const AppendedRegion& region) {
  return Bytes(image.begin() + static_cast<ptrdiff_t>(region.offset),
               image.begin() + static_cast<ptrdiff_t>(region.offset + region.length));
}

// The payload's names in list order.
std::vector<std::u16string> payloadNames(const Bytes& payload) {
  PayloadReader reader{ByteView(payload)};
  std::vector<std::u16string> names;
  PayloadRecord record;
  while (reader.next(record)) {
    reader.readData([](const uint8_t*, size_t) {});
    names.push_back(record.name);
  }
  return names;
}

// app/ with a program to start, a tool and a data file; the stub's bytes beside it.
class LinuxPack : public testing::Test {
 protected:
  void SetUp() override {
    if (kElfStub.empty()) GTEST_SKIP() << "no ELF stub named in ONEFILE_ELF_STUB";
    app = scratch.path() / "app";
    putWithMode(app / "run", tinyProgram(3), 0755);
    putWithMode(app / "bin" / "tool", textBytes("#!/bin/sh\n"), 0755);
    putWithMode(app / "share" / "data.txt", textBytes("some data"), 0644);
  }
  std::string out(const std::string& name) const { return (scratch.path() / name).string(); }
  std::vector<std::string> linuxPack(const std::string& output, const std::vector<std::string>& options = {}) const {
    std::vector<std::string> arguments{app.string(), "--main", "run", "--stub", kElfStub, "-o", out(output)};
    arguments.insert(arguments.end(), options.begin(), options.end());
    return arguments;
  }

  ScratchDirectory scratch;
  fs::path app;
};

struct TargetCase {
  const char* what;
  std::function<std::vector<std::string>(const fs::path& root)> arguments;
  const char* refusal;  // null: packed for linux
  int exit_code;
};

// The usual arguments with the ELF stub, or with the stub given, plus options.
std::vector<std::string> argumentsFor(const fs::path& root, const std::string& stub, std::vector<std::string> options) {
  std::vector<std::string> arguments{(root / "app").string(), "--main", "run", "--stub", stub, "-o", (root / "out").string()};
  arguments.insert(arguments.end(), options.begin(), options.end());
  return arguments;
}

std::function<std::vector<std::string>(const fs::path&)> withElfStub(std::vector<std::string> options) {
  return [options](const fs::path& root) { return argumentsFor(root, kElfStub, options); };
}

const TargetCase kTargetCases[] = {
    {"linux asked for", withElfStub({"--target", "linux-x86_64"}), nullptr, 0},
    {"linux from the stub", withElfStub({}), nullptr, 0},
    {"windows asked for with a Linux stub", withElfStub({"--target", "windows-x86_64"}),
     "--target windows-x86_64 does not fit the stub '", 1},
    {"linux asked for with a Windows stub",
     [](const fs::path& root) {
       put(root / "stub.exe", tinyProgram(2));
       return argumentsFor(root, (root / "stub.exe").string(), {"--target=linux-x86_64"});
     },
     "stub.exe', which is a windows-x86_64 executable", 1},
    {"linux asked for with a stub of neither kind",
     [](const fs::path& root) {
       put(root / "stub", textBytes("#!/bin/sh\n"));
       return argumentsFor(root, (root / "stub").string(), {"--target", "linux-x86_64"});
     },
     "is not an ELF executable for x86-64: it does not begin with the ELF signature", 1},
    {"an unknown target", withElfStub({"--target", "linux-arm64"}),
     "--target takes windows-x86_64 or linux-x86_64, not 'linux-arm64'", 2},
    {"--splash", withElfStub({"--splash", "splash.png"}), "--splash has no meaning for the target linux-x86_64", 1},
    {"--console", withElfStub({"--console"}), "--console has no meaning for the target linux-x86_64", 1},
    {"--windowed", withElfStub({"--windowed"}), "--windowed has no meaning for the target linux-x86_64", 1},
    {"--icon", withElfStub({"--icon", "app.ico"}), "--icon has no meaning for the target linux-x86_64", 1},
    {"--manifest", withElfStub({"--manifest", "app.manifest"}), "--manifest has no meaning for the target linux-x86_64", 1},
    {"--description", withElfStub({"--description", "A tool"}),
     "--description has no meaning for the target linux-x86_64", 1},
    {"--copyright", withElfStub({"--copyright", "(c) us"}), "--copyright has no meaning for the target linux-x86_64", 1},
    {"a link to a file",
     [](const fs::path& root) {
       fs::create_symlink("run", root / "app" / "again");
       return argumentsFor(root, kElfStub, {});
     },
     "again' is a symbolic link; the Linux launcher carries no links", 1},
    {"a link to a folder",
     [](const fs::path& root) {
       fs::create_directory(root / "app" / "lib");
       fs::create_directory_symlink("lib", root / "app" / "lib64");
       return argumentsFor(root, kElfStub, {});
     },
     "lib64' is a symbolic link; the Linux launcher carries no links", 1},
};

// A refusal is one line, writes nothing and changes nothing; a pack for linux starts with the
// ELF stub unchanged.
TEST_F(LinuxPack, TheTargetComesFromTheOptionOrTheStubAndWindowsOnlyOptionsAreRefused) {
  const Bytes stub = readBytes(kElfStub);
  for (const TargetCase& c : kTargetCases) {
    SCOPED_TRACE(c.what);
    ScratchDirectory root;
    put(root.path() / "app" / "run", tinyProgram(3));
    const std::vector<std::string> arguments = c.arguments(root.path());
    const auto before = snapshotTree(root.path());
    const CommandResult result = pack(arguments);
    EXPECT_EQ(result.exit_code, c.exit_code) << result.err;
    if (c.refusal == nullptr) {
      const Bytes packed = readBytes(root.path() / "out");
      ASSERT_GT(packed.size(), stub.size());
      EXPECT_TRUE(std::equal(stub.begin(), stub.end(), packed.begin()));
      continue;
    }
    EXPECT_NE(result.err.find(c.refusal), std::string::npos) << result.err;
    // A usage error adds the line that points at --help.
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), c.exit_code == 2 ? 2 : 1) << result.err;
    EXPECT_EQ(snapshotTree(root.path()), before);
    EXPECT_FALSE(fs::exists(root.path() / "out"));
  }
}

TEST_F(LinuxPack, TheStubIsFollowedBySettingsPayloadModesAndTheTrailerThatFindsThem) {
  ASSERT_EQ(pack(linuxPack("tool", {"--name", "Tool", "--version", "2.0", "--level", "3"})).exit_code, 0);
  const Bytes image = readBytes(out("tool"));
  const Bytes stub = readBytes(kElfStub);
  EXPECT_EQ(modeOf(out("tool")), 0755u);
  EXPECT_TRUE(std::equal(stub.begin(), stub.end(), image.begin()));

  const AppendedTrailer trailer = trailerOf(image);
  EXPECT_EQ(trailer.settings.offset, stub.size());
  EXPECT_EQ(trailer.payload.offset, trailer.settings.offset + trailer.settings.length);
  EXPECT_EQ(trailer.modes.offset, trailer.payload.offset + trailer.payload.length);
  EXPECT_EQ(trailer.modes.length, 1u);  // three files, one byte
  EXPECT_EQ(trailer.modes.offset + trailer.modes.length + kAppendedTrailerLength, image.size());

  const Bytes payload = regionOf(image, trailer.payload);
  const Bytes settings_bytes = regionOf(image, trailer.settings);
  LauncherSettings settings{};
  ASSERT_EQ(readLauncherSettings(settings_bytes.data(), settings_bytes.size(), settings).status, SettingsStatus::ok);
  EXPECT_EQ(unitsOf(settings.product), u"Tool");
  EXPECT_EQ(unitsOf(settings.version), u"2.0");
  EXPECT_EQ(unitsOf(settings.extraction_template), kLinuxExtractionTemplate);
  // The build id is that of the payload exactly as carried, as for the Windows launcher.
  const std::string build_id = hexDigits(sha256(payload.data(), payload.size()), kBuildIdLength / 2);
  EXPECT_EQ(unitsOf(settings.build_id), std::u16string(build_id.begin(), build_id.end()));

  // One thread or several: the same bytes.
  ASSERT_EQ(pack(linuxPack("again", {"--name", "Tool", "--version", "2.0", "--level", "3", "--threads", "1"})).exit_code, 0);
  EXPECT_EQ(readBytes(out("again")), image);

  // The Windows launcher of the same folder and values carries the same settings and payload.
  if (readStubOrSkip().empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
  ASSERT_EQ(pack({app.string(), "--main", "run", "--stub", getenv("ONEFILE_STUB"), "-o", out("tool.exe"), "--name", "Tool",
                  "--version", "2.0", "--level", "3", "--extract-to", "{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}"})
                .exit_code,
            0);
  const Bytes windows = readBytes(out("tool.exe"));
  EXPECT_EQ(payloadResource(windows), payload);
  const ResourceNode tree = readResourceTree(windows, readPeLayout(windows));
  const ResourceNode* windows_settings = findResource(tree, kRtRcdata, kSettingsResourceId);
  ASSERT_NE(windows_settings, nullptr);
  EXPECT_EQ(Bytes(windows.begin() + windows_settings->image_offset,
                  windows.begin() + windows_settings->image_offset + windows_settings->image_length),
            settings_bytes);
}

struct ModeCase {
  const char* path;  // below app
  mode_t mode;
  bool marked;
};

// The folder's owner-execute bit decides, and the program to start is marked whatever its mode.
const ModeCase kModeCases[] = {
    {"run", 0644, true},
    {"bin/tool", 0755, true},
    {"bin/owner-only", 0700, true},
    {"share/data.txt", 0644, false},
    {"share/group-runs-it", 0654, false},
    {"share/others-run-it", 0645, false},
};

std::u16string payloadNameOf(const std::string& path) {
  std::u16string name(path.begin(), path.end());
  for (char16_t& unit : name) {
    if (unit == u'/') unit = u'\\';
  }
  return name;
}

TEST_F(LinuxPack, EachFileIsMarkedExecutableAsTheFolderMarksItAndExtractGivesTheModesBack) {
  fs::remove_all(app);
  for (const ModeCase& c : kModeCases) putWithMode(app / c.path, textBytes(c.path), c.mode);
  ASSERT_EQ(pack(linuxPack("tool")).exit_code, 0);
  const Bytes image = readBytes(out("tool"));
  const AppendedTrailer trailer = trailerOf(image);
  const Bytes modes = regionOf(image, trailer.modes);
  const std::vector<std::u16string> names = payloadNames(regionOf(image, trailer.payload));
  ASSERT_EQ(names.size(), std::size(kModeCases));

  const fs::path target = scratch.path() / "extracted";
  ASSERT_EQ(runCommand({kTool, "extract", out("tool"), target.string()}).exit_code, 0);
  for (const ModeCase& c : kModeCases) {
    SCOPED_TRACE(c.path);
    const auto at = std::find(names.begin(), names.end(), payloadNameOf(c.path));
    ASSERT_NE(at, names.end());
    EXPECT_EQ(isExecutableEntry(modes.data(), modes.size(), static_cast<uint64_t>(at - names.begin())), c.marked);
    const mode_t extracted = modeOf(target / c.path);
    EXPECT_EQ((extracted & 0111) != 0, c.marked) << std::oct << extracted;
    if (c.marked) EXPECT_EQ(extracted & 0111, (extracted & 0444) >> 2) << std::oct << extracted;
  }
}

TEST_F(LinuxPack, ListVerifyAndExtractReadALinuxLauncher) {
  ASSERT_EQ(pack(linuxPack("tool", {"--name", "Tool", "--version", "2.0"})).exit_code, 0);

  const CommandResult listing = runCommand({kTool, "list", out("tool")});
  ASSERT_EQ(listing.exit_code, 0) << listing.err;
  EXPECT_NE(listing.out.find("\ntarget      linux-x86_64\n"), std::string::npos) << listing.out;
  EXPECT_NE(listing.out.find("\nextract to  {CACHE_DIR}/Tool/2.0-"), std::string::npos) << listing.out;
  EXPECT_EQ(listing.out.find("subsystem"), std::string::npos) << listing.out;
  for (const char* line : {"  run*\n", "  bin\\tool*\n", "  share\\data.txt\n"}) {
    EXPECT_NE(listing.out.find(line), std::string::npos) << line << listing.out;
  }
  EXPECT_NE(listing.out.find("3 files, "), std::string::npos) << listing.out;

  const CommandResult verifying = runCommand({kTool, "verify", out("tool")});
  EXPECT_EQ(verifying.exit_code, 0) << verifying.err;
  EXPECT_NE(verifying.out.find("verified 3 files"), std::string::npos) << verifying.out;

  const fs::path target = scratch.path() / "extracted";
  ASSERT_EQ(runCommand({kTool, "extract", out("tool"), target.string()}).exit_code, 0);
  EXPECT_EQ(snapshotTree(target), snapshotTree(app));
  // Modes changed on disk come back on the next extract, which writes nothing.
  ASSERT_EQ(chmod((target / "bin" / "tool").c_str(), 0644), 0);
  ASSERT_EQ(chmod((target / "share" / "data.txt").c_str(), 0755), 0);
  const CommandResult again = runCommand({kTool, "extract", out("tool"), target.string()});
  ASSERT_EQ(again.exit_code, 0) << again.err;
  EXPECT_NE(again.out.find("0 written, 3 already up to date"), std::string::npos) << again.out;
  EXPECT_EQ(modeOf(target / "bin" / "tool"), 0755u);
  EXPECT_EQ(modeOf(target / "share" / "data.txt"), 0644u);
}

struct DamageCase {
  const char* what;
  std::function<void(Bytes& image, const AppendedTrailer& trailer)> damage;
  const char* message;
  bool extract_reads_it;  // extract reads the payload only, not the settings
};

void setField(Bytes& image, size_t field_offset, uint64_t value) {
  writeU64(&image[image.size() - kAppendedTrailerLength + field_offset], value);
}

const DamageCase kDamageCases[] = {
    {"the stub alone", [](Bytes& image, const AppendedTrailer& t) { image.resize(t.settings.offset); },
     "is a Linux executable without a packed application (no trailer at its end)", true},
    {"one byte cut off the end", [](Bytes& image, const AppendedTrailer&) { image.pop_back(); },
     "is a Linux executable without a packed application (no trailer at its end)", true},
    {"a later layout", [](Bytes& image, const AppendedTrailer&) { image[image.size() - 8] = 2; },
     "was packed in a later layout of the appended data than this tool reads", true},
    {"a payload that reaches past the trailer",
     [](Bytes& image, const AppendedTrailer& t) { setField(image, 24, t.payload.length + 2); },
     "its trailer names regions outside the file or out of order: the file is damaged", true},
    {"a length that wraps around",
     [](Bytes& image, const AppendedTrailer&) { setField(image, 40, ~uint64_t{0}); },
     "its trailer names regions outside the file or out of order: the file is damaged", true},
    {"the payload before the settings' end",
     [](Bytes& image, const AppendedTrailer& t) { setField(image, 16, t.settings.offset + 1); },
     "its trailer names regions outside the file or out of order: the file is damaged", true},
    {"no settings offset", [](Bytes& image, const AppendedTrailer&) { setField(image, 0, 0); },
     "its trailer names regions outside the file or out of order: the file is damaged", true},
    {"a payload without its header",
     [](Bytes& image, const AppendedTrailer& t) { image[t.payload.offset] = 'X'; },
     "the appended payload does not begin with the payload header", true},
    {"damaged settings", [](Bytes& image, const AppendedTrailer& t) { image[t.settings.offset] = 'X'; },
     "its launcher settings (appended) cannot be read, so it would not start", false},
};

TEST_F(LinuxPack, ADamagedTrailerOrRegionIsRefusedWithOneLineAndNothingIsWritten) {
  ASSERT_EQ(pack(linuxPack("tool")).exit_code, 0);
  const Bytes image = readBytes(out("tool"));
  const AppendedTrailer trailer = trailerOf(image);
  for (const DamageCase& c : kDamageCases) {
    SCOPED_TRACE(c.what);
    Bytes damaged = image;
    c.damage(damaged, trailer);
    writeBytes(out("damaged"), damaged);
    const fs::path target = scratch.path() / "extracted";
    std::vector<std::vector<std::string>> commands = {{kTool, "list", out("damaged")}, {kTool, "verify", out("damaged")}};
    if (c.extract_reads_it) commands.push_back({kTool, "extract", out("damaged"), target.string()});
    for (const std::vector<std::string>& command : commands) {
      SCOPED_TRACE(command[1]);
      const CommandResult result = runCommand(command);
      EXPECT_EQ(result.exit_code, 1);
      EXPECT_EQ(result.out, "");
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    }
    EXPECT_FALSE(fs::exists(target));
  }
}

// Without --stub: beside the tool, in an installed prefix, then in the stub's own build tree.
TEST(DefaultStub, EachTargetLooksForItsOwnStubBesideTheToolInThePrefixAndInItsBuildTree) {
  const struct {
    PackTarget target;
    std::vector<fs::path> places;
  } kCases[] = {
      {PackTarget::windowsX86_64,
       {"/p/bin/onefile-launcher.exe", "/p/lib/onefile/onefile-launcher.exe", "/windows/bin/onefile-launcher.exe"}},
      {PackTarget::linuxX86_64,
       {"/p/bin/onefile-launcher", "/p/lib/onefile/onefile-launcher", "/host/bin/onefile-launcher"}},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(targetName(c.target));
    EXPECT_EQ(defaultStubPlaces("/p/bin", c.target), c.places);
  }
}

}  // namespace
