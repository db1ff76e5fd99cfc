// Writes the seed inputs of the fuzz corpora: small valid inputs of each format and the faults the
// readers must refuse (each fault found so far has its reproducer here). Its output is committed;
// run it again (fuzz-seeds tests/fuzz/corpus) only when a seed should change.
//
// The executables are tiny PE32+ images made here, not the launcher stub: a few kilobytes with
// the stub's kinds of resources (icon, icon group, version, manifest) mutate far faster than the
// stub's 300 KiB of code, and a corpus that does not change with every build replays the same.
#include <stdint.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "AppendedParts.h"
#include "AppendedTrailer.h"
#include "BuildRecord.h"
#include "Crc32.h"
#include "IconFile.h"
#include "LauncherSettings.h"
#include "LittleEndian.h"
#include "PackerTestSupport.h"
#include "PeImage.h"
#include "PayloadHeader.h"
#include "PayloadWriter.h"
#include "ResourceTree.h"
#include "SettingsBytes.h"
#include "VersionResource.h"

namespace {

typedef std::vector<uint8_t> Bytes;

constexpr uint32_t kFileAlignment = 0x200;
constexpr uint32_t kSectionAlignment = 0x1000;
constexpr size_t kOptionalHeaderSize = 0xF0;

void save(const std::string& directory, const std::string& name, const std::string& bytes) {
  std::filesystem::create_directories(directory);
  std::ofstream(directory + "/" + name, std::ios::binary) << bytes;
}
void save(const std::string& directory, const std::string& name, const Bytes& bytes) {
  save(directory, name, std::string(bytes.begin(), bytes.end()));
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

struct SectionPlan {
  const char* name;
  Bytes data;
  uint32_t virtual_size;
  uint32_t characteristics;
};

// A PE32+ executable for x86-64 with the given sections, in this order, each at the next page in
// memory and the next 512 bytes in the file. Data directories: resources and relocations where a
// section of that name is given.
Bytes tinyImage(std::vector<SectionPlan> sections, const ResourceNode* resources) {
  const size_t headers = 0x200;
  Bytes image(headers, 0);
  image[0] = 'M';
  image[1] = 'Z';
  writeU32(&image[0x3C], 0x40);
  writeU32(&image[0x40], 0x00004550);  // "PE\0\0"
  uint8_t* coff = &image[0x44];
  writeU16(coff, 0x8664);
  writeU16(coff + 2, static_cast<uint16_t>(sections.size()));
  writeU16(coff + 16, kOptionalHeaderSize);
  writeU16(coff + 18, 0x0022);  // executable, large addresses
  uint8_t* optional = coff + 20;
  writeU16(optional, 0x20B);
  writeU32(optional + 16, 0x1000);  // entry point
  writeU32(optional + 20, 0x1000);  // base of code
  writeU64(optional + 24, 0x140000000ull);
  writeU32(optional + 32, kSectionAlignment);
  writeU32(optional + 36, kFileAlignment);
  writeU16(optional + 40, 4);
  writeU16(optional + 48, 5);
  writeU16(optional + 50, 2);
  writeU32(optional + 60, headers);
  writeU16(optional + 68, 2);  // GUI
  writeU16(optional + 70, 0x0160);
  writeU64(optional + 72, 0x200000);
  writeU64(optional + 80, 0x1000);
  writeU64(optional + 88, 0x100000);
  writeU64(optional + 96, 0x1000);
  writeU32(optional + 108, 16);

  // Offsets from here on: the image grows, and pointers into it would dangle.
  const size_t optional_at = 0x44 + 20;
  uint32_t address = kSectionAlignment;
  size_t header_at = optional_at + kOptionalHeaderSize;
  for (SectionPlan& section : sections) {
    if (std::string(section.name) == ".rsrc" && resources != nullptr) {
      section.data = writeResourceSection(*resources, address);
      section.virtual_size = static_cast<uint32_t>(section.data.size());
    }
    const uint32_t raw_size = static_cast<uint32_t>(alignUp(section.data.size(), kFileAlignment));
    const uint32_t raw_pointer = static_cast<uint32_t>(image.size());
    uint8_t* header = &image[header_at];
    std::copy(section.name, section.name + std::char_traits<char>::length(section.name), header);
    writeU32(header + 8, section.virtual_size);
    writeU32(header + 12, address);
    writeU32(header + 16, raw_size);
    writeU32(header + 20, raw_pointer);
    writeU32(header + 36, section.characteristics);
    const std::string name = section.name;
    if (name == ".rsrc" || name == ".reloc") {
      const size_t directory = optional_at + 112 + 8 * size_t{name == ".rsrc" ? kResourceDirectoryIndex : kRelocationDirectoryIndex};
      writeU32(&image[directory], address);
      writeU32(&image[directory + 4], section.virtual_size);
    }
    image.insert(image.end(), section.data.begin(), section.data.end());
    image.resize(raw_pointer + raw_size, 0);
    address += static_cast<uint32_t>(alignUp(section.virtual_size, kSectionAlignment));
    header_at += 40;
  }
  writeU32(&image[optional_at + 56], address);
  const PeLayout layout = readPeLayout(image);
  writeU32(&image[layout.checksumOffset()], computePeChecksum(image, layout.checksumOffset()));
  return image;
}

Bytes textSection() { return Bytes{0xC3}; }

Bytes relocationBlock() {
  Bytes block(12, 0);
  writeU32(&block[0], 0x1000);  // page
  writeU32(&block[4], 12);      // block size: the header and two padding entries
  return block;
}

SectionPlan text() { return {".text", textSection(), 1, 0x60000020}; }
SectionPlan rsrc() { return {".rsrc", {}, 0, 0x40000040}; }
SectionPlan reloc() { return {".reloc", relocationBlock(), 12, 0x42000040}; }

// The kinds of resource the launcher stub carries, small, plus application data of type 10 and a
// named type and name.
ResourceNode stubResources() {
  ResourceNode root;
  setResource(root, 3, 1, 1033, bytesOf(std::string("\x28\0\0\0\x10\0\0\0\x20\0\0\0\x01\0\x20\0", 16) + std::string(24, '\x7F')));
  setResource(root, 14, 1, 1033, bytesOf(std::string("\0\0\x01\0\x01\0\x10\x10\0\0\x01\0\x20\0\x28\0\0\0\x01\0", 20)));
  const std::u16string version = u"VS_VERSION_INFO";
  Bytes version_bytes(6, 0);
  for (char16_t unit : version) version_bytes.insert(version_bytes.end(), {static_cast<uint8_t>(unit), 0});
  version_bytes.insert(version_bytes.end(), {0, 0, 0, 0, 0xBD, 0x04, 0xEF, 0xFE});
  setResource(root, 16, 1, 1033, version_bytes);
  setResource(root, 24, 1, 1033, bytesOf("<assembly xmlns=\"urn:schemas-microsoft-com:asm.v1\" manifestVersion=\"1.0\"/>"));
  setResource(root, kRtRcdata, 5, 1033, bytesOf("application data"));
  // A named type with a named entry: type "CONFIG", name "MAIN", language neutral.
  ResourceNode language;
  language.key = ResourceKey::ofId(0);
  language.is_leaf = true;
  language.data = bytesOf("key=value");
  ResourceNode name;
  name.key.is_name = true;
  name.key.name = u"MAIN";
  name.children.push_back(language);
  ResourceNode type;
  type.key.is_name = true;
  type.key.name = u"CONFIG";
  type.children.push_back(name);
  root.children.insert(root.children.begin(), type);
  return root;
}

Bytes png() { return Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'}; }

Bytes packedImage(const std::string& payload) {
  ResourceNode resources = stubResources();
  setResource(resources, kRtRcdata, kPayloadResourceId, kLanguageNeutral, bytesOf(payload));
  setResource(resources, kRtRcdata, kSplashResourceId, kLanguageNeutral, png());
  return tinyImage({text(), rsrc(), reloc()}, &resources);
}

// The file offset of the resource section's root directory.
size_t resourceRoot(const Bytes& image) {
  const PeLayout layout = readPeLayout(image);
  for (const PeSection& section : layout.sections) {
    if (section.name == ".rsrc") return section.raw_pointer;
  }
  return 0;
}

// The file offset of the root's entry for numbered type `type`.
size_t typeEntry(const Bytes& image, uint16_t type) {
  const size_t root = resourceRoot(image);
  const size_t count = static_cast<size_t>(readU16(&image[root + 12])) + readU16(&image[root + 14]);
  for (size_t i = 0; i < count; ++i) {
    const size_t entry = root + 16 + 8 * i;
    if (readU32(&image[entry]) == type) return entry;
  }
  return 0;
}

size_t targetOf(const Bytes& image, size_t entry) { return resourceRoot(image) + (readU32(&image[entry + 4]) & 0x7FFFFFFF); }

Bytes changed(Bytes image, const std::function<void(Bytes&)>& change) {
  change(image);
  return image;
}

std::string unitsOf(const std::u16string& text) {
  std::string bytes;
  for (char16_t unit : text) bytes += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
  return bytes + std::string(2, '\0');
}

// `value` in `count` bytes, little-endian, as every number of the payload's records stands.
std::string littleEndian(uint64_t value, int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
  return bytes;
}

std::string recordHeader(const std::u16string& name, const std::string& data) {
  const uint32_t checksum = storedChecksum(crc32Update(0, data.data(), data.size()));
  return unitsOf(name) + littleEndian(data.size(), 8) + littleEndian(checksum, 4);
}

// `text`, lengthened until its stored checksum is odd, which the payload-walk target's pretend
// cache takes for a file intact on disk.
std::string intactText(std::string text) {
  while ((storedChecksum(crc32Update(0, text.data(), text.size())) & 1) == 0) text += '.';
  return text;
}

std::string segment(const std::string& bytes) {
  return littleEndian(bytes.size(), 2) + bytes;
}

void payloadSeeds(const std::string& directory) {
  const std::vector<PayloadFile> files = {
      {u"Quorvell.exe", std::string(300, 'M')}, {u"empty.txt", ""}, {u"lib\\a.dll", std::string(40000, 'x') + "tail"}};
  const std::string valid = buildPayloadResource(files.data(), files.size());
  save(directory, "valid-three-files", valid);
  save(directory, "valid-per-file", buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::perFile));
  save(directory, "valid-grouped", buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped));
  save(directory, "valid-grouped-version-1",
       buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::groupedWithoutLengths));
  save(directory, "end-marker-only", buildPayloadResource(nullptr, 0));
  save(directory, "cut-short", valid.substr(0, valid.size() / 2));
  save(directory, "header-only", "QOV");
  const PayloadFile unsafe[] = {{u"..\\evil.exe", "x"}, {u"app.exe.", "x"}, {u"lib\\Nul.txt", "x"}, {u"readme ", "x"}};
  save(directory, "unsafe-name", buildPayloadResource(&unsafe[0], 1));
  save(directory, "unsafe-trailing-dot", buildPayloadResource(&unsafe[1], 1));
  save(directory, "unsafe-device-name", buildPayloadResource(&unsafe[2], 1));
  save(directory, "unsafe-trailing-space", buildPayloadResource(&unsafe[3], 1));

