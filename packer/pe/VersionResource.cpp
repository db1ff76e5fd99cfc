#include "VersionResource.h"

#include <algorithm>

#include "LittleEndian.h"
#include "PackError.h"

namespace {

constexpr size_t kBlockHeaderSize = 6;
constexpr size_t kFixedInfoSize = 52;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr uint32_t kFixedInfoStructVersion = 0x00010000;
constexpr uint16_t kBinaryValue = 0;
constexpr uint16_t kTextValue = 1;

void require(bool condition, const std::string& reason) {
  if (!condition) throw PackError("not a version resource: " + reason);
}

size_t align4(size_t offset) { return (offset + 3) & ~static_cast<size_t>(3); }

struct Block {
  std::u16string key;
  uint16_t value_length = 0;
  uint16_t type = 0;
  size_t value = 0;  // offset of the value
  size_t end = 0;    // offset just past the block
};

bool allZero(const std::vector<uint8_t>& bytes, size_t from, size_t end) {
  return std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(end),
                     [](uint8_t byte) { return byte == 0; });
}

// The block at `offset`, which must end by `limit`.
Block readBlock(const std::vector<uint8_t>& bytes, size_t offset, size_t limit) {
  require(limit - offset >= kBlockHeaderSize, "a block is cut short");
  Block block;
  const uint16_t length = readU16(&bytes[offset]);
  require(length >= kBlockHeaderSize, "a block's length is shorter than its header");
  require(length <= limit - offset, "a block's length leaves its parent");
  block.end = offset + length;
  block.value_length = readU16(&bytes[offset + 2]);
  block.type = readU16(&bytes[offset + 4]);
  size_t at = offset + kBlockHeaderSize;
  for (;; at += 2) {
    require(block.end - at >= 2, "a key has no terminating zero");
    const char16_t unit = static_cast<char16_t>(readU16(&bytes[at]));
    if (unit == 0) break;
    block.key += unit;
  }
  block.value = std::min(align4(at + 2), block.end);
  // Padding is zero bytes. Anything else is a value that was not put on its 4-byte boundary, which
  // would be read shifted (a text without its first letter) instead of refused.
  require(allZero(bytes, at + 2, block.value), "a value is not aligned to 4 bytes (its padding is not zero)");
  return block;
}

// Where the children of a block begin, given the bytes its value takes.
size_t childrenOf(const Block& block, size_t value_bytes) {
  return std::min(align4(block.value + std::min(value_bytes, block.end - block.value)), block.end);
}

// Calls `visit` for each child block; zero bytes after the last child (padding some tools
// leave) end the list.
template <typename Visit>
void forEachChild(const std::vector<uint8_t>& bytes, size_t first, size_t end, Visit visit) {
  for (size_t at = first; at < end;) {
    if (allZero(bytes, at, std::min(end, at + 2))) {
      require(allZero(bytes, at, end), "a block has length 0 (or is not aligned to 4 bytes)");
      return;
    }
    const Block child = readBlock(bytes, at, end);
    visit(child);
    at = std::min(align4(child.end), end);
    require(allZero(bytes, child.end, at), "a block is not aligned to 4 bytes (the padding before it is not zero)");
  }
}

std::u16string textValue(const std::vector<uint8_t>& bytes, const Block& block) {
  std::u16string text;
  for (size_t at = block.value; block.end - at >= 2; at += 2) {
    const char16_t unit = static_cast<char16_t>(readU16(&bytes[at]));
    if (unit == 0) break;
    text += unit;
  }
  return text;
}

FixedFileInfo readFixedInfo(const std::vector<uint8_t>& bytes, const Block& root) {
  require(root.end - root.value >= kFixedInfoSize, "the fixed part is cut short");
  const uint8_t* at = &bytes[root.value];
  require(readU32(at) == kFixedInfoSignature, "the fixed part lacks its signature 0xFEEF04BD");
  FixedFileInfo fixed;
  auto numbers = [](uint32_t most, uint32_t least) {
    return std::array<uint16_t, 4>{static_cast<uint16_t>(most >> 16), static_cast<uint16_t>(most),
                                   static_cast<uint16_t>(least >> 16), static_cast<uint16_t>(least)};
  };
  fixed.file_version = numbers(readU32(at + 8), readU32(at + 12));
  fixed.product_version = numbers(readU32(at + 16), readU32(at + 20));
  fixed.flags_mask = readU32(at + 24);
  fixed.flags = readU32(at + 28);
  fixed.os = readU32(at + 32);
  fixed.type = readU32(at + 36);
  fixed.subtype = readU32(at + 40);
  fixed.date = (static_cast<uint64_t>(readU32(at + 44)) << 32) | readU32(at + 48);
  return fixed;
}

