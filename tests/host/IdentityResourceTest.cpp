// The packer's readers and writers of what Explorer shows: version resources (windres' own read
// back, ours written and read again, damaged ones refused) and icons (.ico files of ImageMagick,
// icon groups, and every damaged file refused with its reason).
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <map>
#include <string>
#include <vector>

#include "IconFile.h"
#include "LittleEndian.h"
#include "PackError.h"
#include "PackerTestSupport.h"
#include "VersionResource.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes fixture(const std::string& name) {
  const char* directory = getenv("ONEFILE_IDENTITY_FIXTURES");
  if (directory == nullptr) throw std::runtime_error("ONEFILE_IDENTITY_FIXTURES is not set");
  return readBytes(std::string(directory) + "/" + name);
}

Bytes textBytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// The PackError message of `read`, or "" when it accepts.
std::string refusal(const std::function<void()>& read) {
  try {
    read();
  } catch (const PackError& error) {
    return error.what();
  }
  return "";
}

std::map<std::u16string, std::u16string> stringsOf(const VersionStringTable& table) {
  return std::map<std::u16string, std::u16string>(table.strings.begin(), table.strings.end());
}

TEST(VersionResource, ReadsWhatWindresWroteForTheDemo) {
  const VersionInfo info = readVersionResource(fixture("version-demo.bin"));
  ASSERT_TRUE(info.fixed.has_value());
  EXPECT_EQ(info.fixed->file_version, (std::array<uint16_t, 4>{2, 4, 1, 0}));
  EXPECT_EQ(info.fixed->product_version, (std::array<uint16_t, 4>{2, 4, 1, 0}));
  EXPECT_EQ(info.translations, (std::vector<uint32_t>{0x04B00409}));
  ASSERT_EQ(info.tables.size(), 1u);
  EXPECT_EQ(info.tables[0].language, u"040904B0");
  const std::map<std::u16string, std::u16string> expected = {
      {u"CompanyName", u"Quorvell Demo Works"},   {u"FileDescription", u"Quorvell demo application"},
      {u"FileVersion", u"2.4.1"},                 {u"InternalName", u"Quorvell"},
      {u"LegalCopyright", u"Copyright 2026 the onefile developers"},
      {u"OriginalFilename", u"Quorvell.exe"},     {u"ProductName", u"Quorvell Demo"},
      {u"ProductVersion", u"2.4.1"}};
  EXPECT_EQ(stringsOf(info.tables[0]), expected);
  ASSERT_NE(versionString(info, u"ProductName"), nullptr);
  EXPECT_EQ(*versionString(info, u"ProductName"), u"Quorvell Demo");
}

TEST(VersionResource, WhatIsWrittenReadsBackTheSame) {
  VersionInfo info;
  FixedFileInfo fixed;
  fixed.file_version = {10, 0, 65535, 7};
  fixed.product_version = {1, 2, 3, 4};
  info.fixed = fixed;
  info.tables.push_back({u"040704B0", {{u"ProductName", u"Gr\u00fc\u00dfe \U0001F600"}, {u"CompanyName", u"a"}}});
  info.tables.push_back({u"040904B0", {{u"ProductName", u"Greetings"}, {u"Comments", u"odd length"}}});
  info.translations = {0x04B00409, 0x04B00407};

  const Bytes bytes = writeVersionResource(info);
  EXPECT_EQ(readU16(&bytes[0]), bytes.size());
  const VersionInfo read = readVersionResource(bytes);
  ASSERT_TRUE(read.fixed.has_value());
  EXPECT_EQ(read.fixed->file_version, fixed.file_version);
  EXPECT_EQ(read.fixed->product_version, fixed.product_version);
  EXPECT_EQ(read.translations, info.translations);
  ASSERT_EQ(read.tables.size(), 2u);
  EXPECT_EQ(read.tables[0].language, u"040704B0");
  EXPECT_EQ(read.tables[0].strings, info.tables[0].strings);
  EXPECT_EQ(read.tables[1].strings, info.tables[1].strings);
  // The first translation (US English) names the table to take values from.
  EXPECT_EQ(*versionString(read, u"ProductName"), u"Greetings");
  EXPECT_EQ(versionString(read, u"CompanyName"), nullptr);
}

// Removes `count` bytes at `at` and shortens the blocks that held them (given by their offsets).
void cutBytes(Bytes& bytes, size_t at, size_t count, std::initializer_list<size_t> blocks) {
  bytes.erase(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(at + count));
  for (size_t block : blocks) writeU16(&bytes[block], static_cast<uint16_t>(readU16(&bytes[block]) - count));
}