  // The decoded entry list itself ('L'), and cut into frames that declare their sizes ('F'), as
  // the fuzz target wraps them.
  const std::vector<PayloadFile> small = {{u"Quorvell.exe", std::string(300, 'M')}, {u"empty.txt", ""}, {u"lib\\a.dll", "tail"}};
  std::string list;
  std::string segments;
  for (const PayloadFile& file : small) {
    list += recordHeader(file.name, file.data) + file.data;
    segments += segment(recordHeader(file.name, file.data));
    if (!file.data.empty()) segments += segment(file.data);
  }
  save(directory, "list-three-files", "L" + list + unitsOf(u""));
  save(directory, "frames-three-files", "F" + segments + segment(unitsOf(u"")));
  // The same records as one group ('G'): its length and index in one segment, its data in the
  // next, then the length 0 that ends the list.
  std::string index;
  std::string data;
  for (const PayloadFile& file : small) {
    index += recordHeader(file.name, file.data);
    data += file.data;
  }
  const auto u32 = [](size_t value) { return littleEndian(value, 4); };
  save(directory, "group-three-files", "G" + segment(u32(index.size()) + index) + segment(data) + segment(u32(0)));
  // Two groups whose files are all intact to the fuzz target (odd checksums, none empty), so their
  // data frames are stepped over; the second group's data is 2^64 - 1 bytes long by its index and
  // stands in a frame that declares no size (0x8000 in its length), which zstd reports as the size
  // 2^64 - 1: stepping over that frame once matched it and left the walk in the wrong place.
  const std::string odd = u32(1);
  const std::string intact_index = unitsOf(u"a.exe") + littleEndian(3, 8) + odd + unitsOf(u"b.txt") + littleEndian(2, 8) + odd;
  save(directory, "group-all-intact", "G" + segment(u32(intact_index.size()) + intact_index) + segment("abcde") +
                                          segment(u32(0)));
  const std::string unknown_index = unitsOf(u"big.bin") + littleEndian(UINT64_MAX, 8) + odd;
  const std::string undeclared = littleEndian(0x8000 | 3, 2) + "abc";
  save(directory, "found-no-size-frame-stepped-as-2-to-64-minus-1",
       "G" + segment(u32(intact_index.size()) + intact_index) + segment("abcde") +
           segment(u32(unknown_index.size()) + unknown_index) + undeclared + segment(u32(0)));
  // An all-intact group's data in two frames, the first declaring less than the group's data: only
  // a frame that declares exactly the group's data size may be stepped over.
  save(directory, "group-data-in-two-frames", "G" + segment(u32(intact_index.size()) + intact_index) + segment("ab") +
                                                  segment("cde") + segment(u32(0)));
  // An empty file beside intact ones in one group: an empty file on disk is intact for an entry of
  // size 0 (stored checksum 1), so the whole group is, and its data frame, which holds only the
  // other files' bytes, is stepped over. Once in the target's own frames, once packed.
  const std::string empty_index = unitsOf(u"a.exe") + littleEndian(3, 8) + odd + unitsOf(u"empty.txt") +
                                  littleEndian(0, 8) + odd + unitsOf(u"b.txt") + littleEndian(2, 8) + odd;
  save(directory, "group-empty-beside-intact", "G" + segment(u32(empty_index.size()) + empty_index) + segment("abcde") +
                                                   segment(u32(0)));
  const std::vector<PayloadFile> beside = {
      {u"app.exe", intactText("MZ program")}, {u"empty.txt", ""}, {u"lib\\b.dll", intactText("library")}};
  save(directory, "grouped-empty-beside-intact",
       buildPayloadResource(beside.data(), beside.size(), 3, 0, PayloadLayout::grouped));
  // A group's data in the frame of its index, and after it a frame that declares as many bytes as
  // the group's data (the list's end, 4 bytes): with the data still in the window, stepping over
  // that frame would skip the wrong bytes.
  const std::string four_index = unitsOf(u"a.bin") + littleEndian(4, 8) + odd;
  save(directory, "group-data-in-index-frame", "G" + segment(u32(four_index.size()) + four_index + "abcd") + segment(u32(0)));
  // Names that differ only in the case of a letter beyond ASCII (U+00E9 and U+00C9), in one group
  // and in two.
  const std::string acute_small = recordHeader(u"\u00e9.txt", "small");
  const std::string acute_capital = recordHeader(u"\u00c9.txt", "capital");
  save(directory, "group-names-differ-in-non-ascii-case",
       "G" + segment(u32(acute_small.size() + acute_capital.size()) + acute_small + acute_capital) +
           segment("smallcapital") + segment(u32(0)));
  save(directory, "groups-names-differ-in-non-ascii-case",
       "G" + segment(u32(acute_small.size()) + acute_small) + segment("small") +
           segment(u32(acute_capital.size()) + acute_capital) + segment("capital") + segment(u32(0)));
  // Version 2 ('H'): each index segment records the length of the frame the target makes of the
  // data segment after it. Valid, with every file intact so that the data is stepped over; then
  // recorded lengths that land one byte short, past the end, on the next group's index frame
  // (passing it and its data), and a group without data that records a length.
  const auto u64 = [](size_t value) { return littleEndian(value, 8); };
  const auto frameLength = [](size_t content) { return 13 + 3 * (content / (128 << 10) + 1) + content; };
  const auto recorded = [&](const std::string& records, size_t data_frame) {
    return segment(u32(records.size()) + u64(data_frame) + records);
  };
  save(directory, "recorded-three-files",
       "H" + recorded(index, frameLength(data.size())) + segment(data) + segment(u32(0)));
  const std::string other_intact_index =
      unitsOf(u"c.exe") + littleEndian(3, 8) + odd + unitsOf(u"d.txt") + littleEndian(2, 8) + odd;
  const std::string two_intact_groups = recorded(intact_index, frameLength(5)) + segment("abcde") +
                                        recorded(other_intact_index, frameLength(5)) + segment("fghij") + segment(u32(0));
  save(directory, "recorded-all-intact", "H" + two_intact_groups);
  save(directory, "recorded-length-one-short",
       "H" + recorded(intact_index, frameLength(5) - 1) + segment("abcde") + segment(u32(0)));
  save(directory, "recorded-length-past-the-end",
       "H" + recorded(intact_index, frameLength(5) + frameLength(4) + 1) + segment("abcde") + segment(u32(0)));
  const std::string second_group = recorded(other_intact_index, frameLength(5)) + segment("fghij");
  save(directory, "recorded-length-passes-a-group",
       "H" + recorded(intact_index, frameLength(5) + frameLength(other_intact_index.size() + 12) + frameLength(5)) +
           segment("abcde") + second_group + segment(u32(0)));
  const std::string empty_only = unitsOf(u"empty.txt") + u64(0) + odd;
  save(directory, "recorded-no-data-but-a-length", "H" + recorded(empty_only, frameLength(4)) + segment(u32(0)));
  save(directory, "recorded-data-in-index-frame",
       "H" + segment(u32(four_index.size()) + u64(frameLength(4)) + four_index + "abcd") + segment(u32(0)));
  // A frame that needs a window of 2^28 bytes, more than the launcher's decoder accepts.
  const std::string content = recordHeader(u"a.txt", "a") + "a" + unitsOf(u"");
  std::string frame = std::string("\x28\xB5\x2F\xFD\x00\x90", 6);
  const uint32_t block = 1u | static_cast<uint32_t>(content.size() << 3);
  frame += {static_cast<char>(block), static_cast<char>(block >> 8), static_cast<char>(block >> 16)};
  save(directory, "window-2-to-28", "QOV" + frame + content);
}