void appendU16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void appendU32(std::vector<uint8_t>& out, uint32_t value) {
  appendU16(out, static_cast<uint16_t>(value));
  appendU16(out, static_cast<uint16_t>(value >> 16));
}

void appendText(std::vector<uint8_t>& out, const std::u16string& text) {
  for (char16_t unit : text) appendU16(out, static_cast<uint16_t>(unit));
  appendU16(out, 0);
}

void padTo4(std::vector<uint8_t>& out) { out.resize(align4(out.size()), 0); }

// One block: header, key, value, children. It ends without padding; its parent pads before the
// next child.
std::vector<uint8_t> blockBytes(const std::u16string& key, uint16_t type, uint16_t value_length, const std::vector<uint8_t>& value,
                           const std::vector<std::vector<uint8_t>>& children) {
  std::vector<uint8_t> out(kBlockHeaderSize, 0);
  appendText(out, key);
  padTo4(out);
  out.insert(out.end(), value.begin(), value.end());
  for (const std::vector<uint8_t>& child : children) {
    padTo4(out);
    out.insert(out.end(), child.begin(), child.end());
  }
  if (out.size() > 0xFFFF) throw PackError("the version resource would be larger than 64 KiB");
  writeU16(&out[0], static_cast<uint16_t>(out.size()));
  writeU16(&out[2], value_length);
  writeU16(&out[4], type);
  return out;
}

std::vector<uint8_t> fixedInfoBytes(const FixedFileInfo& fixed) {
  std::vector<uint8_t> out;
  auto most = [](const std::array<uint16_t, 4>& v) { return static_cast<uint32_t>(v[0]) << 16 | v[1]; };
  auto least = [](const std::array<uint16_t, 4>& v) { return static_cast<uint32_t>(v[2]) << 16 | v[3]; };
  for (uint32_t value : {kFixedInfoSignature, kFixedInfoStructVersion, most(fixed.file_version), least(fixed.file_version),
                         most(fixed.product_version), least(fixed.product_version), fixed.flags_mask, fixed.flags, fixed.os,
                         fixed.type, fixed.subtype, static_cast<uint32_t>(fixed.date >> 32), static_cast<uint32_t>(fixed.date)}) {
    appendU32(out, value);
  }
  return out;
}

std::u16string hex8(uint32_t value) {
  static const char digits[] = "0123456789ABCDEF";
  std::u16string text;
  for (int shift = 28; shift >= 0; shift -= 4) text += static_cast<char16_t>(digits[(value >> shift) & 0xF]);
  return text;
}

// Table keys are hexadecimal in either case.
std::u16string upperHex(std::u16string text) {
  for (char16_t& unit : text) {
    if (unit >= u'a' && unit <= u'f') unit = static_cast<char16_t>(unit - u'a' + u'A');
  }
  return text;
}

}  // namespace

VersionInfo readVersionResource(const std::vector<uint8_t>& bytes) {
  const Block root = readBlock(bytes, 0, bytes.size());
  require(root.key == u"VS_VERSION_INFO", "its root block is not VS_VERSION_INFO");
  VersionInfo info;
  if (root.value_length != 0) {
    require(root.value_length >= kFixedInfoSize, "the fixed part is cut short");
    info.fixed = readFixedInfo(bytes, root);
  }
  forEachChild(bytes, childrenOf(root, root.value_length), root.end, [&](const Block& section) {
    const size_t first = childrenOf(section, section.type == kBinaryValue ? section.value_length : 2u * section.value_length);
    if (section.key == u"StringFileInfo") {
      forEachChild(bytes, first, section.end, [&](const Block& table_block) {
        VersionStringTable table;
        table.language = table_block.key;
        forEachChild(bytes, childrenOf(table_block, 0), table_block.end, [&](const Block& string) {
          table.strings.emplace_back(string.key, textValue(bytes, string));
        });
        info.tables.push_back(std::move(table));
      });
    } else if (section.key == u"VarFileInfo") {
      forEachChild(bytes, first, section.end, [&](const Block& var) {
        if (var.key != u"Translation") return;
        const size_t end = std::min(var.end, var.value + var.value_length);
        for (size_t at = var.value; end >= at + 4; at += 4) {
          info.translations.push_back(static_cast<uint32_t>(readU16(&bytes[at])) |
                                      static_cast<uint32_t>(readU16(&bytes[at + 2])) << 16);
        }
      });
    }
  });
  return info;
}

