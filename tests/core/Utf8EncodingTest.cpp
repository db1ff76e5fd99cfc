// Reports on a redirected stream are UTF-8, whatever script a path is written in.
#include <gtest/gtest.h>

#include <string>

#include "Utf8Encoding.h"

namespace {

struct EncodingCase {
  const char* what;
  std::u16string text;
  std::string expected;
};

// Units are spelled out where a u"" literal could not hold them (a lone surrogate).
const EncodingCase kEncodingCases[] = {
    {"ASCII", u"C:\\app\\data.bin", "C:\\app\\data.bin"},
    {"Latin-1", u"C:\\Users\\Jos\u00e9", "C:\\Users\\Jos\xc3\xa9"},
    {"Cyrillic", u"\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435",
     "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xbb\xd0\xbe\xd0\xb6\xd0\xb5\xd0\xbd\xd0\xb8\xd0\xb5"},
    {"CJK", u"\u6570\u636e\\app.exe", "\xe6\x95\xb0\xe6\x8d\xae\\app.exe"},
    {"astral pair", u"a\U0001F600b", "a\xf0\x9f\x98\x80" "b"},
    {"lone high surrogate", std::u16string{u'a', char16_t(0xD83D), u'b'}, "a\xef\xbf\xbd" "b"},
    {"lone low surrogate", std::u16string{char16_t(0xDE00), u'b'}, "\xef\xbf\xbd" "b"},
    {"high surrogate at the end", std::u16string{u'a', char16_t(0xD83D)}, "a\xef\xbf\xbd"},
    {"last unit below the surrogates", u"\uFFFF", "\xef\xbf\xbf"},
    {"empty", u"", ""},
};

TEST(Utf8Encoding, EncodesEveryScriptAndReplacesLoneSurrogates) {
  for (const EncodingCase& c : kEncodingCases) {
    SCOPED_TRACE(c.what);
    std::basic_string<WideUnit> text(c.text.begin(), c.text.end());
    char bytes[64];
    size_t length = 99;
    ASSERT_TRUE(encodeUtf8(text.c_str(), bytes, sizeof bytes, &length));
    EXPECT_EQ(std::string(bytes, length), c.expected);
  }
}

struct CapacityCase {
  const char* what;
  std::u16string text;
  size_t capacity;
  bool fits;
};

const CapacityCase kCapacityCases[] = {
    {"ASCII, exactly", u"abc", 3, true},
    {"ASCII, one byte short", u"abc", 2, false},
    {"Cyrillic, one byte short of its second byte", u"a\u0416", 2, false},
    {"CJK, one byte short", u"\u6570", 2, false},
    {"astral pair, one byte short", u"\U0001F600", 3, false},
    {"astral pair, exactly", u"\U0001F600", 4, true},
    {"nothing into nothing", u"", 0, true},
};

// A sentinel byte right after the capacity shows a write past it.
TEST(Utf8Encoding, RefusesATextThatDoesNotFitAndWritesNothingPastTheCapacity) {
  for (const CapacityCase& c : kCapacityCases) {
    SCOPED_TRACE(c.what);
    std::basic_string<WideUnit> text(c.text.begin(), c.text.end());
    char bytes[16];
    memset(bytes, '#', sizeof bytes);
    size_t length = 99;
    EXPECT_EQ(encodeUtf8(text.c_str(), bytes, c.capacity, &length), c.fits);
    if (!c.fits) EXPECT_EQ(length, 0u);
    EXPECT_EQ(bytes[c.capacity], '#');
  }
}

}  // namespace