TEST(VersionResource, DamagedResourcesAreRefused) {
  const Bytes good = fixture("version-demo.bin");
  const struct {
    const char* what;
    std::function<void(Bytes&)> damage;
    const char* reason;
  } cases[] = {
      {"empty", [](Bytes& b) { b.clear(); }, "a block is cut short"},
      {"cut in the root header", [](Bytes& b) { b.resize(4); }, "a block is cut short"},
      {"root longer than the resource", [](Bytes& b) { b.resize(200); }, "a block's length leaves its parent"},
      {"root key without its zero", [](Bytes& b) { writeU16(&b[0], 20); }, "a key has no terminating zero"},
      {"another root", [](Bytes& b) { b[6] = 'X'; }, "its root block is not VS_VERSION_INFO"},
      {"fixed part without signature", [](Bytes& b) { b[40] ^= 1; }, "lacks its signature"},
      {"fixed part too short", [](Bytes& b) { writeU16(&b[2], 20); }, "the fixed part is cut short"},
      {"child longer than the root", [](Bytes& b) { writeU16(&b[92], 0x7000); }, "a block's length leaves its parent"},
      {"zero length before more data", [](Bytes& b) { writeU16(&b[92], 0); }, "a block has length 0"},
      {"length shorter than a header", [](Bytes& b) { writeU16(&b[92], 4); }, "a block's length is shorter than its header"},
      // Off the 4-byte boundaries: read as Windows aligns, they would give shifted texts.
      {"a value without its padding", [](Bytes& b) { cutBytes(b, 0x26E, 2, {0x250, 0x80, 92, 0}); },
       "a value is not aligned to 4 bytes"},
      {"padding after a block not zero", [](Bytes& b) { b[0x19A] = 1; }, "a block is not aligned to 4 bytes"},
      {"a child two bytes off its boundary", [](Bytes& b) { b.insert(b.begin() + 92, 2, 0); writeU16(&b[0], 0x302); },
       "a block has length 0 (or is not aligned to 4 bytes)"},
  };
  ASSERT_EQ(readU16(&good[92 + 6]), 'S') << "the fixture's first child is StringFileInfo at 92";
  ASSERT_EQ(readU16(&good[0x250 + 6]), 'P') << "ProductName at 0x250, its key's zero at 0x26C";
  ASSERT_EQ(readU16(&good[0x168]), 0x32) << "InternalName at 0x168 ends at 0x19A";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes bytes = good;
    c.damage(bytes);
    EXPECT_NE(refusal([&] { readVersionResource(bytes); }).find(c.reason), std::string::npos)
        << refusal([&] { readVersionResource(bytes); });
  }
}

TEST(VersionResource, NumbersFromTheStartOfAVersionText) {
  const struct {
    const char16_t* text;
    std::array<uint16_t, 4> numbers;
  } cases[] = {
      {u"1.3", {1, 3, 0, 0}},          {u"2.4.1-beta", {2, 4, 1, 0}},  {u"v10", {10, 0, 0, 0}},
      {u"1.2.3.4.5", {1, 2, 3, 4}},    {u"beta", {0, 0, 0, 0}},        {u"70000.1", {65535, 1, 0, 0}},
      {u"1..2", {1, 0, 0, 0}},         {u"1.3-rc2", {1, 3, 0, 0}},     {u"2024.10 (build 5)", {2024, 10, 0, 0}},
  };
  for (const auto& c : cases) {
    const std::u16string text = c.text;
    EXPECT_EQ(numericVersion(text), c.numbers) << std::string(text.begin(), text.end());
  }
  EXPECT_EQ(versionText({2, 4, 1, 0}), u"2.4.1.0");
}

// A BITMAPINFOHEADER for an icon of width x height (the stored height counts the mask rows too)
// and a few bytes of pixels.
Bytes bitmap(int32_t width, int32_t height) {
  Bytes header(40 + 16, 0);
  writeU32(&header[0], 40);
  writeU32(&header[4], static_cast<uint32_t>(width));
  writeU32(&header[8], static_cast<uint32_t>(2 * height));
  writeU16(&header[12], 1);
  writeU16(&header[14], 32);
  return header;
}