std::vector<uint8_t> writeVersionResource(const VersionInfo& info) {
  std::vector<std::vector<uint8_t>> sections;
  if (!info.tables.empty()) {
    std::vector<std::vector<uint8_t>> tables;
    for (const VersionStringTable& table : info.tables) {
      std::vector<std::vector<uint8_t>> strings;
      for (const auto& [key, value] : table.strings) {
        if (value.empty()) continue;
        std::vector<uint8_t> text;
        appendText(text, value);
        if (value.size() + 1 > 0xFFFF) throw PackError("a version string is longer than 65534 units");
        strings.push_back(blockBytes(key, kTextValue, static_cast<uint16_t>(value.size() + 1), text, {}));
      }
      tables.push_back(blockBytes(table.language, kTextValue, 0, {}, strings));
    }
    sections.push_back(blockBytes(u"StringFileInfo", kTextValue, 0, {}, tables));
  }
  if (!info.translations.empty()) {
    std::vector<uint8_t> pairs;
    for (uint32_t translation : info.translations) appendU32(pairs, translation);
    const std::vector<uint8_t> var = blockBytes(u"Translation", kBinaryValue, static_cast<uint16_t>(pairs.size()), pairs, {});
    sections.push_back(blockBytes(u"VarFileInfo", kTextValue, 0, {}, {var}));
  }
  const std::vector<uint8_t> fixed = info.fixed ? fixedInfoBytes(*info.fixed) : std::vector<uint8_t>{};
  return blockBytes(u"VS_VERSION_INFO", kBinaryValue, static_cast<uint16_t>(fixed.size()), fixed, sections);
}

const std::u16string* versionString(const VersionInfo& info, const std::u16string& key) {
  const VersionStringTable* chosen = info.tables.empty() ? nullptr : &info.tables.front();
  if (!info.translations.empty()) {
    const uint32_t first = info.translations.front();
    const std::u16string wanted = hex8((first & 0xFFFF) << 16 | first >> 16);
    const auto found = std::find_if(info.tables.begin(), info.tables.end(),
                                    [&](const VersionStringTable& table) { return upperHex(table.language) == wanted; });
    if (found != info.tables.end()) chosen = &*found;
  }
  if (chosen == nullptr) return nullptr;
  for (const auto& [name, value] : chosen->strings) {
    if (name == key && !value.empty()) return &value;
  }
  return nullptr;
}

std::array<uint16_t, 4> numericVersion(const std::u16string& text) {
  std::array<uint16_t, 4> numbers{};
  size_t at = !text.empty() && (text[0] == u'v' || text[0] == u'V') ? 1 : 0;
  for (size_t index = 0; index < numbers.size(); ++index) {
    if (at >= text.size() || text[at] < u'0' || text[at] > u'9') break;
    uint32_t number = 0;
    for (; at < text.size() && text[at] >= u'0' && text[at] <= u'9'; ++at) {
      number = std::min<uint32_t>(number * 10 + static_cast<uint32_t>(text[at] - u'0'), 0xFFFF);
    }
    numbers[index] = static_cast<uint16_t>(number);
    if (at + 1 >= text.size() || text[at] != u'.') break;
    ++at;
  }
  return numbers;
}

std::u16string versionText(const std::array<uint16_t, 4>& numbers) {
  std::u16string text;
  for (size_t i = 0; i < numbers.size(); ++i) {
    if (i > 0) text += u'.';
    for (char c : std::to_string(numbers[i])) text += static_cast<char16_t>(c);
  }
  return text;
}
