#include "InspectCommands.h"

#include <stdio.h>

#include <memory>
#include <string>
#include <vector>

#include "AppIdentity.h"
#include "AppendedParts.h"
#include "Crc32.h"
#include "DirectorySeparators.h"
#include "LauncherSettings.h"
#include "PackError.h"
#include "PackTarget.h"
#include "PackerPlatform.h"
#include "PayloadHeader.h"
#include "PayloadReader.h"
#include "PeImage.h"
#include "PeSubsystem.h"
#include "ResourceTree.h"
#include "TextEncoding.h"

namespace fs = std::filesystem;

namespace {

std::string hex8(uint32_t value) {
  char text[9];
  snprintf(text, sizeof text, "%08x", value);
  return text;
}

std::string quotedName(const std::u16string& name) { return "'" + printableUtf8(name) + "'"; }

std::vector<std::u16string> componentsOf(const std::u16string& name) {
  std::vector<std::u16string> components(1);
  for (char16_t unit : name) {
    if (unit == u'\\' || unit == u'/') {
      components.emplace_back();
    } else {
      components.back() += unit;
    }
  }
  return components;
}

// The checksum of the file as the launcher computes it for its cache test: 0 when there is no
// readable regular file.
uint32_t checksumOnDisk(const fs::path& path) {
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return 0;
  try {
    InputFile file(path);
    uint8_t piece[1 << 16];
    uint32_t crc = 0;
    for (size_t count; (count = file.read(piece, sizeof piece)) != 0;) crc = crc32Update(crc, piece, count);
    return storedChecksum(crc);
  } catch (const PackError&) {
    return 0;
  }
}

void discard(const uint8_t*, size_t) {}

std::unique_ptr<LauncherSettings> settingsFrom(ByteView bytes, const std::string& shown, const char* where) {
  auto settings = std::make_unique<LauncherSettings>();
  const SettingsResult result = readLauncherSettings(bytes.data(), bytes.size(), *settings);
  if (result.status != SettingsStatus::ok) {
    char reason[128];
    describeSettingsProblem(result, reason, sizeof reason);
    throw PackError(shown + ": its launcher settings (" + where + ") cannot be read, so it would not start: " + reason);
  }
  return settings;
}

// The settings a start of the executable uses; null when it has no settings resource (then its
// stub's compiled values apply). Throws PackError when the resource cannot be read, as the
// launcher would refuse it.
std::unique_ptr<LauncherSettings> readPackedSettings(ByteView image, const std::string& shown) {
  ResourceNode tree;
  try {
    tree = readResourceTree(image, readPeLayout(image), false);
  } catch (const PackError& error) {
    throw PackError(shown + ": " + error.what());
  }
  const ResourceNode* resource = findResource(tree, kRtRcdata, kSettingsResourceId);
  if (resource == nullptr) return nullptr;
  return settingsFrom(ByteView(image.data() + resource->image_offset, resource->image_length), shown, "resource 29");
}

// What the commands read of a packed executable of either target.
struct Packed {
  PackTarget target = kDefaultTarget;
  ByteView payload;
  AppendedParts appended;  // linux only
};

// The payload of a Windows launcher (resource 27) or of a Linux one (behind its trailer).
Packed readPacked(ByteView image, const std::string& shown) {
  Packed packed;
  packed.target = targetOfExecutable(image).value_or(kDefaultTarget);
  if (packed.target == PackTarget::windowsX86_64) {
    packed.payload = payloadResourceOf(image, shown);
    return packed;
  }
  packed.appended = appendedPartsOf(image, shown);
  packed.payload = packed.appended.payload;
  if (!hasPayloadHeader(packed.payload.data(), packed.payload.size())) {
    throw PackError(shown + ": the appended payload does not begin with the payload header");
  }
  return packed;
}

// The settings of either target, as readPackedSettings.
std::unique_ptr<LauncherSettings> readSettingsOf(const Packed& packed, ByteView image, const std::string& shown) {
  if (packed.target == PackTarget::windowsX86_64) return readPackedSettings(image, shown);
  if (packed.appended.settings.empty()) return nullptr;
  return settingsFrom(packed.appended.settings, shown, "appended");
}

void listIdentity(const LauncherSettings* packed, PackTarget target, const std::string& kind_line, std::ostream& out) {
  const LauncherSettings& settings = packed != nullptr ? *packed : compiledLauncherSettings();
  if (packed == nullptr) out << "settings    none: the stub's own values (those of this build's stub shown)\n";
  out << "product     " << printableUtf8(unitsOf(settings.product)) << "\n";
  out << "version     " << printableUtf8(unitsOf(settings.version)) << "\n";
  out << "company     " << (settings.company[0] != 0 ? printableUtf8(unitsOf(settings.company)) : "(none)") << "\n";
  out << "build id    " << (settings.build_id[0] != 0 ? printableUtf8(unitsOf(settings.build_id)) : "(none)") << "\n";
  // As --keep-builds takes it.
  out << "keep builds "
      << (settings.keep_builds == kKeepAllBuilds ? std::string("all") : std::to_string(settings.keep_builds)) << "\n";
  // As --verify takes it.
  out << "verify      " << (settings.verify == VerifyMode::changed ? "changed" : "all") << "\n";
  out << kind_line << "\n";
  // Shown with the separators a start will use, beside the template as it was given. A Linux
  // start takes the template's characters as they are.
  const std::u16string shown = templateWithIdentity(settings);
  std::vector<WideUnit> directory(shown.begin(), shown.end());
  directory.push_back(0);
  if (target == PackTarget::windowsX86_64) normalizeDirectorySeparators(directory.data());
  out << "extract to  " << printableUtf8(unitsOf(directory.data())) << "  (template "
      << printableUtf8(unitsOf(settings.extraction_template)) << ")\n";
}

std::string shownPath(const fs::path& executable) { return "'" + displayPath(executable) + "'"; }

}  // namespace

