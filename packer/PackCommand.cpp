#include "PackCommand.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "AppFolder.h"
#include "Crc32.h"
#include "IdentityResources.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PayloadHeader.h"
#include "PayloadWriter.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PngCheck.h"
#include "ProgressLine.h"
#include "ResourceTree.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kPieceSize = 1 << 20;

std::string shown(const fs::path& path) { return "'" + displayPath(path) + "'"; }

struct Stub {
  std::vector<uint8_t> image;
  PeLayout layout;
  ResourcePlacement placement;
  ResourceNode resources;
};

Stub readStub(const fs::path& path) {
  Stub stub;
  stub.image = readWholeFile(path);
  try {
    stub.layout = readPeLayout(stub.image);
  } catch (const PackError& error) {
    throw PackError("the stub " + shown(path) + " is not a PE32+ executable for x86-64: " + error.what());
  }
  try {
    stub.placement = planResourcePlacement(stub.image, stub.layout);
    stub.resources = readResourceTree(stub.image, stub.layout);
  } catch (const PackError& error) {
    throw PackError("the stub " + shown(path) + " cannot take the payload: " + error.what());
  }
  return stub;
}

std::vector<uint8_t> readSplash(const fs::path& path) {
  std::vector<uint8_t> png = readWholeFile(path);
  const std::string problem = pngHeaderProblem(png);
  if (!problem.empty()) throw PackError("the splash image " + shown(path) + " is not a PNG image: " + problem);
  return png;
}

// The main program's subsystem, which the launcher takes on so that a console shell treats the
// packed program as it would treat the program itself.
Subsystem subsystemOfMain(const fs::path& path) {
  const std::vector<uint8_t> image = readWholeFile(path);
  const std::string hint = "; say which the launcher should be with --console or --windowed";
  PeLayout layout;
  try {
    layout = readPeLayout(image);
  } catch (const PackError& error) {
    throw PackError("cannot tell whether the main program " + shown(path) + " is a console or a windowed program: " +
                    error.what() + hint);
  }
  const uint16_t field = readSubsystemField(image, layout);
  const std::optional<Subsystem> subsystem = launcherSubsystem(field);
  if (!subsystem) {
    throw PackError("the main program " + shown(path) + " is for subsystem " + subsystemName(field) +
                    ", which Windows does not start as a console or a windowed program");
  }
  return *subsystem;
}

bool sameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error);
}

void requireOutputIsNoInput(const fs::path& output, const fs::path& input, const std::string& role) {
  if (sameFile(output, input)) throw PackError("the output " + shown(output) + " is the " + role + " itself; choose another name");
}

struct FileStamp {
  uint64_t size;
  fs::file_time_type time;
  bool operator==(const FileStamp& other) const { return size == other.size && time == other.time; }
};

FileStamp stampOf(const AppFile& file) {
  std::error_code error;
  FileStamp stamp{fs::file_size(file.path, error), {}};
  if (!error) stamp.time = fs::last_write_time(file.path, error);
  if (error) throw PackError("cannot read " + shown(file.path) + ": " + error.message());
  return stamp;
}

[[noreturn]] void failChanged(const AppFile& file) {
  throw PackError(shown(file.path) + " changed while it was being packed; pack again when it is no longer written to");
}

// Two passes over each file: the record stores size and checksum before the data, and comparing
// the passes (and the file's size and time around them) catches a file that is being written.
class PayloadBuilder {
 public:
  PayloadBuilder(int level, int workers, PayloadLayout layout, ProgressLine& progress)
      : writer_(level, workers, layout),
        piece_(kPieceSize),
        progress_(progress) {}

  void add(const AppFile& file) {
    const FileStamp before = stampOf(file);
    InputFile input(file.path);
    uint64_t length = 0;
    uint32_t crc = 0;
    for (size_t count; (count = input.read(piece_.data(), piece_.size())) != 0; length += count) {
      crc = crc32Update(crc, piece_.data(), count);
    }
    if (length != before.size) failChanged(file);
    input.rewind();
    writer_.beginEntry(file.name, length, storedChecksum(crc));
    uint64_t fed = 0;
    uint32_t fed_crc = 0;
    for (size_t count; (count = input.read(piece_.data(), piece_.size())) != 0;) {
      if (count > length - fed) failChanged(file);
      fed_crc = crc32Update(fed_crc, piece_.data(), count);
      writer_.addData(piece_.data(), count);
      fed += count;
      progress_.update(files_, bytes_ + fed);
    }
    if (fed != length || fed_crc != crc || !(stampOf(file) == before)) failChanged(file);
    files_ += 1;
    bytes_ += length;
    progress_.update(files_, bytes_);
  }

  std::vector<uint8_t> finish() {
    // The worker threads may still be compressing the last pieces.
    progress_.update(files_, bytes_, true);
    const std::string resource = writer_.finish();
    return std::vector<uint8_t>(resource.begin(), resource.end());
  }

