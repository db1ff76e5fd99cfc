#include "LinuxPack.h"

#include <string>
#include <vector>

#include "AppendedParts.h"
#include "ElfStub.h"
#include "IdentityResources.h"
#include "PackError.h"
#include "PackerPlatform.h"
#include "PayloadHeader.h"
#include "PayloadOutput.h"

namespace fs = std::filesystem;

namespace {

std::string shown(const fs::path& path) { return "'" + displayPath(path) + "'"; }

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
}  // namespace

void packLinuxLauncher(const PackRequest& request, const fs::path& stub_path) {
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
  PayloadOutput payload(output);
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
