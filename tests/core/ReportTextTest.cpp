// System message texts made to fit the report's one line.
#include <gtest/gtest.h>

#include <string>

#include "ReportText.h"

namespace {

struct OneLineCase {
  const char* text;
  const char* expected;
};

const OneLineCase kOneLineCases[] = {
    {"The system cannot find the file specified.\r\n", "The system cannot find the file specified."},
    {"There is not enough space on the disk.\r\n", "There is not enough space on the disk."},
    {"File not found.\n", "File not found."},
    {"no break at all", "no break at all"},
    {"trailing blanks \t \r\n", "trailing blanks"},
    {"first line\r\nsecond line\r\n", "first line second line"},
    {"first line.  \r\n\r\n   second line", "first line. second line"},
    {"inner  spaces stay\r\n", "inner  spaces stay"},
    {"\r\nleading break", "leading break"},
    {"  leading blanks stay", "  leading blanks stay"},
    {"\r\n\r\n", ""},
    {"", ""},
    {"lone\rcarriage return", "lone carriage return"},
};

// The launcher takes its system texts wide; the same rule applies unit for unit.
std::basic_string<WideUnit> wideFrom(const char* text) {
  std::basic_string<WideUnit> wide;
  for (const char* c = text; *c != 0; ++c) wide += static_cast<WideUnit>(static_cast<unsigned char>(*c));
  return wide;
}

TEST(ReportText, SystemTextsBecomeOneLine) {
  for (const OneLineCase& c : kOneLineCases) {
    std::string text = c.text;
    makeOneLine(text.data());
    EXPECT_STREQ(text.c_str(), c.expected) << "from \"" << c.text << "\"";
    std::basic_string<WideUnit> wide = wideFrom(c.text);
    makeOneLine(wide.data());
    EXPECT_TRUE(wide.c_str() == wideFrom(c.expected)) << "wide, from \"" << c.text << "\"";
  }
}

}  // namespace
