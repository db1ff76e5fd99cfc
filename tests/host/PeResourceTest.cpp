// The PE resource code against the real launcher stub, with llvm-readobj as the independent
// reader: every resource of the stub survives, 27 and 28 are added or replaced, the relocations
// still reach the loader, and the headers stay consistent.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "LittleEndian.h"
#include "PackError.h"
#include "PeImage.h"
#include "PeResourceUpdate.h"
#include "PackerTestSupport.h"
#include "ResourceTree.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// "type/name/language" -> data size, as llvm-readobj lists the resources of a file.
std::map<std::string, size_t> resourcesSeenByReadobj(const Bytes& image) {
  const std::string listing = runReadobj("--coff-resources", image);
  std::map<std::string, size_t> found;
  std::string type, name, language;
  std::istringstream lines(listing);
  std::string line;
  auto idOf = [](const std::string& text) {
    const size_t open = text.rfind("(ID ");
    return open == std::string::npos ? text : text.substr(open + 4, text.find(')', open) - open - 4);
  };
  while (std::getline(lines, line)) {
    const size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos) continue;
    const std::string text = line.substr(start);
    if (text.rfind("Type: ", 0) == 0) type = idOf(text);
    if (text.rfind("Name: ", 0) == 0) name = idOf(text);
    if (text.rfind("Language: ", 0) == 0) language = idOf(text);
    if (text.rfind("DataSize: ", 0) == 0) found[type + "/" + name + "/" + language] = std::stoul(text.substr(10));
  }
  return found;
}

Bytes patternBytes(size_t size, uint32_t seed) {
  Bytes bytes(size);
  for (size_t i = 0; i < size; ++i) {
    seed = seed * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>(seed >> 16);
  }
  return bytes;
}

Bytes withResources(const Bytes& stub, const Bytes& payload, const Bytes* splash) {
  const PeLayout layout = readPeLayout(stub);
  const ResourcePlacement placement = planResourcePlacement(stub, layout);
  ResourceNode tree = readResourceTree(stub, layout);
  setResource(tree, kRtRcdata, 27, kLanguageNeutral, payload);
  if (splash != nullptr) setResource(tree, kRtRcdata, 28, kLanguageNeutral, *splash);
  return rebuildWithResources(stub, layout, placement, tree);
}

const PeSection& sectionNamed(const PeLayout& layout, const std::string& name) {
  for (const PeSection& section : layout.sections) {
    if (section.name == name) return section;
  }
  throw PackError("no section " + name);
}

// What the loader checks: sections follow one another without gaps in memory, start on pages in
// the file, the file ends with the last section's data, and the image size and checksum agree.
void expectConsistentImage(const Bytes& image) {
  const PeLayout layout = readPeLayout(image);
  EXPECT_EQ(layout.file_alignment, 4096u);
  uint64_t expected_address = layout.sections.front().virtual_address;
  uint64_t end_of_data = 0;
  for (const PeSection& section : layout.sections) {
    SCOPED_TRACE(section.name);
    EXPECT_EQ(section.virtual_address, expected_address);
    const uint32_t extent = section.virtual_size != 0 ? section.virtual_size : section.raw_size;
    expected_address = alignUp(section.virtual_address + static_cast<uint64_t>(extent), layout.section_alignment);
    if (section.raw_size != 0) {
      EXPECT_EQ(section.raw_pointer % 4096, 0u);
      end_of_data = std::max<uint64_t>(end_of_data, section.raw_pointer + static_cast<uint64_t>(section.raw_size));
    }
  }
  EXPECT_EQ(image.size(), end_of_data);
  EXPECT_EQ(readU32(&image[layout.optional_header_offset + kOptionalSizeOfImage]), expected_address);
  EXPECT_EQ(readU32(&image[layout.checksumOffset()]), computePeChecksum(image, layout.checksumOffset()));
}

class StubResources : public testing::Test {
 protected:
  void SetUp() override {
    stub = readStubOrSkip();
    if (stub.empty()) GTEST_SKIP() << "the Windows build's launcher stub is not there";
  }
  Bytes stub;
};

TEST_F(StubResources, ChecksumAgreesWithTheLinkersOwn) {
  const PeLayout layout = readPeLayout(stub);
  const uint32_t stored = readU32(&stub[layout.checksumOffset()]);
  ASSERT_NE(stored, 0u);
  EXPECT_EQ(computePeChecksum(stub, layout.checksumOffset()), stored);
}

