// Names one start has met: a later name that Windows would take for an earlier file is refused,
// whether in the same group or in another, and nothing else is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NameCase.h"
#include "PayloadGroup.h"
#include "SeenNames.h"

namespace {

const WideUnit* units(const std::u16string& text) { return reinterpret_cast<const WideUnit*>(text.c_str()); }

// Large: in static storage, emptied for each use.
SeenNames& emptySeenNames() {
  static SeenNames seen;
  forgetNames(seen);
  return seen;
}

TEST(SeenNames, NamesWindowsTakesForOneFileCollide) {
  const struct {
    const char* what;
    std::u16string first;
    std::u16string second;
    bool collide;
  } cases[] = {
      {"ASCII", u"Readme.TXT", u"readme.txt", true},
      {"Latin-1", u"\u00E9.txt", u"\u00C9.txt", true},
      {"Dz with caron, title and lower case", u"\u01C5", u"\u01C6", true},
      {"Dz with caron, upper and title case", u"\u01C4.dat", u"\u01C5.dat", true},
      {"Greek, accented", u"\u03C3\u03BF\u03C6\u03AF\u03B1", u"\u03A3\u039F\u03A6\u038A\u0391", true},
      {"Greek final sigma and capital sigma", u"\u03BB\u03CC\u03B3\u03BF\u03C2", u"\u039B\u038C\u0393\u039F\u03A3", true},
      {"Greek small and final sigma", u"x\u03C3", u"x\u03C2", true},
      {"Cyrillic", u"\u0434\u0430\u043D\u043D\u044B\u0435.txt", u"\u0414\u0410\u041D\u041D\u042B\u0415.TXT", true},
      {"dotless i and i (both upper case to I)", u"\u0131.txt", u"i.txt", true},
      {"other folders that collide", u"A\\\u00E9.txt", u"a\\\u00C9.TXT", true},
      {"slash and backslash", u"lib/x.dll", u"LIB\\x.dll", true},
      {"the same name twice", u"app.exe", u"app.exe", true},
      {"sharp s and ss", u"stra\u00DFe", u"strasse", false},
      {"sharp s and capital sharp s (no simple mapping between them)", u"\u00DF", u"\u1E9E", false},
      {"i and I with dot above", u"i.txt", u"\u0130.txt", false},
      {"e and e with acute", u"e.txt", u"\u00E9.txt", false},
      {"the same file in other folders", u"a\\x.txt", u"b\\x.txt", false},
      {"a folder and a file below it", u"data", u"data\\x", false},
      {"names that differ in length only", u"ab", u"abc", false},
      {"Deseret small and capital long I (two units each, not folded)", u"\xD801\xDC28", u"\xD801\xDC00", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(samePathFolded(units(c.first), units(c.second)), c.collide);
    SeenNames& seen = emptySeenNames();
    EXPECT_EQ(rememberName(seen, units(c.first)), NameCheck::fresh);
    EXPECT_EQ(rememberName(seen, units(c.second)), c.collide ? NameCheck::collision : NameCheck::fresh);
  }
}

// A group index as the grouped layout holds it: each name, its terminator, size and checksum.
std::string indexOf(const std::vector<std::u16string>& names) {
  std::string index;
  for (const std::u16string& name : names) {
    for (char16_t unit : name + u'\0') index += {static_cast<char>(unit & 0xFF), static_cast<char>(unit >> 8)};
    index += std::string(8, '\0') + std::string("\1\0\0\0", 4);
  }
  return index;
}

PayloadGroup& groupOf(const std::vector<std::u16string>& names) {
  static PayloadGroup group;
  const std::string index = indexOf(names);
  memcpy(group.index, index.data(), index.size());
  group.length = static_cast<uint32_t>(index.size());
  EXPECT_EQ(checkGroupIndex(group.index, group.length, group.records, group.data_size, group.refused_name),
            GroupStatus::group);
  return group;
}

TEST(SeenNames, AGroupIsCheckedWholeAndAgainstEarlierGroups) {
  const struct {
    const char* what;
    std::vector<std::vector<std::u16string>> groups;
    NameCheck last;  // the outcome of the last group; every earlier one is fresh
  } cases[] = {
      {"a pair within one group", {{u"app.exe", u"\u00E9.txt", u"\u00C9.txt"}}, NameCheck::collision},
      {"a pair in two groups", {{u"app.exe", u"\u00E9.txt"}, {u"z.txt", u"\u00C9.txt"}}, NameCheck::collision},
      {"distinct names in two groups", {{u"app.exe", u"\u00E9.txt"}, {u"e.txt", u"E\u0301.txt"}}, NameCheck::fresh},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SeenNames& seen = emptySeenNames();
    for (size_t i = 0; i + 1 < c.groups.size(); ++i) EXPECT_EQ(rememberGroupNames(seen, groupOf(c.groups[i])), NameCheck::fresh);
    EXPECT_EQ(rememberGroupNames(seen, groupOf(c.groups.back())), c.last);
  }
}

TEST(SeenNames, APayloadOfMoreNamesThanTheLimitIsRefusedNotCheckedInPart) {
  SeenNames& seen = emptySeenNames();
  for (uint32_t i = 0; i < kSeenNamesLimit; ++i) {
    const std::u16string name = u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26)) +
                                std::u16string(1, static_cast<char16_t>(0x4E00 + i / 26));
    ASSERT_EQ(rememberName(seen, units(name)), NameCheck::fresh) << i;
  }
  EXPECT_EQ(rememberName(seen, units(u"one.more")), NameCheck::full);
  // A name met before is still known for what it is.
  EXPECT_EQ(rememberName(seen, units(u"FA\u4E00")), NameCheck::collision);
}

}  // namespace