 private:
  PayloadWriter writer_;
  std::vector<uint8_t> piece_;
  ProgressLine& progress_;
  uint64_t files_ = 0;
  uint64_t bytes_ = 0;
};

// Names the payload's content: the same files give the same id, any changed byte another, so that
// each build gets a folder of its own. The bytes embedded are hashed, nothing else of the image.
std::string buildIdOf(const std::vector<uint8_t>& payload) {
  return hexDigits(sha256(payload.data(), payload.size()), kBuildIdLength / 2);
}

std::u16string outputName(const fs::path& output) {
  const std::optional<std::u16string> name = entryNameUnits(output.filename());
  if (!name || name->empty()) throw PackError("the output " + shown(output) + " has no file name that Windows can show");
  return *name;
}

// The identity and its resources, all read and checked before the long work of compressing.
struct Identity {
  AppIdentity values;
  std::vector<IconImage> icon;
  std::optional<std::vector<uint8_t>> manifest;
};

Identity readIdentity(const IdentityOptions& options, const AppFile& main_program, const fs::path& output) {
  Identity identity;
  if (options.icon) identity.icon = readIconOption(*options.icon);
  if (options.manifest) identity.manifest = readManifestOption(*options.manifest);
  const MainProgramResources main = readMainProgramResources(main_program.path);
  identity.values = resolveIdentity(options, main.version, outputName(output));
  if (!options.icon) {
    if (!main.icon_problem.empty()) {
      throw PackError("the main program's icon group, the default icon, cannot be read (" + main.icon_problem +
                      "); give an icon with --icon");
    }
    identity.icon = main.icon;
  }
  return identity;
}

}  // namespace

std::vector<fs::path> defaultStubPlaces(const fs::path& tool_directory) {
  const fs::path places[] = {
      tool_directory / kStubFileName,
      tool_directory / ONEFILE_STUB_DIRECTORY_FROM_TOOL / kStubFileName,
      tool_directory / ".." / ".." / "windows" / "bin" / kStubFileName,
  };
  std::vector<fs::path> found;
  for (const fs::path& place : places) {
    const fs::path normal = place.lexically_normal();
    if (std::find(found.begin(), found.end(), normal) == found.end()) found.push_back(normal);
  }
  return found;
}

fs::path locateDefaultStub() {
  const std::optional<fs::path> tool = currentExecutablePath();
  if (!tool) throw PackError("cannot find the launcher stub: the tool's own path is unknown; name a stub with --stub EXE");
  const std::vector<fs::path> places = defaultStubPlaces(tool->parent_path());
  std::string looked;
  for (const fs::path& place : places) {
    std::error_code error;
    if (fs::is_regular_file(place, error)) return place;
    looked += (looked.empty() ? "" : &place == &places.back() ? " and " : ", ") + shown(place);
  }
  throw PackError("no launcher stub found: looked for " + looked + "; name one with --stub EXE");
}

void packApplication(const PackRequest& request) {
  const fs::path stub_path = request.stub ? *request.stub : locateDefaultStub();
  std::error_code error;
  if (fs::is_directory(request.output, error)) throw PackError("the output " + shown(request.output) + " is a folder");
  requireOutputIsNoInput(request.output, stub_path, "stub");
  if (request.splash) requireOutputIsNoInput(request.output, *request.splash, "splash image");
  if (request.identity.icon) requireOutputIsNoInput(request.output, *request.identity.icon, "icon");
  if (request.identity.manifest) requireOutputIsNoInput(request.output, *request.identity.manifest, "manifest");

  Stub stub = readStub(stub_path);
  std::vector<uint8_t> splash;
  if (request.splash) splash = readSplash(*request.splash);

  const std::vector<AppFile> files = collectAppFiles(request.folder, request.main);
  uint64_t total_bytes = 0;
  for (const AppFile& file : files) {
    requireOutputIsNoInput(request.output, file.path, "application file");
    total_bytes += file.size;
  }
  const Identity identity = readIdentity(request.identity, files.front(), request.output);

  writeSubsystem(stub.image, stub.layout, request.subsystem ? *request.subsystem : subsystemOfMain(files.front().path));

  ProgressLine progress(request.show_progress, files.size(), total_bytes);
  const int workers =
      request.workers > 0 ? request.workers : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  PayloadBuilder builder(request.level, workers, request.layout, progress);
  for (const AppFile& file : files) builder.add(file);
  std::vector<uint8_t> payload = builder.finish();
  const std::string build_id = buildIdOf(payload);
  setResource(stub.resources, kRtRcdata, kPayloadResourceId, kLanguageNeutral, std::move(payload));
  if (request.splash) setResource(stub.resources, kRtRcdata, kSplashResourceId, kLanguageNeutral, std::move(splash));
  applyIdentityResources(stub.resources, identity.values, build_id, identity.icon, identity.manifest);
  std::vector<uint8_t> packed = rebuildWithResources(stub.image, stub.layout, stub.placement, stub.resources);
  stub.resources = ResourceNode{};
  progress.finish();
  replaceFileAtomically(request.output, packed);
}
