#include "PackCommand.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "AppFolder.h"
#include "AppendedParts.h"
#include "Crc32.h"
#include "ElfStub.h"
#include "IdentityResources.h"
#include "ImageLimit.h"
#include "JobCompressor.h"
#include "LittleEndian.h"
#include "OrderedPool.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PayloadHeader.h"
#include "PayloadPlan.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PngCheck.h"
#include "ProgressLine.h"
#include "ResourceTree.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kCopyPiece = 1 << 20;

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

// At most this many finished jobs per thread wait for their turn to be written: enough that a
// slow job (a large file) does not idle the others at once, few enough to bound memory.
constexpr size_t kJobsWaitingPerThread = 3;

std::vector<PlannedFile> plannedFiles(const std::vector<AppFile>& files) {
  std::vector<PlannedFile> planned;
  planned.reserve(files.size());
  for (const AppFile& file : files) planned.push_back({file.name, file.size});
  return planned;
}

uint64_t sizeOfImage(const std::vector<uint8_t>& head, const PeLayout& layout) {
  return readU32(&head[layout.optional_header_offset + kOptionalSizeOfImage]);
}

// The payload resource on its way to the file. Hashed as it goes, for the build id (the first 8
// bytes of the SHA-256 of resource 27 exactly as embedded), and summed for the image checksum.
class ResourceStream final : public ByteSink {
 public:
  explicit ResourceStream(PartialOutput& output) : output_(output), copy_(kCopyPiece) { sha256Init(hash_); }
  void write(const char* data, size_t length) override {
    output_.write(data, length);
    sha256Update(hash_, data, length);
    sum_.add(reinterpret_cast<const uint8_t*>(data), length);
  }
  void append(JobOutput& piece) {
    write(piece.head.data(), piece.head.size());
    write(piece.bytes.data(), piece.bytes.size());
    if (!piece.spill) return;
    piece.spill->rewind();
    for (size_t count; (count = piece.spill->read(copy_.data(), copy_.size())) != 0;) write(copy_.data(), count);
    piece.spill.reset();
  }
  uint64_t length() const { return sum_.length(); }
  const PeChecksumSum& sum() const { return sum_; }
  Sha256Digest digest() { return sha256Final(hash_); }

 private:
  PartialOutput& output_;
  Sha256State hash_;
  PeChecksumSum sum_;
  std::vector<char> copy_;
};

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

// Gives the stub's resources the packed ones; the payload's bytes are streamed to the file, so its
// leaf only keeps their place. Done once with a placeholder build id to plan, and again with the
// real one: each step replaces what the one before set. The payload is set last, so that setting
// the others cannot move its leaf.
void placePackedResources(ResourceNode& resources, const std::vector<uint8_t>* splash, const Identity& identity,
                          const std::string& build_id, uint64_t payload_length) {
  if (splash != nullptr) setResource(resources, kRtRcdata, kSplashResourceId, kLanguageNeutral, *splash);
  applyIdentityResources(resources, identity.values, build_id, identity.icon, identity.manifest);
  ResourceNode& payload = setResource(resources, kRtRcdata, kPayloadResourceId, kLanguageNeutral, {});
  payload.streamed = true;
  payload.streamed_length = payload_length;
}

// Before any work: the payload at its largest must leave the executable within the image limit.
void requireRoomForPayload(const ImagePieces& planned, const PeLayout& layout, const PayloadPlan& plan) {
  const uint64_t data_alignment = std::max<uint64_t>(4096, layout.file_alignment);
  const std::string problem =
      imageLimitProblem(std::max<uint64_t>(planned.fileLength(), sizeOfImage(planned.head, layout)), plan.resource_bound,
                        2 * data_alignment + layout.section_alignment);
  if (!problem.empty()) throw PackError(problem);
}

// The planned jobs compressed on the request's threads and streamed to `payload` in order.
void compressPayload(const PackRequest& request, const std::vector<AppFile>& files, const PayloadPlan& plan,
                     ResourceStream& payload) {
  const int threads =
      request.threads > 0 ? request.threads : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  ProgressLine progress(request.progress, plan.data_bytes);
  std::atomic<uint64_t> bytes_read{0};
  std::atomic<bool> stop{false};
  JobInputs inputs;
  inputs.files = &files;
  inputs.spill_directory = request.output.has_parent_path() ? request.output.parent_path() : fs::path(".");
  inputs.before_read = request.before_read;
  inputs.stop = &stop;
  inputs.bytes_read = &bytes_read;
  if (request.layout == PayloadLayout::singleFrame) {
    // One frame: zstd's own threads share it.
    inputs.on_piece = [&] { progress.update(bytes_read); };
    JobCompressor compressor(request.level, threads, request.layout, inputs);
    compressor.compressWhole(plan.jobs.front(), payload);
    return;
  }
  // One thread compresses the large files' frames on its own compressor: a second one would only
  // add its memory.
  SharedCompressor shared(request.level, threads, request.layout);
  const size_t window = kJobsWaitingPerThread * static_cast<size_t>(threads);
  BufferShelf shelf(window + static_cast<size_t>(threads));
  inputs.shelf = &shelf;
  if (threads > 1) inputs.shared = &shared;
  std::vector<std::unique_ptr<JobCompressor>> compressors;
  compressors.reserve(static_cast<size_t>(threads));
  for (int thread = 0; thread < threads; ++thread) {
    compressors.push_back(std::make_unique<JobCompressor>(request.level, 1, request.layout, inputs));
  }
  runInOrder<JobOutput>(
      plan.jobs.size(), threads, window, stop,
      [&](size_t job, int thread) { return compressors[thread]->compress(plan.jobs[job]); },
      [&](size_t, JobOutput& piece) {
        payload.append(piece);
        shelf.give(std::move(piece.bytes));
        progress.update(bytes_read);
      });
}

