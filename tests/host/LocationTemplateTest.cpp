// Template expansion with fake system values: the parser's edge cases, every variable, the room
// and the failures. The default fake system has the temporary directory C:\Temp\, the program
// C:\a\b.exe, the profile C:\Users\u, local application data C:\Users\u\AppData\Local and the
// process id 4242, and an empty environment.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "ExitCodes.h"
#include "ExtractionDirectory.h"
#include "HostFakes.h"
#include "LocationTemplate.h"
#include "WideString.h"

namespace {

constexpr WideUnit kGuard = u'#';

struct Expanded {
  bool result;
  std::u16string text;
  bool guard_intact;
};

// The output region sits in a larger buffer whose units past the capacity must stay untouched.
Expanded expand(const std::u16string& template_text, size_t capacity) {
  std::vector<WideUnit> buffer(capacity + 8, kGuard);
  const bool result = expandLocationTemplate(buffer.data(), template_text.c_str(), capacity);
  // The text ends at the first terminator inside the region. A region without one (always so for a
  // capacity of 0) reads as what it holds, never as what lies past it.
  const auto region_end = buffer.begin() + static_cast<std::ptrdiff_t>(capacity);
  Expanded expanded = {result, std::u16string(buffer.begin(), std::find(buffer.begin(), region_end, WideUnit{0})),
                       true};
  for (size_t i = capacity; i < buffer.size(); ++i) expanded.guard_intact &= buffer[i] == kGuard;
  return expanded;
}

class LocationTemplate : public testing::Test {
 protected:
  void SetUp() override { resetFakeSystem(); }
};

struct TemplateCase {
  const char* label;
  const char16_t* template_text;
  bool result;
  const char16_t* text;  // also what a failed expansion leaves
  size_t capacity;
  void (*arrange)(FakeSystem&);
};

void nothing(FakeSystem&) {}

const TemplateCase kTemplateCases[] = {
    {"empty template", u"", true, u"", 4096, nothing},
    {"literal text", u"C:\\x\\y", true, u"C:\\x\\y", 4096, nothing},
    {"lower case name", u"{temp}", true, u"C:\\Temp", 4096, nothing},
    {"mixed case name", u"{Temp}", true, u"C:\\Temp", 4096, nothing},
    {"mixed case name with underscore", u"{Program_Dir}", true, u"C:\\a", 4096, nothing},
    {"empty name fails", u"{}", false, u"", 4096, nothing},
    {"unknown name fails keeping what came before", u"x{NOPE}y", false, u"x", 4096, nothing},
    // Only ASCII letters fold: the long s would become S under full Unicode case mapping.
    {"no folding beyond ASCII", u"{VER\u017fION}", false, u"", 4096, nothing},
    {"open name at the end is dropped", u"abc{TEMP", true, u"abc", 4096, nothing},
    {"second brace restarts the name", u"{X{VERSION}", true, u"1.3", 4096, nothing},
    {"closing brace without a name is literal", u"a}b{VERSION}}", true, u"a}b1.3}", 4096, nothing},
    {"extraction directory", u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}", true, u"C:\\Users\\u\\AppData\\Local\\Quorvell\\1.3",
     4096, nothing},
    {"splash feedback file", u"{TEMP}\\onefile_{PID}_splash_feedback.tmp", true,
     u"C:\\Temp\\onefile_748_splash_feedback.tmp", 4096,
     [](FakeSystem& s) { s.environment["TOLVAR_ONEFILE_PARENT"] = u"748"; }},
    {"home", u"{HOME}", true, u"C:\\Users\\u", 4096, nothing},
    {"program", u"{PROGRAM}", true, u"C:\\a\\b.exe", 4096, nothing},
    // The compiled settings have no build id (LauncherSettingsTest expands one that has).
    {"BUILD without a build id fails", u"x{BUILD}y", false, u"x", 4096, nothing},
    // Trailing backslashes go after TEMP, HOME and CACHE_DIR, from the whole output; after the
    // other variables they stay.
    {"several backslashes after TEMP", u"{TEMP}", true, u"C:\\T", 4096,
     [](FakeSystem& s) { s.temporary_directory = u"C:\\T\\\\\\"; }},
    {"several backslashes after HOME", u"{HOME}", true, u"C:\\H", 4096,
     [](FakeSystem& s) { s.profile_directory = u"C:\\H\\\\"; }},
    {"several backslashes after CACHE_DIR", u"{CACHE_DIR}", true, u"C:\\L", 4096,
     [](FakeSystem& s) { s.local_app_data_directory = u"C:\\L\\\\"; }},
    {"removal reaches into the text before", u"out\\\\{TEMP}", true, u"out", 4096,
     [](FakeSystem& s) { s.temporary_directory = u"\\"; }},
    {"backslashes kept after PROGRAM", u"{PROGRAM}", true, u"C:\\a\\\\", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\a\\\\"; }},
    {"backslashes kept after TIME", u"{TIME}", true, u"7\\\\", 4096,
     [](FakeSystem& s) { s.environment["TOLVAR_ONEFILE_START"] = u"7\\\\"; }},
    {"backslashes kept after PID and literals", u"{PID}\\\\", true, u"4242\\\\", 4096, nothing},
    // PROGRAM_BASE and PROGRAM_DIR work on the path appended at the current end of the output.
    {"base cuts .EXE in any case", u"[{PROGRAM_BASE}]", true, u"[C:\\a\\Setup]", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\a\\Setup.EXE"; }},
    {"base keeps another extension", u"{PROGRAM_BASE}", true, u"C:\\a\\tool.exe.bak", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\a\\tool.exe.bak"; }},
    {"base keeps a path without extension", u"{PROGRAM_BASE}", true, u"C:\\a\\tool", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\a\\tool"; }},
    {"base of a bare .exe file name", u"{PROGRAM_BASE}", true, u"C:\\a\\", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\a\\.exe"; }},
    {"base needs more than three units", u"{PROGRAM_BASE}", true, u"exe", 4096,
     [](FakeSystem& s) { s.program_path = u"exe"; }},
    {"base of exactly .exe", u"{PROGRAM_BASE}", true, u"", 4096, [](FakeSystem& s) { s.program_path = u".exe"; }},
    {"directory cuts at the last backslash", u"[{PROGRAM_DIR}]", true, u"[C:\\a]", 4096, nothing},
    {"directory of a file in the root adds nothing back", u"{PROGRAM_DIR}", true, u"C:", 4096,
     [](FakeSystem& s) { s.program_path = u"C:\\b.exe"; }},
    {"directory of a path without backslash stays whole", u"{PROGRAM_DIR}", true, u"b.exe", 4096,
     [](FakeSystem& s) { s.program_path = u"b.exe"; }},
    // PID and TIME.
    {"inherited PID wins over the own id", u"{PID}", true, u"748", 4096,
     [](FakeSystem& s) { s.environment["TOLVAR_ONEFILE_PARENT"] = u"748"; }},
    {"own PID when none is inherited", u"{PID}", true, u"4242", 4096, nothing},
    {"empty inherited PID counts as none", u"{PID}", true, u"4242", 4096,
     [](FakeSystem& s) { s.environment["TOLVAR_ONEFILE_PARENT"] = u""; }},
    {"inherited TIME taken unchanged and untested", u"{TIME}", true, u"abc", 4096,
     [](FakeSystem& s) { s.environment["TOLVAR_ONEFILE_START"] = u"abc"; }},
    // Room: the capacity counts the terminator.
    {"capacity 4 takes abc", u"abc", true, u"abc", 4, nothing},
    {"capacity 4 refuses abcd", u"abcd", false, u"abc", 4, nothing},
    {"capacity 1 takes only the empty text", u"a", false, u"", 1, nothing},
    {"capacity 0 writes nothing", u"", false, u"", 0, nothing},
    // System queries that fail, or whose answer does not fit the remaining room.
    {"failed HOME", u"x{HOME}", false, u"x", 4096, [](FakeSystem& s) { s.profile_directory_fails = true; }},
    {"failed CACHE_DIR", u"x{CACHE_DIR}", false, u"x", 4096,
     [](FakeSystem& s) { s.local_app_data_directory_fails = true; }},
    {"failed PROGRAM", u"x{PROGRAM}", false, u"x", 4096, [](FakeSystem& s) { s.program_path_fails = true; }},
    {"failed PROGRAM under PROGRAM_BASE", u"x{PROGRAM_BASE}", false, u"x", 4096,
     [](FakeSystem& s) { s.program_path_fails = true; }},
    {"failed PROGRAM under PROGRAM_DIR", u"x{PROGRAM_DIR}", false, u"x", 4096,
     [](FakeSystem& s) { s.program_path_fails = true; }},
    {"failed TEMP", u"x{TEMP}\\f", false, u"x", 4096, [](FakeSystem& s) { s.temporary_directory_fails = true; }},
    {"TEMP that does not fit fails", u"x{TEMP}", false, u"x", 9, nothing},
    {"TEMP that just fits", u"x{TEMP}", true, u"xC:\\Temp", 10, nothing},
    {"PROGRAM cut short fails", u"x{PROGRAM}", false, u"x", 10, nothing},
    {"PROGRAM that just fits", u"x{PROGRAM}", true, u"xC:\\a\\b.exe", 12, nothing},
    {"PROGRAM_DIR of a cut path fails", u"{PROGRAM_DIR}", false, u"", 10, nothing},
};

class TemplateTable : public LocationTemplate, public testing::WithParamInterface<TemplateCase> {};

TEST_P(TemplateTable, Expands) {
  const TemplateCase& c = GetParam();
  c.arrange(fakeSystem());
  const Expanded expanded = expand(c.template_text, c.capacity);
  EXPECT_EQ(expanded.result, c.result);
  if (c.capacity > 0) EXPECT_EQ(expanded.text, std::u16string(c.text));
  EXPECT_TRUE(expanded.guard_intact) << "written past the capacity";
}

std::string caseName(const testing::TestParamInfo<TemplateCase>& info) {
  std::string name;
  for (const char* p = info.param.label; *p; ++p) name += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, TemplateTable, testing::ValuesIn(kTemplateCases), caseName);

TEST_F(LocationTemplate, FirstTimeIsStoredAndReusedByLaterTimes) {
  const Expanded expanded = expand(u"{TIME}-{TIME}", 4096);
  EXPECT_TRUE(expanded.result);
  EXPECT_EQ(expanded.text, u"133500000000000000-133500000000000000");
  EXPECT_EQ(fakeSystem().environment["TOLVAR_ONEFILE_START"], u"133500000000000000");
  fakeSystem().file_time = 1;
  EXPECT_EQ(expand(u"{TIME}", 4096).text, u"133500000000000000");
}

// The name buffer holds 1023 units; longer names must neither overrun it nor match anything.
TEST_F(LocationTemplate, OverlongNamesAreBoundedAndUnknown) {
  const std::u16string long_name(5000, u'N');
  const Expanded closed = expand(u"x{" + long_name + u"}", 4096);
  EXPECT_FALSE(closed.result);
  EXPECT_EQ(closed.text, u"x");
  // Letters beyond the buffer must not make a long name look like a variable.
  const Expanded padded = expand(u"{" + std::u16string(1023, u'N') + u"TEMP}", 4096);
  EXPECT_FALSE(padded.result);
  const Expanded restarted = expand(u"{" + long_name + u"{VERSION}", 4096);
  EXPECT_TRUE(restarted.result);
  EXPECT_EQ(restarted.text, u"1.3");
}

struct StopCase {
  const char* label;
  const char16_t* template_text;
  size_t capacity;
  const char16_t* inherited_parent;
};

// The inherited process id must be all digits, and values that do not fit follow the overflow
// rule: both stop without a report.
TEST_F(LocationTemplate, StopsWithoutReport) {
  const StopCase cases[] = {
      {"letter in the inherited id", u"{PID}", 4096, u"74a8"},
      {"sign in the inherited id", u"{PID}", 4096, u"-5"},
      {"blank in the inherited id", u"{PID}", 4096, u"748 "},
      {"value one unit too long", u"{PRODUCT}", 8, nullptr},
      {"own id one unit too long", u"{PID}", 4, nullptr},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.label);
    resetFakeSystem();
    if (c.inherited_parent != nullptr) fakeSystem().environment["TOLVAR_ONEFILE_PARENT"] = c.inherited_parent;
    EXPECT_EXIT(expand(c.template_text, c.capacity), testing::ExitedWithCode(kStopExitCode), "^$");
  }
}

}  // namespace

struct DirectoryCase {
  const char16_t* template_text;
  const char16_t* directory;
};

// What directory creation, the lock and reports get from an extraction template: "/" and "\"
// alike, one separator between components, none at the end, a leading pair kept for UNC paths.
TEST_F(LocationTemplate, ExtractionDirectoryHasOneSeparatorForm) {
  const DirectoryCase cases[] = {
      {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}", u"C:\\Users\\u\\AppData\\Local\\Quorvell\\1.3"},
      {u"{CACHE_DIR}/Slashy/{VERSION}", u"C:\\Users\\u\\AppData\\Local\\Slashy\\1.3"},
      {u"{CACHE_DIR}//a\\/\\b//", u"C:\\Users\\u\\AppData\\Local\\a\\b"},
      {u"C:/apps/x", u"C:\\apps\\x"},
      {u"C:/", u"C:"},
      {u"//server/share//app/", u"\\\\server\\share\\app"},
      {u"\\\\\\server\\share", u"\\\\server\\share"},
      {u"\\\\?\\C:\\long/path", u"\\\\?\\C:\\long\\path"},
      {u"{TEMP}/{PRODUCT}", u"C:\\Temp\\Quorvell"},
  };
  for (const DirectoryCase& c : cases) {
    SCOPED_TRACE(std::string(c.template_text, c.template_text + std::char_traits<char16_t>::length(c.template_text)));
    WideBuffer<4096> directory;
    ASSERT_TRUE(expandExtractionDirectory(directory, c.template_text, 4096));
    EXPECT_EQ(std::u16string(directory), std::u16string(c.directory));
  }
}