TEST_F(StubResources, AddsPayloadAndSplashAndKeepsEveryStubResource) {
  const Bytes payload = patternBytes(70001, 1);
  const Bytes splash = patternBytes(333, 2);
  const Bytes packed = withResources(stub, payload, &splash);

  std::map<std::string, size_t> expected = resourcesSeenByReadobj(stub);
  ASSERT_TRUE(expected.count("3/1/1033") && expected.count("14/1/1033") && expected.count("16/1/1033") &&
              expected.count("24/1/1033"))
      << "the stub lacks its icon, version or manifest";
  expected["10/27/0"] = payload.size();
  expected["10/28/0"] = splash.size();
  EXPECT_EQ(resourcesSeenByReadobj(packed), expected);

  // The bytes themselves, read back by our own reader: the stub's unchanged, the new ones exact.
  const PeLayout stub_layout = readPeLayout(stub);
  const PeLayout layout = readPeLayout(packed);
  const ResourceNode before = readResourceTree(stub, stub_layout);
  const ResourceNode after = readResourceTree(packed, layout);
  for (uint16_t type : {3, 14, 16, 24}) {
    const ResourceNode* old_first = findResource(before, type, 1);
    const ResourceNode* new_first = findResource(after, type, 1);
    ASSERT_TRUE(old_first != nullptr && new_first != nullptr) << type;
    EXPECT_EQ(old_first->data, new_first->data) << type;
  }
  ASSERT_NE(findResource(after, kRtRcdata, 27), nullptr);
  EXPECT_EQ(findResource(after, kRtRcdata, 27)->data, payload);
  EXPECT_EQ(findResource(after, kRtRcdata, 28)->data, splash);
  // The loader finds numbered entries by binary search.
  for (size_t i = 1; i < after.children.size(); ++i) EXPECT_LT(after.children[i - 1].key.id, after.children[i].key.id);

  expectConsistentImage(packed);
  EXPECT_EQ(runReadobj("--coff-basereloc", packed), runReadobj("--coff-basereloc", stub));
  // Everything before the resource section is the stub's, byte for byte, headers aside.
  const PeSection& resources = sectionNamed(layout, ".rsrc");
  EXPECT_EQ(resources.raw_pointer, sectionNamed(stub_layout, ".rsrc").raw_pointer);
  EXPECT_TRUE(std::equal(stub.begin() + layout.size_of_headers, stub.begin() + resources.raw_pointer,
                         packed.begin() + layout.size_of_headers));
}

TEST_F(StubResources, PackingAPackedExecutableReplacesItsPayload) {
  const Bytes first = withResources(stub, patternBytes(50000, 3), nullptr);
  const Bytes replaced = withResources(first, Bytes{'Q', 'O', 'V', 1, 2, 3}, nullptr);
  EXPECT_EQ(replaced, withResources(stub, Bytes{'Q', 'O', 'V', 1, 2, 3}, nullptr));
  EXPECT_EQ(resourcesSeenByReadobj(replaced).count("10/27/0"), 1u);
}

TEST_F(StubResources, InsertsAResourceSectionBeforeTheRelocationsWhenThereIsNone) {
  Bytes bare = stub;
  const PeLayout stub_layout = readPeLayout(stub);
  writeU32(&bare[stub_layout.dataDirectoryOffset(kResourceDirectoryIndex)], 0);
  writeU32(&bare[stub_layout.dataDirectoryOffset(kResourceDirectoryIndex) + 4], 0);
  const Bytes payload = patternBytes(9000, 4);
  const Bytes packed = withResources(bare, payload, nullptr);

  const PeLayout layout = readPeLayout(packed);
  ASSERT_EQ(layout.sections.size(), stub_layout.sections.size() + 1);
  EXPECT_EQ(layout.sections[layout.sections.size() - 2].name, ".rsrc");
  EXPECT_EQ(layout.sections.back().name, ".reloc");
  EXPECT_EQ(resourcesSeenByReadobj(packed).at("10/27/0"), payload.size());
  expectConsistentImage(packed);
  EXPECT_EQ(runReadobj("--coff-basereloc", packed), runReadobj("--coff-basereloc", stub));
}

// File offsets in the stub's resource directory: the root, and the entry an entry points to.
size_t resourceRoot(const Bytes& image, const PeLayout& layout) {
  return sectionNamed(layout, ".rsrc").raw_pointer + (readU32(&image[layout.dataDirectoryOffset(kResourceDirectoryIndex)]) -
                                                      sectionNamed(layout, ".rsrc").virtual_address);
}
size_t firstEntryBelow(const Bytes& image, const PeLayout& layout, size_t entry) {
  return resourceRoot(image, layout) + (readU32(&image[entry + 4]) & 0x7FFFFFFFu) + 16;
}

struct RefusalCase {
  const char* what;
  std::function<void(Bytes&, const PeLayout&)> damage;
  const char* reason;
};