// A Linux launcher: a stand-in ELF header, then settings, payload and modes, then the trailer
// that names them.
Bytes appendedImage(const std::string& settings, const std::string& payload, const Bytes& modes) {
  Bytes image = {0x7F, 'E', 'L', 'F', 2, 1, 1};
  image.resize(64);
  AppendedTrailer trailer{};
  trailer.settings = {image.size(), settings.size()};
  image.insert(image.end(), settings.begin(), settings.end());
  trailer.payload = {image.size(), payload.size()};
  image.insert(image.end(), payload.begin(), payload.end());
  trailer.modes = {image.size(), modes.size()};
  image.insert(image.end(), modes.begin(), modes.end());
  uint8_t bytes[kAppendedTrailerLength];
  writeAppendedTrailer(trailer, bytes);
  image.insert(image.end(), bytes, bytes + sizeof bytes);
  return image;
}

void appendedSeeds(const std::string& directory) {
  const std::string settings = withVerify(
      withKeepBuilds(settingsResourceBytes(3, {u"Tool", u"1.0", u"", u"{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}",
                                               u"0123456789abcdef"}),
                     0),
      1);
  const std::vector<PayloadFile> files = {{u"run", "#!/bin/sh"}, {u"data\\a.txt", "some text"}};
  const std::string payload = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped);
  const Bytes packed = appendedImage(settings, payload, modeBits({true, false}));
  save(directory, "tiny-packed", packed);
  save(directory, "tiny-packed-per-file",
       appendedImage(settings, buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::perFile), {}));
  save(directory, "no-trailer", Bytes(packed.begin(), packed.end() - 1));
  save(directory, "later-layout", changed(packed, [](Bytes& b) { b[b.size() - 8] = 2; }));
  save(directory, "payload-past-the-end",
       changed(packed, [](Bytes& b) { writeU64(&b[b.size() - kAppendedTrailerLength + 24], b.size()); }));
}