TEST(IconFile, ReadsImageMagicksIcons) {
  const struct {
    const char* name;
    std::vector<uint8_t> sides;  // as the entries say, 0 for 256
    bool first_is_png;
  } cases[] = {{"one-bitmap.ico", {16}, false}, {"png-and-bitmap.ico", {0, 32}, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Bytes file = fixture(c.name);
    const std::vector<IconImage> images = readIconFile(file);
    ASSERT_EQ(images.size(), c.sides.size());
    for (size_t i = 0; i < images.size(); ++i) {
      EXPECT_EQ(images[i].width, c.sides[i]);
      EXPECT_EQ(images[i].height, c.sides[i]);
      EXPECT_EQ(images[i].bit_count, 32);
      // The image bytes are the file's, unchanged.
      const uint8_t* entry = &file[6 + 16 * i];
      EXPECT_TRUE(std::equal(images[i].data.begin(), images[i].data.end(), file.begin() + readU32(entry + 12)));
      EXPECT_EQ(images[i].data.size(), readU32(entry + 8));
    }
    EXPECT_EQ(images[0].data[1] == 'P', c.first_is_png);
  }
}

TEST(IconFile, DamagedIconsAreRefusedWithTheirReason) {
  const Bytes good = fixture("one-bitmap.ico");
  const struct {
    const char* what;
    Bytes bytes;
    const char* reason;
  } cases[] = {
      {"empty file", {}, "it is cut short: 0 bytes"},
      {"header cut short", Bytes(good.begin(), good.begin() + 5), "it is cut short: 5 bytes"},
      {"a cursor", [&] { Bytes b = good; b[2] = 2; return b; }(), "it is a cursor, not an icon"},
      {"not an icon at all", textBytesOf("GIF89a and more"), "does not begin with the header of an icon file"},
      {"no images", [&] { Bytes b = good; writeU16(&b[4], 0); return b; }(), "it holds no images"},
      {"directory cut short", [&] { Bytes b = good; writeU16(&b[4], 200); return b; }(),
       "its 200 entries need 3206 bytes, it has 1150"},
      {"image beyond the end", Bytes(good.begin(), good.end() - 1), "lies outside the file of 1149 bytes"},
      {"image offset far out", [&] { Bytes b = good; writeU32(&b[18], 0xFFFFFFF0u); return b; }(), "lies outside the file"},
      {"image size 0", [&] { Bytes b = good; writeU32(&b[14], 0); return b; }(), "image 1 is empty"},
      {"image inside the directory", [&] { Bytes b = good; writeU32(&b[18], 4); writeU32(&b[14], 8); return b; }(),
       "image 1 overlaps the icon directory"},
      // Each entry's image would be copied: 65535 entries naming one image would copy it as often.
      {"two entries naming one image",
       [] {
         Bytes b = icoFile({bitmap(16, 16), bitmap(16, 16)});
         writeU32(&b[6 + 16 + 12], readU32(&b[6 + 12]));
         b.resize(b.size() - 56);
         return b;
       }(),
       "its entries share image bytes: their images take 112 bytes, the file holds 56 after its directory"},
      {"neither PNG nor bitmap", icoFile({textBytesOf("just some bytes here")}), "image 1 is neither a PNG image nor a bitmap"},
      {"bitmap 512 wide", icoFile({bitmap(16, 16), bitmap(512, 16)}), "image 2 is 512x16, larger than the 256x256"},
      {"bitmap 300 high", icoFile({bitmap(16, 300)}), "image 1 is 16x300, larger"},
      {"bitmap without width", icoFile({bitmap(0, 16)}), "image 1 is a bitmap without width or height"},
      {"PNG of 257", icoFile({tinyPng(257, 1)}, 0), "image 1 is 257x1, larger"},
      {"PNG with a damaged header",
       [] { Bytes png = tinyPng(8, 8); png[17] ^= 1; return icoFile({png}); }(), "image 1 is a damaged PNG image"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string message = refusal([&] { readIconFile(c.bytes); });
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
  // At the limit: a 256x256 PNG and a 256x256 bitmap are icons.
  EXPECT_EQ(refusal([] { readIconFile(icoFile({tinyPng(256, 256), bitmap(256, 256)}, 0)); }), "");
}

TEST(IconFile, GroupResourceNamesEachImageByItsIdentifier) {
  const std::vector<IconImage> images = readIconFile(fixture("png-and-bitmap.ico"));
  const Bytes group = iconGroupResource(images, 5);
  ASSERT_EQ(group.size(), 6u + 14 * 2);
  EXPECT_EQ(readU16(&group[6 + 12]), 5);
  EXPECT_EQ(readU16(&group[6 + 14 + 12]), 6);

  std::map<uint16_t, Bytes> resources = {{5, images[0].data}, {6, images[1].data}};
  auto lookup = [&](uint16_t id) -> const Bytes* {
    auto found = resources.find(id);
    return found == resources.end() ? nullptr : &found->second;
  };
  const std::vector<IconImage> read = readIconGroup(group, lookup);
  ASSERT_EQ(read.size(), 2u);
  for (size_t i = 0; i < 2; ++i) {
    EXPECT_EQ(read[i].data, images[i].data);
    EXPECT_EQ(read[i].width, images[i].width);
    EXPECT_EQ(read[i].bit_count, images[i].bit_count);
  }
  Bytes twice = group;
  writeU16(&twice[6 + 14 + 12], 5);
  EXPECT_NE(refusal([&] { readIconGroup(twice, lookup); }).find("image 2 is icon 5 again"), std::string::npos);
  resources.erase(6);
  EXPECT_NE(refusal([&] { readIconGroup(group, lookup); }).find("image 2 is icon 6, which is not there"), std::string::npos);
  EXPECT_NE(refusal([&] { readIconGroup(Bytes(group.begin(), group.end() - 1), lookup); }).find("cut short"), std::string::npos);
}

}  // namespace
