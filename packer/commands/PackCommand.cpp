#include "PackCommand.h"

#include <algorithm>
#include <vector>

#include "AppFolder.h"
#include "IdentityResources.h"
#include "ImageLimit.h"
#include "LinuxPack.h"
#include "LittleEndian.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PayloadHeader.h"
#include "PayloadOutput.h"
#include "PayloadPlan.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PngCheck.h"
#include "ResourceTree.h"
#include "Sha256.h"

namespace fs = std::filesystem;

namespace {

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

uint64_t sizeOfImage(const std::vector<uint8_t>& head, const PeLayout& layout) {
  return readU32(&head[layout.optional_header_offset + kOptionalSizeOfImage]);
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
    packLinuxLauncher(request, stub_path);
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
  PayloadOutput payload(output);
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