void executableSeeds(const std::string& directory) {
  const std::vector<PayloadFile> files = {{u"app.exe", "MZ program"}, {u"data\\a.txt", "some text"}};
  const Bytes packed = packedImage(buildPayloadResource(files.data(), files.size()));
  save(directory, "tiny-packed", packed);
  save(directory, "tiny-packed-per-file",
       packedImage(buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::perFile)));
  const PayloadFile alias[] = {{u"app.exe", "MZ"}, {u"app.exe.", "overwrites the program"}};
  save(directory, "tiny-packed-trailing-dot", packedImage(buildPayloadResource(alias, 2)));
  const PayloadFile device = {u"lib\\con.txt", "x"};
  save(directory, "tiny-packed-device-name", packedImage(buildPayloadResource(&device, 1)));

  const ResourceNode resources = stubResources();
  const Bytes stub = tinyImage({text(), rsrc(), reloc()}, &resources);
  save(directory, "tiny-stub", stub);
  save(directory, "tiny-bare", tinyImage({text(), reloc()}, nullptr));
  const Bytes alone = tinyImage({text()}, nullptr);
  save(directory, "tiny-text-only", alone);

  // Faults found by review: resource data where a type or a name belongs (the payload was hung
  // below it and lost), and SizeOfHeaders beyond the file (read past the end of the image).
  save(directory, "leaf-at-type-level", changed(stub, [](Bytes& b) {
         const size_t entry = typeEntry(b, kRtRcdata);
         const size_t name_entry = targetOf(b, entry) + 16;
         const size_t language_entry = targetOf(b, name_entry) + 16;
         writeU32(&b[entry + 4], readU32(&b[language_entry + 4]));
       }));
  save(directory, "leaf-at-name-level", changed(stub, [](Bytes& b) {
         const size_t name_entry = targetOf(b, typeEntry(b, kRtRcdata)) + 16;
         writeU32(&b[name_entry + 4], readU32(&b[targetOf(b, name_entry) + 16 + 4]));
       }));
  const size_t size_of_headers = 0x44 + 20 + 60;
  save(directory, "size-of-headers-past-end", changed(alone, [&](Bytes& b) {
         writeU32(&b[size_of_headers], static_cast<uint32_t>(b.size() + (1u << 20)));
       }));
  save(directory, "size-of-headers-all-ones", changed(stub, [&](Bytes& b) { writeU32(&b[size_of_headers], 0xFFFFFFFF); }));
  // Bad input of every kind the readers must refuse.
  save(directory, "directory-loop", changed(stub, [](Bytes& b) {
         writeU32(&b[typeEntry(b, kRtRcdata) + 4], 0x80000000u);
       }));
  save(directory, "types-out-of-order", changed(stub, [](Bytes& b) {
         const size_t first = typeEntry(b, 3);
         const size_t second = typeEntry(b, 14);
         for (size_t i = 0; i < 8; ++i) std::swap(b[first + i], b[second + i]);
       }));
  save(directory, "resource-data-outside-sections", changed(stub, [](Bytes& b) {
         const size_t name_entry = targetOf(b, typeEntry(b, 24)) + 16;
         const size_t data_entry = targetOf(b, targetOf(b, name_entry) + 16);
         writeU32(&b[data_entry], 0x7FFF0000u);
       }));
  save(directory, "section-table-past-end", changed(alone, [](Bytes& b) { writeU16(&b[0x44 + 2], 40); }));
  save(directory, "section-past-4-gib", changed(alone, [](Bytes& b) {
         writeU32(&b[0x44 + 20 + kOptionalHeaderSize + 12], 0xFFFFF000u);
         writeU32(&b[0x44 + 20 + kOptionalHeaderSize + 8], 0x2000);
       }));
}

