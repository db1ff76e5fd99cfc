// The room rule and the overflow rule of the bounded text operations, and the decimal formatters.
// Built for the host and for Windows (run under Wine) from this one source.
#include <gtest/gtest.h>

#include <string>

#include "ExitCodes.h"
#include "WideString.h"

namespace {

std::u16string text(const WideUnit* units) { return std::u16string(units, units + wideLength(units)); }

enum class Operation { copy, appendString, appendChar, appendAscii };

struct RoomCase {
  const char* name;
  Operation operation;
  size_t capacity;
  const char16_t* before;
  const char* added;  // ASCII; one unit for appendChar
  const char16_t* after;  // nullptr: the overflow rule stops the program
};

const RoomCase kRoomCases[] = {
    {"capacity 4 takes abc", Operation::copy, 4, u"", "abc", u"abc"},
    {"capacity 4 refuses abcd", Operation::copy, 4, u"", "abcd", nullptr},
    {"copy replaces the old text", Operation::copy, 4, u"xyz", "ab", u"ab"},
    {"copy of empty text empties", Operation::copy, 4, u"xyz", "", u""},
    {"char c after ab fits capacity 4", Operation::appendChar, 4, u"ab", "c", u"abc"},
    {"char d after abc overflows capacity 4", Operation::appendChar, 4, u"abc", "d", nullptr},
    {"string fills to the last unit", Operation::appendString, 5, u"ab", "cd", u"abcd"},
    {"string one unit too long", Operation::appendString, 5, u"ab", "cde", nullptr},
    {"empty string into a full buffer changes nothing", Operation::appendString, 4, u"abc", "", u"abc"},
    {"ascii widened byte by byte", Operation::appendAscii, 8, u"id=", "748", u"id=748"},
    {"ascii overflow", Operation::appendAscii, 5, u"id=", "74", nullptr},
    {"empty ascii into a full buffer changes nothing", Operation::appendAscii, 4, u"abc", "", u"abc"},
};

void apply(const RoomCase& c, WideUnit* buffer) {
  std::u16string added(c.added, c.added + strlen(c.added));
  std::basic_string<WideUnit> wide_added(added.begin(), added.end());
  switch (c.operation) {
    case Operation::copy: copyWideString(buffer, c.capacity, wide_added.c_str()); break;
    case Operation::appendString: appendWideString(buffer, c.capacity, wide_added.c_str()); break;
    case Operation::appendChar: appendWideChar(buffer, c.capacity, wide_added[0]); break;
    case Operation::appendAscii: appendAsciiString(buffer, c.capacity, c.added); break;
  }
}

class RoomRule : public testing::TestWithParam<RoomCase> {};

TEST_P(RoomRule, FitsOrStops) {
  const RoomCase& c = GetParam();
  // A guard unit after the capacity shows that nothing is written past it.
  WideUnit buffer[16];
  for (WideUnit& unit : buffer) unit = u'#';
  size_t i = 0;
  for (; c.before[i] != 0; ++i) buffer[i] = static_cast<WideUnit>(c.before[i]);
  buffer[i] = 0;
  if (c.after == nullptr) {
    EXPECT_EXIT(apply(c, buffer), testing::ExitedWithCode(kStopExitCode), "");
  } else {
    apply(c, buffer);
    EXPECT_EQ(text(buffer), std::u16string(c.after));
  }
  EXPECT_EQ(buffer[c.capacity], u'#');
}

INSTANTIATE_TEST_SUITE_P(Table, RoomRule, testing::ValuesIn(kRoomCases),
                         [](const testing::TestParamInfo<RoomCase>& info) {
                           std::string name;
                           for (const char* p = info.param.name; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                           return name;
                         });

TEST(RoomRule, PathBufferTakes4095UnitsAndRefuses4096) {
  static WideBuffer<4096> buffer;
  std::basic_string<WideUnit> path(4095, WideUnit('p'));
  copyWideString(buffer, path.c_str());
  EXPECT_EQ(wideLength(buffer), 4095u);
  path.push_back(WideUnit('p'));
  EXPECT_EXIT(copyWideString(buffer, path.c_str()), testing::ExitedWithCode(kStopExitCode), "");
}

TEST(DecimalFormat, NarrowAndWide) {
  const struct {
    int64_t value;
    const char* expected;
  } cases[] = {{748, "748"}, {-5, "-5"}, {0, "0"}, {INT32_MIN, "-2147483648"}, {INT32_MAX, "2147483647"}};
  for (const auto& c : cases) {
    DecimalText narrow;
    formatDecimal(narrow, static_cast<int32_t>(c.value));
    EXPECT_STREQ(narrow, c.expected);
  }
  const struct {
    int64_t value;
    const char16_t* expected;
  } wide_cases[] = {{134000000000000000LL, u"134000000000000000"}, {-1, u"-1"}, {INT64_MIN, u"-9223372036854775808"}};
  for (const auto& c : wide_cases) {
    WideDecimalText wide;
    formatDecimalWide(wide, c.value);
    EXPECT_EQ(text(wide), std::u16string(c.expected));
  }
}

TEST(DecimalFormat, ProcessIdsFrom2To31ComeOutNegative) {
  DecimalText narrow;
  formatDecimal(narrow, static_cast<int32_t>(uint32_t{0x80000000u}));
  EXPECT_STREQ(narrow, "-2147483648");
}

}  // namespace
