// Letter case as Windows compares names: every UTF-16 unit against the Unicode data the table was
// generated from (so a fault in the compact table or in its search shows as the unit it breaks),
// and the units that must stay themselves.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "NameCase.h"

namespace {

// Field 12 (simple upper case) of every BMP code point that has one in a BMP code point.
std::vector<uint16_t> upperCaseOfEveryUnit(const char* unicode_data) {
  std::vector<uint16_t> upper(0x10000);
  for (uint32_t unit = 0; unit < upper.size(); ++unit) upper[unit] = static_cast<uint16_t>(unit);
  std::ifstream data(unicode_data);
  EXPECT_TRUE(data.good()) << unicode_data;
  std::string line;
  while (std::getline(data, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, ';');) fields.push_back(field);
    if (fields.size() < 13 || fields[12].empty()) continue;
    const unsigned long code = std::stoul(fields[0], nullptr, 16);
    const unsigned long mapped = std::stoul(fields[12], nullptr, 16);
    if (code <= 0xFFFF && mapped <= 0xFFFF) upper[code] = static_cast<uint16_t>(mapped);
  }
  return upper;
}

TEST(NameCase, EveryUnitFoldsToItsSimpleUpperCase) {
  const std::vector<uint16_t> upper = upperCaseOfEveryUnit(ONEFILE_UNICODE_DATA);
  size_t mapped = 0;
  for (uint32_t unit = 0; unit <= 0xFFFF; ++unit) {
    ASSERT_EQ(static_cast<uint16_t>(foldNameUnit(static_cast<WideUnit>(unit))), upper[unit]) << std::hex << unit;
    mapped += upper[unit] != unit;
  }
  EXPECT_GT(mapped, 1000u);  // the data was read, not an empty file
}

TEST(NameCase, UnitsWithoutASingleUnitUpperCaseStayThemselves) {
  const struct {
    const char* what;
    char16_t unit;
    char16_t folded;
  } cases[] = {
      {"ASCII", u'a', u'A'},
      {"Latin-1", u'\u00E9', u'\u00C9'},
      {"y with diaeresis, upper case outside Latin-1", u'\u00FF', u'\u0178'},
      {"dotless i", u'\u0131', u'I'},
      {"final sigma", u'\u03C2', u'\u03A3'},
      {"title case Dz", u'\u01C5', u'\u01C4'},
      {"sharp s (upper case SS is two units)", u'\u00DF', u'\u00DF'},
      {"I with dot above (lower case i plus a mark)", u'\u0130', u'\u0130'},
      {"high surrogate", u'\xD801', u'\xD801'},
      {"low surrogate of a Deseret small letter", u'\xDC28', u'\xDC28'},
      {"digit", u'7', u'7'},
      {"slash in a component", u'/', u'/'},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(static_cast<char16_t>(foldNameUnit(static_cast<WideUnit>(c.unit))), c.folded);
  }
  // In a payload path "/" separates components as "\" does.
  EXPECT_EQ(static_cast<char16_t>(foldPathUnit(static_cast<WideUnit>(u'/'))), u'\\');
}

}  // namespace