// The real samples of tests/fixtures/identity, beside the corpora.
void copyFixture(const std::string& corpora, const std::string& fixture, const std::string& directory, const std::string& name) {
  save(directory, name, readBytes(corpora + "/../../fixtures/identity/" + fixture));
}

std::u16string repeated(const std::u16string& text, size_t count) {
  std::u16string result;
  for (size_t i = 0; i < count; ++i) result += text;
  return result;
}

void settingsSeeds(const std::string& corpora, const std::string& directory) {
  copyFixture(corpora, "settings-demo.bin", directory, "packed-demo");
  const std::u16string standard = u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}";
  const std::u16string p128(kIdentityTextLimit, u'p');
  const struct {
    const char* name;
    uint16_t layout;
    std::vector<std::u16string> texts;
  } seeds[] = {
      {"packed-no-company", 1, {u"Solo", u"1", u"", u"{HOME}\\apps\\{PRODUCT}"}},
      {"packed-company-folder", 1, {u"MyApp", u"2.1", u"Acme", u"{CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}"}},
      {"packed-non-ascii", 1, {u"Gr\u00fc\u00dfe \U0001F600", u"10.0.1-rc2", u"Z\u00fcrich AG", u"C:\\Apps\\{PRODUCT}\\{VERSION}"}},
      {"packed-longest", 1,
       {std::u16string(kIdentityTextLimit, u'p'), std::u16string(kIdentityTextLimit, u'1'),
        std::u16string(kIdentityTextLimit, u'c'), u"{TEMP}" + std::u16string(kTemplateLengthLimit - 6, u't')}},
      // Layout 2 ends in a build id and keep builds: without them it is refused.
      {"layout-2-no-build-id", 2, {u"MyApp", u"2.1", u"", standard}},
      {"layout-3", 3, {u"MyApp", u"2.1", u"", standard, u"3fa2c9e1d2b4a5c6"}},
      {"layout-1-names-build", 1, {u"MyApp", u"2.1", u"", u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}"}},
      {"device-name-product", 1, {u"nul.app", u"1", u"", standard}},
      {"relative-template", 1, {u"MyApp", u"1", u"", u"{PRODUCT}\\{VERSION}"}},
      // Accepted by reader and packer alike, yet the directory creation of a start climbs only at
      // "\" and could make none of these directories: "/" separators, doubled separators, and a
      // UNC start written with "/", whose leading pair must stay two.
      {"template-slash", 1, {u"MyApp", u"1", u"", u"{CACHE_DIR}/Slashy/{VERSION}"}},
      {"template-doubled-separators", 1, {u"MyApp", u"1", u"", u"{CACHE_DIR}\\\\{PRODUCT}\\/{VERSION}"}},
      {"template-unc-slashes", 1, {u"MyApp", u"1", u"", u"//server/share/{PRODUCT}"}},
      // A drive's root, which a start uses as the bare drive "C:".
      {"template-drive-root", 1, {u"MyApp", u"1", u"", u"C:\\"}},
      // Once accepted by reader and packer alike, yet the directory outgrows what a start can
      // hold: at a value, which stops the launcher, and at a literal unit, which fails the
      // expansion.
      {"template-value-past-directory", 1, {p128, u"1", u"", u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 101)}},
      {"template-literal-past-directory", 1,
       {p128, u"1", u"", u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 31) + u"\\" + std::u16string(80, u'x')}},
  };
  for (const auto& seed : seeds) save(directory, seed.name, settingsResourceBytes(seed.layout, seed.texts));
  // Layout 2 as the packer wrote it before --verify: the build id after the template, then keep builds.
  const struct {
    const char* name;
    std::vector<std::u16string> texts;
    uint16_t keep_builds;
  } layout_2_seeds[] = {
      {"packed-build-folder", {u"MyApp", u"2.1", u"", u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}", u"3fa2c9e1d2b4a5c6"}, 0},
      {"packed-keep-all", {u"Tool", u"1.0", u"Acme", u"{HOME}\\{COMPANY}\\{build}", u"0123456789abcdef"}, kKeepAllBuilds},
      {"packed-keep-limit", {u"Tool", u"1.0", u"", standard, u"ffffffffffffffff"}, kKeepBuildsLimit},
  };
  for (const auto& seed : layout_2_seeds) {
    save(directory, seed.name, withKeepBuilds(settingsResourceBytes(kSettingsLayoutWithoutVerify, seed.texts), seed.keep_builds));
  }
  // Layout 3 as the packer writes it now: verify after keep builds.
  save(directory, "packed-verify-changed",
       withVerify(withKeepBuilds(settingsResourceBytes(kSettingsLayoutVersion, layout_2_seeds[0].texts), 0), 1));
  save(directory, "packed-verify-all",
       withVerify(withKeepBuilds(settingsResourceBytes(kSettingsLayoutVersion, layout_2_seeds[1].texts), kKeepAllBuilds), 0));
}

