// The quoting of the child's arguments, the joined line and the launcher's directory. Built for the
// host and for Windows (where the Wine-side tests also feed the results to the system's parsers).
#include <gtest/gtest.h>

#include <stdio.h>

#include <string>
#include <vector>

#include "ChildCommandLine.h"
#include "ExitCodes.h"

namespace {

typedef std::basic_string<WideUnit> Text;

Text wide(const char16_t* units) {
  Text result;
  for (; *units != 0; ++units) result.push_back(static_cast<WideUnit>(*units));
  return result;
}

std::string printable(const Text& text) {
  std::string result;
  for (WideUnit unit : text) {
    if (unit >= 0x20 && unit < 0x7F) {
      result += static_cast<char>(unit);
    } else {
      char escaped[16];
      snprintf(escaped, sizeof escaped, "<%04X>", static_cast<unsigned>(unit));
      result += escaped;
    }
  }
  return result;
}

Text quoted(const Text& argument) {
  static WideBuffer<32768> line;
  line[0] = 0;
  appendQuotedArgument(line, argument.c_str());
  return Text(line);
}

struct QuotingCase {
  const char16_t* argument;
  const char16_t* appended;
};

// Raw literals: every backslash and double quote below is one unit of the text.
const QuotingCase kQuotingCases[] = {
    {u"abc", u"abc"},
    {u"", uR"x("")x"},
    {u"two words", uR"x("two words")x"},
    {uR"x(c\dir\)x", uR"x(c\dir\)x"},
    {uR"x(c\my dir\)x", uR"x("c\my dir\\")x"},
    {uR"x(say "hi")x", uR"x("say \"hi\"")x"},
    {uR"x(a\"b)x", uR"x("a\\\"b")x"},
    {uR"x(a\\")x", uR"x("a\\\\\"")x"},
    {uR"x(a\b c)x", uR"x("a\b c")x"},
    {u"a\tb", u"\"a\tb\""},
    {u"a\nb", u"\"a\nb\""},
    {u"a\vb", u"\"a\vb\""},
    // Carriage return and form feed do not split arguments, so they stay unquoted.
    {u"a\rb", u"a\rb"},
    {u"a\fb", u"a\fb"},
    {uR"x(")x", uR"x("\"")x"},
    {uR"x(\)x", uR"x(\)x"},
    {uR"x(\\server\share)x", uR"x(\\server\share)x"},
    {uR"x(\\ x\\)x", uR"x("\\ x\\\\")x"},
    {uR"x(a\\\"b)x", uR"x("a\\\\\\\"b")x"},
    {uR"x(a\\\b c)x", uR"x("a\\\b c")x"},
    {uR"x(""")x", uR"x("\"\"\"")x"},
    {u" ", uR"x(" ")x"},
    {u"\u00e9t\u00e9", u"\u00e9t\u00e9"},
    {u"\u65e5\u672c \u8a9e", u"\"\u65e5\u672c \u8a9e\""},
    {u"\U0001F600 \\", u"\"\U0001F600 \\\\\""},
    // No-break space is not one of the separators.
    {u"a\u00a0b", u"a\u00a0b"},
};

TEST(QuotingRule, Table) {
  for (const QuotingCase& c : kQuotingCases) {
    const Text argument = wide(c.argument);
    SCOPED_TRACE(printable(argument));
    EXPECT_EQ(printable(quoted(argument)), printable(wide(c.appended)));
  }
}

TEST(QuotingRule, AppendsAfterWhatTheLineHolds) {
  WideBuffer<32> line = {0};
  copyWideString(line, WIDE_TEXT("x "));
  appendQuotedArgument(line, WIDE_TEXT("a b"));
  EXPECT_EQ(Text(line), wide(u"x \"a b\""));
}

struct JoinCase {
  std::vector<const char16_t*> arguments;
  const char16_t* line;
};

TEST(JoinedLine, OneSpaceBetweenArgumentsAndNoneAround) {
  const JoinCase cases[] = {
      {{uR"x(C:\Apps\My Tool\tool.exe)x", u"a", u"b c"}, uR"x("C:\Apps\My Tool\tool.exe" a "b c")x"},
      {{uR"x(C:\Apps\tool.exe)x"}, uR"x(C:\Apps\tool.exe)x"},
      {{uR"x(C:\My Apps\tool.exe)x"}, uR"x("C:\My Apps\tool.exe")x"},
      {{uR"x(C:\tool.exe)x", u"a", u"", u"b"}, uR"x(C:\tool.exe a "" b)x"},
      {{uR"x(C:\tool.exe)x", u"", u""}, uR"x(C:\tool.exe "" "")x"},
      {{}, u""},
  };
  for (const JoinCase& c : cases) {
    std::vector<Text> texts;
    for (const char16_t* argument : c.arguments) texts.push_back(wide(argument));
    std::vector<const WideUnit*> pointers;
    for (const Text& text : texts) pointers.push_back(text.c_str());
    WideBuffer<128> line;
    // Whatever the buffer held before is replaced.
    copyWideString(line, WIDE_TEXT("old"));
    joinQuotedArguments(line, pointers.data(), pointers.size());
    EXPECT_EQ(printable(Text(line)), printable(wide(c.line)));
  }
}

// The line's buffer holds 32767 units of text: the closing quote and every doubled backslash count.
TEST(JoinedLine, FillsTheBufferToItsLastUnitAndStopsBeyond) {
  static WideBuffer<32768> line;
  const struct {
    Text argument;
    bool fits;
  } cases[] = {
      {Text(32767, WideUnit('a')), true},
      {Text(32768, WideUnit('a')), false},
      {Text(32764, WideUnit('a')) + wide(u" "), true},  // 32765 units and two quotes
      {Text(32765, WideUnit('a')) + wide(u" "), false},
      {wide(u"ab ") + Text(16381, WideUnit('\\')), true},  // the final run doubled: 1 + 3 + 32762 + 1
      {wide(u"ab ") + Text(16382, WideUnit('\\')), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.argument.size());
    const WideUnit* arguments[] = {c.argument.c_str()};
    if (c.fits) {
      joinQuotedArguments(line, arguments, 1);
      EXPECT_EQ(wideLength(line), 32767u);
    } else {
      EXPECT_EXIT(joinQuotedArguments(line, arguments, 1), testing::ExitedWithCode(kStopExitCode), "");
    }
  }
}

TEST(LauncherDirectory, CutAtTheLastBackslash) {
  const struct {
    const char16_t* path;
    const char16_t* directory;
  } cases[] = {
      {uR"x(C:\Apps\My Tool\tool.exe)x", uR"x(C:\Apps\My Tool)x"},
      {uR"x(D:\tool.exe)x", u"D:"},
      {uR"x(\\server\share\tool.exe)x", uR"x(\\server\share)x"},
      {u"tool.exe", u"tool.exe"},
      {u"", u""},
  };
  for (const auto& c : cases) {
    Text path = wide(c.path);
    cutAtLastBackslash(path.data());
    EXPECT_EQ(Text(path.c_str()), wide(c.directory));
  }
}

}  // namespace
