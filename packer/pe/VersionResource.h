// The version resource (RT_VERSION 1) that Explorer shows under Properties > Details: read from a
// main program for the defaults of a pack, written anew for every packed executable.
//
// Every block has the same frame, each block starting on a 4-byte boundary of the resource:
//
//   offset  size                 field
//   0       2                    wLength: bytes of the block, its children included
//   2       2                    wValueLength: bytes of a binary value, units of a text value
//   4       2                    wType: 0 binary, 1 text
//   6       2 * (k + 1)          szKey: k UTF-16LE units and a zero unit
//   ...     0-2                  padding to 4 bytes, zero bytes
//   ...     value                the value, then padding to 4 bytes
//   ...     children             blocks, each padded to 4 bytes
//
//   "VS_VERSION_INFO"     value: VS_FIXEDFILEINFO (52 bytes, signature 0xFEEF04BD)
//     "StringFileInfo"      no value
//       "040904B0"            no value; a language and code page in 8 hex digits
//         "ProductName"         text value ... one block per string
//     "VarFileInfo"         no value
//       "Translation"         binary value: pairs of 16-bit language and code page
#pragma once

#include <stdint.h>

#include <array>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct FixedFileInfo {
  std::array<uint16_t, 4> file_version{};     // major, minor, patch, build
  std::array<uint16_t, 4> product_version{};
  uint32_t flags_mask = 0x3F;
  uint32_t flags = 0;
  uint32_t os = 0x40004;  // VOS_NT_WINDOWS32
  uint32_t type = 1;      // VFT_APP
  uint32_t subtype = 0;
  uint64_t date = 0;
};

struct VersionStringTable {
  std::u16string language;  // "040904B0"
  std::vector<std::pair<std::u16string, std::u16string>> strings;
};

struct VersionInfo {
  std::optional<FixedFileInfo> fixed;
  std::vector<VersionStringTable> tables;
  std::vector<uint32_t> translations;  // language in the low 16 bits, code page in the high 16 bits
};

// Throws PackError with the reason when the bytes are not a version resource: cut short, a block
// shorter than its header or whose length leaves its parent or the resource, a key without its
// zero unit, padding that is not zero (a block or value off its 4-byte boundary), a root other
// than "VS_VERSION_INFO", or a fixed part without its signature. Unknown blocks are skipped; a text
// value is read up to its first zero unit, whatever its wValueLength says (compilers disagree on
// whether it counts units or bytes).
VersionInfo readVersionResource(const std::vector<uint8_t>& bytes);

// The resource for `info`. Strings with an empty value are left out.
std::vector<uint8_t> writeVersionResource(const VersionInfo& info);

// The value of `key` in the table of the first translation, else in the first table; null when
// there is none or it is empty.
const std::u16string* versionString(const VersionInfo& info, const std::u16string& key);

// Four numbers from the start of a version text: an optional "v", then up to four decimal numbers
// separated by dots ("2.4.1-beta" gives 2.4.1.0, "v10" gives 10.0.0.0, "beta" gives 0.0.0.0). A
// number above 65535 becomes 65535.
std::array<uint16_t, 4> numericVersion(const std::u16string& text);

// "a.b.c.d" of four numbers.
std::u16string versionText(const std::array<uint16_t, 4>& numbers);