// A 16x16 bitmap icon: its header (the height counts the mask rows too) and a few pixels.
Bytes iconBitmap() {
  Bytes bitmap(40 + 16, 0);
  writeU32(&bitmap[0], 40);
  writeU32(&bitmap[4], 16);
  writeU32(&bitmap[8], 32);
  writeU16(&bitmap[12], 1);
  writeU16(&bitmap[14], 32);
  return bitmap;
}

void iconSeeds(const std::string& corpora, const std::string& directory) {
  copyFixture(corpora, "one-bitmap.ico", directory, "one-bitmap.ico");
  copyFixture(corpora, "png-and-bitmap.ico", directory, "png-and-bitmap.ico");
  const Bytes tiny = icoFile({tinyPng(2, 2), iconBitmap()}, 16);
  save(directory, "tiny-png-and-bitmap.ico", tiny);
  save(directory, "png-257.ico", icoFile({tinyPng(257, 1)}, 0));
  save(directory, "cursor.cur", changed(tiny, [](Bytes& b) { writeU16(&b[2], 2); }));
  // An icon group as the packer writes it, naming the images 1 and 2 of a main program.
  const Bytes group = iconGroupResource(readIconFile(tiny), 1);
  save(directory, "group-two-images", group);
  // Found by review: entries that share one image, or a group naming one icon twice, made the
  // packer copy that image once per entry.
  save(directory, "entries-share-image.ico", changed(tiny, [](Bytes& b) {
         std::copy(&b[6 + 8], &b[6 + 16], &b[6 + 16 + 8]);
         b.resize(readU32(&b[6 + 12]) + readU32(&b[6 + 8]));
       }));
  save(directory, "group-names-icon-twice", changed(group, [](Bytes& b) { writeU16(&b[6 + 14 + 12], 1); }));
}