TEST_F(StubResources, RefusesImagesItCannotRewriteSafely) {
  const RefusalCase cases[] = {
      {"not MZ", [](Bytes& b, const PeLayout&) { b[0] = 'X'; }, "no MZ header"},
      {"cut in the headers", [](Bytes& b, const PeLayout&) { b.resize(150); }, "outside the file"},
      {"i386", [](Bytes& b, const PeLayout& l) { writeU16(&b[l.coff_header_offset], 0x14C); }, "not x86-64"},
      {"PE32", [](Bytes& b, const PeLayout& l) { writeU16(&b[l.optional_header_offset], 0x10B); }, "not PE32+"},
      {"DLL", [](Bytes& b, const PeLayout& l) { b[l.coff_header_offset + 19] |= 0x20; }, "not an executable image"},
      {"cut in a section", [](Bytes& b, const PeLayout&) { b.resize(b.size() - 100); }, "lies outside the file"},
      {"signed",
       [](Bytes& b, const PeLayout& l) {
         writeU32(&b[l.dataDirectoryOffset(kCertificateDirectoryIndex)], static_cast<uint32_t>(b.size()));
         writeU32(&b[l.dataDirectoryOffset(kCertificateDirectoryIndex) + 4], 16);
         b.resize(b.size() + 16, 0);
       },
       "Authenticode signature"},
      {"appended data", [](Bytes& b, const PeLayout&) { b.push_back(0); }, "1 bytes after its last section"},
      {"resource entry out of bounds",
       [](Bytes& b, const PeLayout& l) {
         const size_t root = sectionNamed(l, ".rsrc").raw_pointer;
         writeU32(&b[root + 16 + 4], 0x80000000u | 0x7FFFFF00u);
       },
       "damaged resource directory"},
      // Resource 27 used to be hung below such data and lost, with the pack reported as done.
      {"data where a type belongs",
       [](Bytes& b, const PeLayout& l) {
         const size_t type = resourceRoot(b, l) + 16;
         const size_t language = firstEntryBelow(b, l, firstEntryBelow(b, l, type));
         writeU32(&b[type], kRtRcdata);
         writeU32(&b[type + 4], readU32(&b[language + 4]));
       },
       "a resource's data stands where its type or name belongs"},
      {"data where a name belongs",
       [](Bytes& b, const PeLayout& l) {
         const size_t name = firstEntryBelow(b, l, resourceRoot(b, l) + 16);
         writeU32(&b[name + 4], readU32(&b[firstEntryBelow(b, l, name) + 4]));
       },
       "a resource's data stands where its type or name belongs"},
      {"directory looping to the root",
       [](Bytes& b, const PeLayout& l) { writeU32(&b[resourceRoot(b, l) + 16 + 4], 0x80000000u); }, "reached twice"},
      {"types out of order",
       [](Bytes& b, const PeLayout& l) {
         const size_t first = resourceRoot(b, l) + 16;
         std::swap_ranges(b.begin() + static_cast<std::ptrdiff_t>(first), b.begin() + static_cast<std::ptrdiff_t>(first + 8),
                          b.begin() + static_cast<std::ptrdiff_t>(first + 8));
       },
       "out of order or repeated"},
      {"resource data outside every section",
       [](Bytes& b, const PeLayout& l) {
         const size_t language = firstEntryBelow(b, l, firstEntryBelow(b, l, resourceRoot(b, l) + 16));
         writeU32(&b[resourceRoot(b, l) + (readU32(&b[language + 4]))], 0x7FFF0000u);
       },
       "outside every section's data"},
      // The rebuild copied the headers from past the end of the image (a heap overflow).
      {"SizeOfHeaders past the end of the file",
       [](Bytes& b, const PeLayout& l) {
         for (uint32_t index : {kResourceDirectoryIndex, kRelocationDirectoryIndex}) {
           writeU64(&b[l.dataDirectoryOffset(index)], 0);
         }
         writeU32(&b[l.optional_header_offset + 60], static_cast<uint32_t>(b.size() + (1u << 20)));
       },
       "are larger than the file"},
      {"SizeOfHeaders 0xFFFFFFFF", [](Bytes& b, const PeLayout& l) { writeU32(&b[l.optional_header_offset + 60], 0xFFFFFFFFu); },
       "are larger than the file"},
      {"section data among the headers",
       [](Bytes& b, const PeLayout& l) { writeU32(&b[l.sections.front().header_offset + 20], 0x200); },
       "begins inside its headers"},
      {"section at address 0",
       [](Bytes& b, const PeLayout& l) { writeU32(&b[l.sections.front().header_offset + 12], 0); },
       "lies among the headers in memory"},
      {"section past 4 GiB",
       [](Bytes& b, const PeLayout& l) { writeU32(&b[l.sections.back().header_offset + 12], 0xFFFFF000u); },
       "reaches past the 4 GiB address space"},
      {"directory past the image",
       [](Bytes& b, const PeLayout& l) { writeU32(&b[l.dataDirectoryOffset(15)], 0x7FF00000u); },
       "data directory 15 points past the end of its image"},
  };
  const PeLayout layout = readPeLayout(stub);
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes image = stub;
    c.damage(image, layout);
    try {
      withResources(image, Bytes{'Q', 'O', 'V'}, nullptr);
      ADD_FAILURE() << "accepted";
    } catch (const PackError& error) {
      EXPECT_NE(std::string(error.what()).find(c.reason), std::string::npos) << error.what();
    }
  }
}

}  // namespace
