// Linux names are bytes: any byte string a system folder or the launcher's path holds comes back
// whole, while a payload name must be Unicode text, so that two names never become one file.
#include <gtest/gtest.h>

#include <string>

#include "SystemPathText.h"

namespace {

using Units = std::basic_string<WideUnit>;

Units units(std::initializer_list<uint16_t> values) {
  Units text;
  for (uint16_t value : values) text += static_cast<WideUnit>(value);
  return text;
}

Units decoded(const std::string& bytes, bool path) {
  WideUnit text[64];
  EXPECT_TRUE(decodeSystemText(bytes.c_str(), text, 64, path)) << bytes;
  return text;
}

TEST(SystemPathText, DecodesUtf8AndEscapesEveryOtherByte) {
  const struct {
    const char* what;
    std::string bytes;
    Units expected;
  } cases[] = {
      {"a path", "/home/u/.cache", units({'\\', 'h', 'o', 'm', 'e', '\\', 'u', '\\', '.', 'c', 'a', 'c', 'h', 'e'})},
      {"two-byte character", "/Jos\xc3\xa9", units({'\\', 'J', 'o', 's', 0xE9})},
      {"astral character", "\xf0\x9f\x98\x80", units({0xD83D, 0xDE00})},
      {"Latin-1 byte", "/Jos\xe9", units({'\\', 'J', 'o', 's', 0xDCE9})},
      {"sequence cut short", "\xe6\x95", units({0xDCE6, 0xDC95})},
      {"overlong slash", "\xc0\xaf", units({0xDCC0, 0xDCAF})},
      {"encoded surrogate", "\xed\xa0\x80", units({0xDCED, 0xDCA0, 0xDC80})},
      {"stray continuation", "a\x80" "b", units({'a', 0xDC80, 'b'})},
      {"backslash in a name", "a\\b", units({'a', '\\', 'b'})},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    EXPECT_EQ(row.expected, decoded(row.bytes, true));
  }
  EXPECT_EQ(units({'a', '/', 'b'}), decoded("a/b", false)) << "a value that is no path keeps its slashes";
}

TEST(SystemPathText, BytesFromTheSystemComeBackWhole) {
  const std::string inputs[] = {"/home/u", "/Jos\xe9/\xff\xfe", "\xe6\x95", "\xed\xa0\x80", "/\xf0\x9f\x98\x80",
                                "\xc3\xa9\xc3"};
  for (const std::string& bytes : inputs) {
    const Units text = decoded(bytes, true);
    char encoded[64];
    ASSERT_TRUE(encodeSystemText(text.c_str(), kAllEscaped, encoded, sizeof encoded, true)) << bytes;
    EXPECT_EQ(bytes, std::string(encoded));
  }
}

TEST(SystemPathText, AnEscapedByteInAPayloadNameHasNoBytes) {
  // "\home\é" from the system, then a name: the same bytes as "é" must not be reachable by escapes.
  const struct {
    const char* what;
    Units text;
    bool encodes;
    std::string expected;
  } cases[] = {
      {"escape in the directory", units({'\\', 'd', 0xDCE9, '\\', 'a'}), true, "/d\xe9/a"},
      {"escape in the name", units({'\\', 'd', '\\', 0xDCC3, 0xDCA9}), false, ""},
      {"lone high surrogate in the name", units({'\\', 'd', '\\', 0xD800}), false, ""},
      {"lone surrogate below the escapes", units({0xDC10}), false, ""},
      {"character in the name", units({'\\', 'd', '\\', 0xE9}), true, "/d/\xc3\xa9"},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.what);
    char bytes[64] = "junk";
    EXPECT_EQ(row.encodes, encodeSystemText(row.text.c_str(), 3, bytes, sizeof bytes, true));
    EXPECT_EQ(row.expected, std::string(bytes));
  }
}

TEST(SystemPathText, ATextThatDoesNotFitIsNotCut) {
  WideUnit text[4];
  EXPECT_TRUE(decodeSystemText("abc", text, 4, true));
  EXPECT_FALSE(decodeSystemText("abcd", text, 4, true));
  EXPECT_EQ(0, text[0]);
  const Units wide = units({'a', 0xE9});
  char bytes[4];
  EXPECT_TRUE(encodeSystemText(wide.c_str(), 0, bytes, 4, true)) << "three bytes and the terminator";
  EXPECT_FALSE(encodeSystemText(wide.c_str(), 0, bytes, 3, true));
  EXPECT_EQ(0, bytes[0]);
}

}  // namespace