void versionSeeds(const std::string& corpora, const std::string& directory) {
  copyFixture(corpora, "version-demo.bin", directory, "windres-demo");
  VersionInfo info;
  FixedFileInfo fixed;
  fixed.file_version = {2, 4, 1, 0};
  fixed.product_version = {2, 4, 1, 0};
  info.fixed = fixed;
  save(directory, "fixed-only", writeVersionResource(info));
  info.tables.push_back({u"040704b0", {{u"ProductName", u"Gr\u00fc\u00dfe"}, {u"ProductVersion", u"v3 beta"}}});
  info.tables.push_back({u"040904B0",
                         {{u"ProductName", u"Greetings"}, {u"ProductVersion", u"3.0"}, {u"CompanyName", u"Acme Inc."},
                          {u"FileDescription", u"A greeter"}, {u"LegalCopyright", u"none"}}});
  info.translations = {0x04B00407, 0x04B00409};
  save(directory, "two-tables", writeVersionResource(info));
  info.fixed.reset();
  info.translations.clear();
  save(directory, "no-fixed-no-translation", writeVersionResource(info));
  // Found by review: a value put right after its key, off its 4-byte boundary, was read shifted
  // ("reetings"). ProductName's block is at 100, in the table at 76, in StringFileInfo at 40; its
  // key ends at 130.
  VersionInfo one;
  one.tables.push_back({u"040904B0", {{u"ProductName", u"Greetings"}}});
  save(directory, "value-off-boundary", changed(writeVersionResource(one), [](Bytes& b) {
         b.erase(b.begin() + 130, b.begin() + 132);
         for (size_t block : {0, 40, 76, 100}) writeU16(&b[block], static_cast<uint16_t>(readU16(&b[block]) - 2));
       }));
}

}  // namespace

bool appendRecordBytes(void* context, const uint8_t* bytes, size_t length) {
  static_cast<std::string*>(context)->append(reinterpret_cast<const char*>(bytes), length);
  return true;
}