// The target asked for, else the stub's; a stub of the other kind than the one asked for is
// refused. A stub of neither kind is left to the target's own reader to refuse.
PackTarget targetOf(const PackRequest& request, const fs::path& stub_path) {
  if (!request.stub) return request.target.value_or(kDefaultTarget);
  uint8_t start[4] = {};
  InputFile stub(stub_path);
  const std::optional<PackTarget> shown_by_stub = targetOfExecutable(ByteView(start, stub.read(start, sizeof start)));
  if (!request.target) return shown_by_stub.value_or(kDefaultTarget);
  if (shown_by_stub && *shown_by_stub != *request.target) {
    throw PackError(std::string("--target ") + targetName(*request.target) + " does not fit the stub " + shown(stub_path) +
                    ", which is a " + targetName(*shown_by_stub) + " executable");
  }
  return *request.target;
}

// What only a PE image can carry: each option given for the Linux launcher is refused.
void refuseWindowsOnlyOptions(const PackRequest& request) {
  const IdentityOptions& identity = request.identity;
  const struct {
    bool given;
    const char* option;
    const char* why;
  } kWindowsOnly[] = {
      {request.splash.has_value(), "--splash", "it shows no splash image"},
      {request.subsystem == Subsystem::console, "--console", "it has no subsystem to choose"},
      {request.subsystem == Subsystem::windowed, "--windowed", "it has no subsystem to choose"},
      {identity.icon.has_value(), "--icon", "an ELF executable carries no icon"},
      {identity.manifest.has_value(), "--manifest", "an ELF executable carries no manifest"},
      {identity.description.has_value(), "--description", "it has no version resource to hold it"},
      {identity.copyright.has_value(), "--copyright", "it has no version resource to hold it"},
  };
  for (const auto& option : kWindowsOnly) {
    if (option.given) {
      throw PackError(std::string(option.option) + " has no meaning for the target " +
                      targetName(PackTarget::linuxX86_64) + ": " + option.why);
    }
  }
}

std::vector<uint8_t> readElfStub(const fs::path& path) {
  std::vector<uint8_t> stub = readWholeFile(path);
  const std::string problem = elfStubProblem(stub);
  if (!problem.empty()) throw PackError("the stub " + shown(path) + " is not an ELF executable for x86-64: " + problem);
  return stub;
}

// The program to start is always marked: the launcher hands over to it by running it.
std::vector<bool> executableFlags(const std::vector<AppFile>& files) {
  std::vector<bool> flags;
  flags.reserve(files.size());
  for (const AppFile& file : files) flags.push_back(flags.empty() || file.executable);
  return flags;
}

// The stub unchanged, then the settings, the payload, the modes and the trailer (AppendedTrailer.h).
// The settings hold the build id, known only once the payload is written: they go out first with
// a stand-in of the same length and are written again at the end.
void packLinuxApplication(const PackRequest& request, const fs::path& stub_path) {
  refuseWindowsOnlyOptions(request);
  const std::vector<uint8_t> stub = readElfStub(stub_path);
  const std::vector<AppFile> files = collectAppFiles(request.folder, request.main, LinkRule::refuse);
  for (const AppFile& file : files) requireOutputIsNoInput(request.output, file.path, "application file");
  const MainProgramResources main = readMainProgramResources(files.front().path);
  const AppIdentity identity = resolveIdentity(request.identity, main.version, outputName(request.output),
                                               kLinuxExtractionTemplate);
  const PayloadPlan plan = planPayload(plannedFiles(files), request.layout);

  std::vector<uint8_t> head = stub;
  const std::vector<uint8_t> planned_settings = settingsResource(identity, std::string(kBuildIdLength, '0'));
  head.insert(head.end(), planned_settings.begin(), planned_settings.end());
  PartialOutput output(request.output);
  output.write(head.data(), head.size());
  ResourceStream payload(output);
  payload.write(plan.prefix.data(), plan.prefix.size());
  compressPayload(request, files, plan, payload);
  const std::string payload_trailer = payloadTrailer(payload.length());
  payload.write(payload_trailer.data(), payload_trailer.size());

  const std::vector<uint8_t> modes = modeBits(executableFlags(files));
  output.write(modes.data(), modes.size());
  AppendedTrailer trailer{};
  trailer.settings = {stub.size(), planned_settings.size()};
  trailer.payload = {head.size(), payload.length()};
  trailer.modes = {head.size() + payload.length(), modes.size()};
  uint8_t trailer_bytes[kAppendedTrailerLength];
  writeAppendedTrailer(trailer, trailer_bytes);
  output.write(trailer_bytes, sizeof trailer_bytes);

  const std::vector<uint8_t> settings = settingsResource(identity, hexDigits(payload.digest(), kBuildIdLength / 2));
  if (settings.size() != planned_settings.size()) throw PackError("the settings changed length when the build id was set");
  head.resize(stub.size());
  head.insert(head.end(), settings.begin(), settings.end());
  output.rewriteStart(head.data(), head.size());
  output.makeExecutable();
  output.commit();
}

}  // namespace

