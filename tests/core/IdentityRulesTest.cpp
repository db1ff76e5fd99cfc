// The rules a packed identity obeys: an extraction template must read cleanly and give an absolute
// path, and a value that becomes a folder must be a name Windows can hold.
#include <gtest/gtest.h>

#include <string>

#include "FileNameRules.h"
#include "TemplateSyntax.h"

namespace {

struct TemplateCase {
  const char16_t* text;
  TemplateProblem problem;
  size_t position;
};

const TemplateCase kTemplates[] = {
    {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}", TemplateProblem::none, 0},
    {u"{cache_dir}\\{Company}\\{product}", TemplateProblem::none, 0},
    {u"{HOME}", TemplateProblem::none, 0},
    {u"{TEMP}\\run-{PID}-{TIME}", TemplateProblem::none, 0},
    {u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{build}", TemplateProblem::none, 0},
    {u"{PROGRAM_DIR}\\files", TemplateProblem::none, 0},
    {u"{PROGRAM_BASE}.data", TemplateProblem::none, 0},
    {u"{PROGRAM}.d", TemplateProblem::none, 0},
    {u"C:\\Apps\\{PRODUCT}", TemplateProblem::none, 0},
    {u"d:/apps/{VERSION}", TemplateProblem::none, 0},
    {u"\\\\server\\share\\{PRODUCT}", TemplateProblem::none, 0},
    {u"", TemplateProblem::empty, 0},
    {u"{CACHE_DIR}\\{NAME}", TemplateProblem::unknownVariable, 12},
    {u"{CACHE_DIR}\\{}", TemplateProblem::unknownVariable, 12},
    {u"{CACHE_DIR}\\{PRODUCT", TemplateProblem::unclosedName, 12},
    {u"{CACHE_DIR}\\{X{VERSION}", TemplateProblem::unclosedName, 12},
    {u"{CACHE_DIR}\\a}b", TemplateProblem::strayClosingBrace, 13},
    {u"{PRODUCT}\\{VERSION}", TemplateProblem::notAbsolute, 0},
    {u"{PID}", TemplateProblem::notAbsolute, 0},
    {u"{BUILD}\\x", TemplateProblem::notAbsolute, 0},
    {u"apps\\{PRODUCT}", TemplateProblem::notAbsolute, 0},
    {u"\\apps\\{PRODUCT}", TemplateProblem::notAbsolute, 0},
    {u"C:apps", TemplateProblem::notAbsolute, 0},
    {u"C:{CACHE_DIR}", TemplateProblem::notAbsolute, 0},
    {u"{CACHE_DIR}\\a:b", TemplateProblem::invalidCharacter, 13},
    {u"{CACHE_DIR}\\what?", TemplateProblem::invalidCharacter, 16},
    {u"{CACHE_DIR}\\a\tb", TemplateProblem::invalidCharacter, 13},
    {u"{CACHE_DIR}\\<x>", TemplateProblem::invalidCharacter, 12},
    {u"\\\\?\\C:\\apps", TemplateProblem::invalidCharacter, 2},
};

TEST(ExtractionTemplate, AcceptsWhatGivesAnAbsolutePathAndRefusesTheRest) {
  for (const TemplateCase& c : kTemplates) {
    const std::u16string text = c.text;
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    const TemplateCheck check = checkExtractionTemplate(c.text);
    EXPECT_EQ(check.problem, c.problem);
    if (c.problem != TemplateProblem::none) EXPECT_EQ(check.position, c.position);
  }
}

// A Linux launcher's template gives a Linux path: "/" begins an absolute one, and the characters
// only Windows keeps out of names are ordinary; control characters stay out everywhere.
TEST(ExtractionTemplate, ALinuxTemplateFollowsLinuxPaths) {
  const TemplateCase cases[] = {
      {u"{CACHE_DIR}/{PRODUCT}/{VERSION}-{BUILD}", TemplateProblem::none, 0},
      {u"/opt/{PRODUCT}", TemplateProblem::none, 0},
      {u"/srv/a:b/what?/<x>|*", TemplateProblem::none, 0},
      {u"{TEMP}\\{PRODUCT}", TemplateProblem::none, 0},
      {u"opt/{PRODUCT}", TemplateProblem::notAbsolute, 0},
      {u"C:\\Apps\\{PRODUCT}", TemplateProblem::notAbsolute, 0},
      {u"\\\\server\\share", TemplateProblem::notAbsolute, 0},
      {u"{PRODUCT}/x", TemplateProblem::notAbsolute, 0},
      {u"/opt/a\tb", TemplateProblem::invalidCharacter, 6},
      {u"/opt/{NAME}", TemplateProblem::unknownVariable, 5},
  };
  for (const TemplateCase& c : cases) {
    const std::u16string text = c.text;
    SCOPED_TRACE(std::string(text.begin(), text.end()));
    const TemplateCheck check = checkExtractionTemplate(c.text, PathStyle::linux);
    EXPECT_EQ(check.problem, c.problem);
    if (c.problem != TemplateProblem::none) EXPECT_EQ(check.position, c.position);
  }
  EXPECT_EQ(checkExtractionTemplate(u"/opt/{PRODUCT}").problem, TemplateProblem::notAbsolute)
      << "the same template for a Windows launcher";
}

TEST(ExtractionTemplate, NamesAndLengthAtTheirLimits) {
  const std::u16string long_name = u"{CACHE_DIR}\\{" + std::u16string(kTemplateNameLimit + 1, u'N') + u"}";
  const TemplateCheck name = checkExtractionTemplate(long_name.c_str());
  EXPECT_EQ(name.problem, TemplateProblem::nameTooLong);
  EXPECT_EQ(name.name_length, kTemplateNameLimit + 1);
  const std::u16string unknown = u"{CACHE_DIR}\\{" + std::u16string(kTemplateNameLimit, u'N') + u"}";
  EXPECT_EQ(checkExtractionTemplate(unknown.c_str()).problem, TemplateProblem::unknownVariable);

  const std::u16string longest = u"C:\\" + std::u16string(kTemplateLengthLimit - 3, u'a');
  EXPECT_EQ(checkExtractionTemplate(longest.c_str()).problem, TemplateProblem::none);
  EXPECT_EQ(checkExtractionTemplate((longest + u"a").c_str()).problem, TemplateProblem::tooLong);
}

TEST(ExtractionTemplate, KnowsWhichVariablesItUses) {
  EXPECT_TRUE(templateUses(u"{CACHE_DIR}\\{company}", TemplateVariable::company));
  EXPECT_FALSE(templateUses(u"{CACHE_DIR}\\COMPANY\\{PRODUCT}", TemplateVariable::company));
  EXPECT_FALSE(templateUses(u"{CACHE_DIR}\\{VERSION", TemplateVariable::version)) << "a name left open is dropped";
}

struct NameCase {
  const char16_t* name;
  FileNameProblem problem;
};

const NameCase kNames[] = {
    {u"MyApp", FileNameProblem::none},
    {u"Gr\u00fc\u00dfe App 2.0", FileNameProblem::none},
    {u".hidden", FileNameProblem::none},
    {u"console", FileNameProblem::none},
    {u"COM10", FileNameProblem::none},
    {u"", FileNameProblem::empty},
    {u"a\x01", FileNameProblem::controlCharacter},
    {u"a/b", FileNameProblem::reservedCharacter},
    {u"a\\b", FileNameProblem::reservedCharacter},
    {u"1:2", FileNameProblem::reservedCharacter},
    {u"\"q\"", FileNameProblem::reservedCharacter},
    {u"Acme Inc.", FileNameProblem::trailingDotOrSpace},
    {u"trailing ", FileNameProblem::trailingDotOrSpace},
    {u"CON", FileNameProblem::deviceName},
    {u"nul.txt", FileNameProblem::deviceName},
    {u"Lpt1", FileNameProblem::deviceName},
    {u"com9 .log", FileNameProblem::deviceName},
};

TEST(FileNameRules, RefusesWhatWindowsCannotHoldAsAName) {
  for (const NameCase& c : kNames) {
    const std::u16string name = c.name;
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    EXPECT_EQ(fileNameProblem(c.name, name.size(), nullptr), c.problem);
  }
}

}  // namespace