// The executable is mapped, not read: its payload is decoded in place, piece by piece.
void listPayload(const fs::path& executable, std::ostream& out) {
  const MappedFile file(executable);
  const ByteView image = file.bytes();
  const Packed packed = readPacked(image, shownPath(executable));
  const std::unique_ptr<LauncherSettings> settings = readSettingsOf(packed, image, shownPath(executable));
  const ByteView resource = packed.payload;
  const bool linux_launcher = packed.target == PackTarget::linuxX86_64;
  // A Windows launcher shows its subsystem, which tells how it starts; a Linux one has none.
  listIdentity(settings.get(), packed.target,
               linux_launcher ? std::string("target      ") + targetName(packed.target)
                              : "subsystem   " + subsystemName(readSubsystemField(image, readPeLayout(image))),
               out);
  PayloadReader reader(resource);
  out << "        size  checksum  name\n";
  uint64_t files = 0;
  uint64_t bytes = 0;
  PayloadRecord record;
  while (reader.next(record)) {
    reader.readData(discard);
    char size[32];
    snprintf(size, sizeof size, "%12llu", static_cast<unsigned long long>(record.size));
    // A Linux launcher's programs are marked, as ls -F marks them.
    const char* mark = linux_launcher && isMarkedExecutable(packed.appended, files) ? "*" : "";
    out << size << "  " << hex8(record.stored_checksum) << "  " << printableUtf8(record.name) << mark << "\n";
    files += 1;
    bytes += record.size;
  }
  out << files << " files, " << bytes << " bytes; " << (linux_launcher ? "the payload" : "resource 27") << " holds "
      << resource.size() << " bytes ("
      << reader.compressedLength() << " compressed in " << reader.frameCount()
      << (reader.frameCount() == 1 ? " frame" : " frames") << ", " << reader.trailingLength() << " trailing)\n";
}

void verifyPayload(const fs::path& executable, std::ostream& out) {
  const MappedFile file(executable);
  const Packed packed = readPacked(file.bytes(), shownPath(executable));
  readSettingsOf(packed, file.bytes(), shownPath(executable));
  PayloadReader reader(packed.payload);
  uint64_t files = 0;
  uint64_t bytes = 0;
  PayloadRecord record;
  while (reader.next(record)) {
    const uint32_t actual = reader.readData(discard);
    if (actual != record.stored_checksum) {
      throw PackError("the data of " + quotedName(record.name) + " has checksum " + hex8(actual) + ", not the stored " +
                      hex8(record.stored_checksum) + ": the payload is damaged");
    }
    files += 1;
    bytes += record.size;
  }
  reader.requireFrameEnd();
  out << "verified " << files << " files, " << bytes << " bytes: every checksum matches\n";
}

void extractPayloadTo(const fs::path& executable, const fs::path& directory, std::ostream& out) {
  const MappedFile packed_file(executable);
  const Packed packed = readPacked(packed_file.bytes(), shownPath(executable));
  const bool linux_launcher = packed.target == PackTarget::linuxX86_64;
  PayloadReader reader(packed.payload);
  uint64_t written = 0;
  uint64_t kept = 0;
  PayloadRecord record;
  for (uint64_t index = 0; reader.next(record); ++index) {
    const std::optional<fs::path> path = pathOfComponents(directory, componentsOf(record.name));
    if (!path) throw PackError("the payload name " + quotedName(record.name) + " cannot be a file name on this system");
    // Kept or written, a Linux launcher's file gets the mode a start gives it.
    const auto setMode = [&] {
      if (linux_launcher) setExecutable(*path, isMarkedExecutable(packed.appended, index));
    };
    if (checksumOnDisk(*path) == record.stored_checksum) {
      reader.readData(discard);
      setMode();
      kept += 1;
      continue;
    }
    std::error_code error;
    fs::create_directories(path->parent_path(), error);
    if (error) throw PackError("cannot create folder '" + displayPath(path->parent_path()) + "': " + error.message());
    OutputFile file(*path);
    const uint32_t actual = reader.readData([&](const uint8_t* data, size_t length) { file.write(data, length); });
    file.close();
    if (actual != record.stored_checksum) {
      throw PackError("the data of " + quotedName(record.name) + " does not match its stored checksum: the payload is damaged");
    }
    setMode();
    written += 1;
  }
  out << "extracted " << written + kept << " files into '" << displayPath(directory) << "': " << written << " written, "
      << kept << " already up to date\n";
}