std::vector<fs::path> defaultStubPlaces(const fs::path& tool_directory, PackTarget target) {
  const bool linux_stub = target == PackTarget::linuxX86_64;
  const char* const name = linux_stub ? kLinuxStubFileName : kStubFileName;
  const fs::path places[] = {
      tool_directory / name,
      tool_directory / ONEFILE_STUB_DIRECTORY_FROM_TOOL / name,
      tool_directory / ".." / ".." / (linux_stub ? "host" : "windows") / "bin" / name,
  };
  std::vector<fs::path> found;
  for (const fs::path& place : places) {
    const fs::path normal = place.lexically_normal();
    if (std::find(found.begin(), found.end(), normal) == found.end()) found.push_back(normal);
  }
  return found;
}

fs::path locateDefaultStub(PackTarget target) {
  const std::optional<fs::path> tool = currentExecutablePath();
  if (!tool) throw PackError("cannot find the launcher stub: the tool's own path is unknown; name a stub with --stub EXE");
  const std::vector<fs::path> places = defaultStubPlaces(tool->parent_path(), target);
  std::string looked;
  for (const fs::path& place : places) {
    std::error_code error;
    if (fs::is_regular_file(place, error)) return place;
    looked += (looked.empty() ? "" : &place == &places.back() ? " and " : ", ") + shown(place);
  }
  throw PackError("no launcher stub found: looked for " + looked + "; name one with --stub EXE");
}

void packApplication(const PackRequest& request) {
  const fs::path stub_path = request.stub ? *request.stub : locateDefaultStub(request.target.value_or(kDefaultTarget));
  std::error_code error;
  if (fs::is_directory(request.output, error)) throw PackError("the output " + shown(request.output) + " is a folder");
  requireOutputIsNoInput(request.output, stub_path, "stub");
  if (targetOf(request, stub_path) == PackTarget::linuxX86_64) {
    packLinuxApplication(request, stub_path);
    return;
  }
  if (request.splash) requireOutputIsNoInput(request.output, *request.splash, "splash image");
  if (request.identity.icon) requireOutputIsNoInput(request.output, *request.identity.icon, "icon");
  if (request.identity.manifest) requireOutputIsNoInput(request.output, *request.identity.manifest, "manifest");

  Stub stub = readStub(stub_path);
  std::vector<uint8_t> splash;
  if (request.splash) splash = readSplash(*request.splash);

  const std::vector<AppFile> files = collectAppFiles(request.folder, request.main);
  for (const AppFile& file : files) requireOutputIsNoInput(request.output, file.path, "application file");
  const Identity identity = readIdentity(request.identity, files.front(), request.output);

  writeSubsystem(stub.image, stub.layout, request.subsystem ? *request.subsystem : subsystemOfMain(files.front().path));

  const PayloadPlan plan = planPayload(plannedFiles(files), request.layout);
  const std::vector<uint8_t>* splash_bytes = request.splash ? &splash : nullptr;
  placePackedResources(stub.resources, splash_bytes, identity, std::string(kBuildIdLength, '0'), 0);
  const ImagePieces planned = rebuildAroundStreamed(stub.image, stub.layout, stub.placement, stub.resources, nullptr);
  requireRoomForPayload(planned, stub.layout, plan);

  PartialOutput output(request.output);
  output.write(planned.head.data(), planned.head.size());  // rewritten once the payload is known
  ResourceStream payload(output);
  payload.write(plan.prefix.data(), plan.prefix.size());
  compressPayload(request, files, plan, payload);
  const std::string trailer = payloadTrailer(payload.length());
  payload.write(trailer.data(), trailer.size());

  const std::string build_id = hexDigits(payload.digest(), kBuildIdLength / 2);
  placePackedResources(stub.resources, splash_bytes, identity, build_id, payload.length());
  const ImagePieces packed = rebuildAroundStreamed(stub.image, stub.layout, stub.placement, stub.resources, &payload.sum());
  if (packed.head.size() != planned.head.size()) throw PackError("the payload moved in the executable while it was written");
  output.write(packed.tail.data(), packed.tail.size());
  output.rewriteStart(packed.head.data(), packed.head.size());
  output.commit();
}