// A build record as a start writes it, after the byte that sets the target's read size.
std::string recordSeed(char read_size, const std::u16string& build_id, const std::vector<std::u16string>& names,
                       bool states = false) {
  std::string bytes(1, read_size);
  BuildRecordIdentity identity{};
  std::copy_n(u"Quorvell", 9, identity.product);
  std::copy_n(u"1.3", 4, identity.version);
  std::copy(build_id.begin(), build_id.end(), identity.build_id);
  uint8_t buffer[4096];
  BuildRecordWriter writer = {buffer, sizeof buffer, 0, 0, false, appendRecordBytes, &bytes, false};
  beginBuildRecord(writer, identity);
  uint64_t size = 0;
  for (const std::u16string& name : names) addRecordedFile(writer, name.c_str(), size += 4096, 0x1234567u);
  if (states) {
    endRecordedFilesWithStates(writer);
    for (size_t i = 0; i < names.size(); ++i) {
      RecordedFileState state = {4096 * (i + 1), 0x01d9000000000000ull + i, 0x01d9000000000100ull + i, 0xa1b2c3d4, {}};
      state.file_id[0] = static_cast<uint8_t>(i + 1);
      addRecordedState(writer, state);
    }
  }
  finishBuildRecord(writer);
  return bytes;
}

void buildRecordSeeds(const std::string& directory) {
  save(directory, "three-files", recordSeed('\xff', u"0123456789abcdef", {u"Quorvell.exe", u"lib\\a.dll", u"empty.txt"}));
  save(directory, "no-files-small-reads", recordSeed('\x02', u"", {}));
  save(directory, "three-files-with-states",
       recordSeed('\x05', u"0123456789abcdef", {u"Quorvell.exe", u"lib\\a.dll", u"empty.txt"}, true));
  // As a start wrote it before records held states.
  std::string layout_one = recordSeed('\xff', u"0123456789abcdef", {u"Quorvell.exe", u"lib\\a.dll"});
  layout_one[1 + 4] = 1;
  layout_one.erase(layout_one.size() - 6);
  const uint32_t layout_one_crc = crc32Update(0, reinterpret_cast<const uint8_t*>(layout_one.data()) + 1, layout_one.size() - 1);
  for (int i = 0; i < 4; ++i) layout_one.push_back(static_cast<char>(layout_one_crc >> (8 * i)));
  save(directory, "layout-one", layout_one);
  std::string unsafe = recordSeed('\x10', u"0123456789abcdef", {u"..\\outside.txt"});
  save(directory, "unsafe-name", unsafe);
  std::string cut = recordSeed('\xff', u"0123456789abcdef", {u"Quorvell.exe"});
  cut.resize(cut.size() - 3);
  save(directory, "cut-short", cut);
}

void appendedLauncherSeeds(const std::string& directory) {
  const std::string settings = withVerify(
      withKeepBuilds(settingsResourceBytes(kSettingsLayoutVersion,
                                           {u"Prod", u"1.0", u"", u"{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}",
                                            u"0123456789abcdef"}),
                     kKeepAllBuilds),
      0);
  const std::vector<PayloadFile> files = {
      {u"app", std::string(300, 'E')}, {u"empty", ""}, {u"lib\\a.so", std::string(40000, 'x') + "tail"}};
  const std::string grouped = buildPayloadResource(files.data(), files.size(), 3, 0, PayloadLayout::grouped);
  const Bytes launcher = appendedImage(settings, grouped, modeBits({true, false, true}));
  save(directory, "grouped-three-files", launcher);
  save(directory, "single-frame",
       appendedImage(settings, buildPayloadResource(files.data(), files.size()), modeBits({true})));
  save(directory, "no-settings-no-modes", appendedImage("", grouped, {}));
  save(directory, "newer-layout", changed(launcher, [](Bytes& b) { b[b.size() - 8] = 2; }));
  save(directory, "cut-short", Bytes(launcher.begin(), launcher.end() - 1));
  const PayloadFile unsafe[] = {{u"app", "x"}, {u"..\\evil", "x"}};
  save(directory, "unsafe-name", appendedImage(settings, buildPayloadResource(unsafe, 2), modeBits({true, true})));
}

int main(int argc, char** argv) {
  if (argc != 2) return 64;
  const std::string corpora = argv[1];
  payloadSeeds(corpora + "/payload-walk");
  executableSeeds(corpora + "/pe-list");
  appendedSeeds(corpora + "/appended-list");
  executableSeeds(corpora + "/resource-write");
  settingsSeeds(corpora, corpora + "/launcher-settings");
  iconSeeds(corpora, corpora + "/icon-file");
  versionSeeds(corpora, corpora + "/version-resource");
  buildRecordSeeds(corpora + "/build-record");
  appendedLauncherSeeds(corpora + "/appended-launcher");
  return 0;
}
