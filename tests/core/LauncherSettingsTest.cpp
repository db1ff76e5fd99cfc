// The launcher settings resource: what the packer writes reads back whole, the demo's resource as
// packed (layout 1) reads as its values, and every malformed resource is refused with its status
// and field, never taken in part.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ExtractionDirectoryLength.h"
#include "HostFakes.h"
#include "LauncherSettings.h"
#include "LocationTemplate.h"
#include "SettingsBytes.h"
#include "WideString.h"

namespace {

typedef std::vector<uint8_t> Bytes;

std::u16string textOf(const WideUnit* text) { return std::u16string(text, text + wideLength(text)); }

Bytes resource(uint16_t version, const std::vector<std::u16string>& texts, bool last_terminated = true) {
  const std::string bytes = settingsResourceBytes(version, texts, last_terminated);
  return Bytes(bytes.begin(), bytes.end());
}

Bytes valid(const std::u16string& product = u"MyApp", const std::u16string& version = u"2.1",
            const std::u16string& company = u"Acme", const std::u16string& extraction = u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}") {
  return resource(1, {product, version, company, extraction});
}

const std::u16string kBuildId = u"3fa2c9e1d2b4a5c6";
const std::u16string kBuildTemplate = u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}-{BUILD}";

// Layout 2: the four texts of layout 1, the build id and keep builds.
Bytes layout2(const std::u16string& build_id = kBuildId, uint16_t keep_builds = 0,
              const std::u16string& extraction = kBuildTemplate) {
  const std::string bytes =
      withKeepBuilds(settingsResourceBytes(2, {u"MyApp", u"2.1", u"Acme", extraction, build_id}), keep_builds);
  return Bytes(bytes.begin(), bytes.end());
}

// Layout 3: layout 2 and how a start verifies.
Bytes layout3(uint16_t verify, uint16_t keep_builds = 0) {
  const std::string bytes = withVerify(
      withKeepBuilds(settingsResourceBytes(3, {u"MyApp", u"2.1", u"Acme", kBuildTemplate, kBuildId}), keep_builds), verify);
  return Bytes(bytes.begin(), bytes.end());
}

// Layout 2 cut after `texts` texts, the last of them unterminated when asked.
Bytes layout2Texts(const std::vector<std::u16string>& texts, bool last_terminated = true) {
  return resource(2, texts, last_terminated);
}

Bytes withTrailing(Bytes bytes, size_t count) {
  bytes.resize(bytes.size() + count, 0);
  return bytes;
}

Bytes cutBy(Bytes bytes, size_t count) {
  bytes.resize(bytes.size() - count);
  return bytes;
}

SettingsResult read(const Bytes& bytes, LauncherSettings& settings) {
  return readLauncherSettings(bytes.data(), bytes.size(), settings);
}

TEST(LauncherSettings, WhatIsEncodedReadsBackWhole) {
  LauncherSettings written{};
  const std::u16string values[] = {u"Gr\u00fc\u00dfe \U0001F600 App", u"10.0.1-rc2", u"", u"{HOME}\\apps\\{PRODUCT}-{BUILD}",
                                   u"0123456789abcdef"};
  WideUnit* const fields[] = {written.product, written.version, written.company, written.extraction_template,
                              written.build_id};
  for (size_t i = 0; i < 5; ++i) std::copy(values[i].c_str(), values[i].c_str() + values[i].size() + 1, fields[i]);
  written.keep_builds = 0x0102;
  written.verify = VerifyMode::changed;  // its two bytes tell their order
  Bytes bytes(kMaximumSettingsSize);
  bytes.resize(encodeLauncherSettings(written, bytes.data(), bytes.size()));
  const std::string expected =
      withVerify(withKeepBuilds(settingsResourceBytes(3, {values[0], values[1], values[2], values[3], values[4]}), 0x0102), 1);
  EXPECT_EQ(bytes, Bytes(expected.begin(), expected.end()));

  // 0x0102 is no value the packer writes; the texts must read back all the same.
  written.keep_builds = 3;
  bytes.resize(encodeLauncherSettings(written, bytes.data(), kMaximumSettingsSize));
  LauncherSettings read_back{};
  ASSERT_EQ(read(bytes, read_back).status, SettingsStatus::ok);
  EXPECT_EQ(textOf(read_back.product), values[0]);
  EXPECT_EQ(textOf(read_back.version), values[1]);
  EXPECT_EQ(textOf(read_back.company), u"");
  EXPECT_EQ(textOf(read_back.extraction_template), values[3]);
  EXPECT_EQ(textOf(read_back.build_id), values[4]);
  EXPECT_EQ(read_back.keep_builds, 3);
  EXPECT_EQ(read_back.verify, VerifyMode::changed);
  EXPECT_EQ(encodeLauncherSettings(written, bytes.data(), bytes.size() - 1), 0u) << "a buffer one byte short";
}

// The longest values of every field fill kMaximumSettingsSize exactly.
TEST(LauncherSettings, TheLongestResourceFitsTheMaximumSize) {
  const Bytes longest = resource(3, {std::u16string(kIdentityTextLimit, u'p'), std::u16string(kIdentityTextLimit, u'v'),
                                     std::u16string(kIdentityTextLimit, u'c'),
                                     u"{TEMP}" + std::u16string(kTemplateLengthLimit - 6, u't'), kBuildId});
  EXPECT_EQ(longest.size() + 4, kMaximumSettingsSize);
}

// Executables packed before builds had ids keep starting, with no build id and every build kept.
TEST(LauncherSettings, Layout1ReadsWithoutABuild) {
  LauncherSettings settings{};
  settings.keep_builds = 7;
  settings.build_id[0] = u'x';
  ASSERT_EQ(read(valid(), settings).status, SettingsStatus::ok);
  EXPECT_EQ(textOf(settings.build_id), u"");
  EXPECT_EQ(settings.keep_builds, kKeepAllBuilds);
  EXPECT_EQ(textOf(settings.extraction_template), u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}");
}

// Only layout 3 carries the choice; what was packed before, and a stub without settings, verify
// every file as they always did.
TEST(LauncherSettings, OnlyLayout3CanVerifyWhatChanged) {
  const struct {
    const char* what;
    Bytes bytes;
    SettingsStatus status;
    VerifyMode verify;
  } cases[] = {
      {"layout 1", valid(), SettingsStatus::ok, VerifyMode::all},
      {"layout 2", layout2(), SettingsStatus::ok, VerifyMode::all},
      {"layout 3, all", layout3(0), SettingsStatus::ok, VerifyMode::all},
      {"layout 3, changed", layout3(1), SettingsStatus::ok, VerifyMode::changed},
      {"layout 3, 2", layout3(2), SettingsStatus::invalidValue, VerifyMode::all},
      {"layout 3, 0x100", layout3(0x100), SettingsStatus::invalidValue, VerifyMode::all},
      {"layout 3 without verify", cutBy(layout3(0), 2), SettingsStatus::cutShort, VerifyMode::all},
      {"layout 3 with one byte of verify", cutBy(layout3(0), 1), SettingsStatus::cutShort, VerifyMode::all},
      {"a byte after verify", withTrailing(layout3(1), 1), SettingsStatus::trailingBytes, VerifyMode::all},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    LauncherSettings settings{};
    settings.verify = VerifyMode::changed;
    const SettingsResult result = read(c.bytes, settings);
    EXPECT_EQ(result.status, c.status);
    if (c.status == SettingsStatus::ok) EXPECT_EQ(settings.verify, c.verify);
    if (c.status == SettingsStatus::invalidValue || c.status == SettingsStatus::cutShort)
      EXPECT_EQ(result.field, SettingsField::verify);
  }
  EXPECT_EQ(compiledLauncherSettings().verify, VerifyMode::all);
}

TEST(LauncherSettings, CompiledSettingsHaveNoBuildAndKeepEveryBuild) {
  const LauncherSettings& compiled = compiledLauncherSettings();
  EXPECT_EQ(textOf(compiled.build_id), u"");
  EXPECT_EQ(compiled.keep_builds, kKeepAllBuilds);
  EXPECT_EQ(textOf(compiled.extraction_template), u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}");
  EXPECT_EQ(checkLauncherSettings(compiled).status, SettingsStatus::ok);
}

TEST(LauncherSettings, Layout2KeepsZeroToTheLimitOrEveryBuild) {
  const struct {
    uint16_t keep_builds;
    bool accepted;
  } cases[] = {{0, true}, {1, true}, {kKeepBuildsLimit, true}, {kKeepBuildsLimit + 1, false}, {0xFFFE, false},
               {kKeepAllBuilds, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keep_builds);
    LauncherSettings settings{};
    const SettingsResult result = read(layout2(kBuildId, c.keep_builds), settings);
    if (c.accepted) {
      ASSERT_EQ(result.status, SettingsStatus::ok);
      EXPECT_EQ(settings.keep_builds, c.keep_builds);
      EXPECT_EQ(textOf(settings.build_id), kBuildId);
      EXPECT_EQ(textOf(settings.extraction_template), kBuildTemplate);
      continue;
    }
    EXPECT_EQ(result.status, SettingsStatus::invalidValue);
    EXPECT_EQ(result.field, SettingsField::keepBuilds);
    EXPECT_EQ(result.value_problem, ValueProblem::keepBuildsRange);
  }
}

TEST(LauncherSettings, TheDemosPackedResourceReads) {
  const char* directory = getenv("ONEFILE_IDENTITY_FIXTURES");
  if (directory == nullptr) GTEST_SKIP() << "ONEFILE_IDENTITY_FIXTURES is not set";
  std::ifstream in(std::string(directory) + "/settings-demo.bin", std::ios::binary);
  const Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  LauncherSettings settings{};
  ASSERT_EQ(read(bytes, settings).status, SettingsStatus::ok);
  EXPECT_EQ(textOf(settings.product), u"Quorvell Demo");
  EXPECT_EQ(textOf(settings.version), u"2.4.1");
  EXPECT_EQ(textOf(settings.company), u"Quorvell Demo Works");
  EXPECT_EQ(textOf(settings.extraction_template), u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}");
}

struct MalformedCase {
  const char* label;
  Bytes bytes;
  SettingsStatus status;
  SettingsField field;
  ValueProblem value_problem;
};

const std::u16string k128(128, u'x');

const MalformedCase kMalformed[] = {
    {"empty", {}, SettingsStatus::cutShort, SettingsField::none, ValueProblem::none},
    {"header cut short", {'Q', 'O', 'V', 'S', 1}, SettingsStatus::cutShort, SettingsField::none, ValueProblem::none},
    {"payload header instead", {'Q', 'O', 'V', 0, 1, 0, 0, 0}, SettingsStatus::wrongSignature, SettingsField::none, ValueProblem::none},
    {"signature in lower case", {'q', 'o', 'v', 's', 1, 0}, SettingsStatus::wrongSignature, SettingsField::none, ValueProblem::none},
    {"layout 4", resource(4, {u"a", u"1", u"", u"{TEMP}", kBuildId}), SettingsStatus::unknownLayoutVersion, SettingsField::none,
     ValueProblem::none},
    {"layout 0", resource(0, {u"a", u"1", u"", u"{TEMP}"}), SettingsStatus::unknownLayoutVersion, SettingsField::none, ValueProblem::none},
    {"layout 256", resource(256, {u"a", u"1", u"", u"{TEMP}"}), SettingsStatus::unknownLayoutVersion, SettingsField::none, ValueProblem::none},
    {"header only", resource(1, {}), SettingsStatus::unterminatedText, SettingsField::product, ValueProblem::none},
    {"product unterminated", resource(1, {u"MyApp"}, false), SettingsStatus::unterminatedText, SettingsField::product, ValueProblem::none},
    {"template unterminated", resource(1, {u"a", u"1", u"", u"{TEMP}"}, false), SettingsStatus::unterminatedText,
     SettingsField::extractionTemplate, ValueProblem::none},
    {"company missing", resource(1, {u"a", u"1"}), SettingsStatus::unterminatedText, SettingsField::company, ValueProblem::none},
    {"odd byte at the end", withTrailing(resource(1, {u"a", u"1", u""}), 1), SettingsStatus::unterminatedText,
     SettingsField::extractionTemplate, ValueProblem::none},
    {"product of 129 units", valid(k128 + u"x"), SettingsStatus::textTooLong, SettingsField::product, ValueProblem::none},
    {"company of 129 units", valid(u"a", u"1", k128 + u"x"), SettingsStatus::textTooLong, SettingsField::company, ValueProblem::none},
    {"template of 1024 units", valid(u"a", u"1", u"", u"{TEMP}" + std::u16string(1018, u'a')), SettingsStatus::textTooLong,
     SettingsField::extractionTemplate, ValueProblem::none},
    {"a byte after the last text", withTrailing(valid(), 1), SettingsStatus::trailingBytes, SettingsField::none, ValueProblem::none},
    {"a fifth text", resource(1, {u"a", u"1", u"", u"{TEMP}", u"more"}), SettingsStatus::trailingBytes, SettingsField::none,
     ValueProblem::none},
    // Layout 2: the build id and keep builds after the four texts.
    {"layout 2 without a build id", layout2Texts({u"a", u"1", u"", u"{TEMP}"}), SettingsStatus::unterminatedText,
     SettingsField::buildId, ValueProblem::none},
    {"build id unterminated", layout2Texts({u"a", u"1", u"", u"{TEMP}", kBuildId}, false), SettingsStatus::unterminatedText,
     SettingsField::buildId, ValueProblem::none},
    {"build id of 17 digits", layout2(kBuildId + u"0"), SettingsStatus::textTooLong, SettingsField::buildId, ValueProblem::none},
    {"keep builds missing", layout2Texts({u"a", u"1", u"", u"{TEMP}", kBuildId}), SettingsStatus::cutShort,
     SettingsField::keepBuilds, ValueProblem::none},
    {"keep builds cut to one byte", withTrailing(layout2Texts({u"a", u"1", u"", u"{TEMP}", kBuildId}), 1),
     SettingsStatus::cutShort, SettingsField::keepBuilds, ValueProblem::none},
    {"a byte after keep builds", withTrailing(layout2(), 1), SettingsStatus::trailingBytes, SettingsField::none,
     ValueProblem::none},
    {"empty build id", layout2(u""), SettingsStatus::invalidValue, SettingsField::buildId, ValueProblem::notBuildId},
    {"build id of 15 digits", layout2(kBuildId.substr(1)), SettingsStatus::invalidValue, SettingsField::buildId,
     ValueProblem::notBuildId},
    {"build id in upper case", layout2(u"3FA2C9E1D2B4A5C6"), SettingsStatus::invalidValue, SettingsField::buildId,
     ValueProblem::notBuildId},
    {"build id with a letter past f", layout2(u"3fa2c9e1d2b4a5cg"), SettingsStatus::invalidValue, SettingsField::buildId,
     ValueProblem::notBuildId},
    {"build id with a fullwidth digit", layout2(u"3fa2c9e1d2b4a5c\uFF16"), SettingsStatus::invalidValue,
     SettingsField::buildId, ValueProblem::notBuildId},
    {"layout 1 naming {BUILD}", valid(u"a", u"1", u"", kBuildTemplate), SettingsStatus::invalidValue,
     SettingsField::extractionTemplate, ValueProblem::buildWithoutId},
    // Values the packer would have refused.
    {"empty product", valid(u""), SettingsStatus::invalidValue, SettingsField::product, ValueProblem::empty},
    {"empty version", valid(u"a", u""), SettingsStatus::invalidValue, SettingsField::version, ValueProblem::empty},
    {"empty template", valid(u"a", u"1", u"", u""), SettingsStatus::invalidValue, SettingsField::extractionTemplate,
     ValueProblem::badTemplate},
    {"control character in the version", valid(u"a", u"1\t2"), SettingsStatus::invalidValue, SettingsField::version,
     ValueProblem::controlCharacter},
    {"delete character in the company", valid(u"a", u"1", u"A\u007fB"), SettingsStatus::invalidValue, SettingsField::company,
     ValueProblem::controlCharacter},
    {"lone surrogate in the company", valid(u"a", u"1", std::u16string(1, u'\xD800') + u"x"), SettingsStatus::invalidValue,
     SettingsField::company, ValueProblem::illFormed},
    {"product that cannot be a folder", valid(u"A:B"), SettingsStatus::invalidValue, SettingsField::product,
     ValueProblem::fileName},
    {"version with a trailing dot", valid(u"a", u"2."), SettingsStatus::invalidValue, SettingsField::version,
     ValueProblem::fileName},
    {"device name as product", valid(u"nul.app"), SettingsStatus::invalidValue, SettingsField::product, ValueProblem::fileName},
    {"company that cannot be a folder, used", valid(u"a", u"1", u"Acme Inc.", u"{CACHE_DIR}\\{COMPANY}\\{PRODUCT}"),
     SettingsStatus::invalidValue, SettingsField::company, ValueProblem::fileName},
    {"no company: {COMPANY} stands for the product", valid(u"a|b", u"1", u"", u"{CACHE_DIR}\\{COMPANY}\\x"),
     SettingsStatus::invalidValue, SettingsField::product, ValueProblem::fileName},
    {"lone surrogate in the template", valid(u"a", u"1", u"", u"{TEMP}\\" + std::u16string(1, u'\xDC00')),
     SettingsStatus::invalidValue, SettingsField::extractionTemplate, ValueProblem::illFormed},
    {"relative template", valid(u"a", u"1", u"", u"{PRODUCT}\\{VERSION}"), SettingsStatus::invalidValue,
     SettingsField::extractionTemplate, ValueProblem::badTemplate},
    {"unknown variable", valid(u"a", u"1", u"", u"{CACHE_DIR}\\{NAME}"), SettingsStatus::invalidValue,
     SettingsField::extractionTemplate, ValueProblem::badTemplate},
};

TEST(LauncherSettings, MalformedResourcesAreRefusedWithTheirReason) {
  for (const MalformedCase& c : kMalformed) {
    SCOPED_TRACE(c.label);
    LauncherSettings settings{};
    const SettingsResult result = read(c.bytes, settings);
    EXPECT_EQ(result.status, c.status);
    EXPECT_EQ(result.field, c.field);
    EXPECT_EQ(result.value_problem, c.value_problem);
  }
}

// Values that reach no path need not be folder names; the longest values fit.
TEST(LauncherSettings, ValuesTheTemplateDoesNotUseNeedNotBeFolderNames) {
  const Bytes accepted[] = {
      valid(u"A/B Tool", u"1.0", u"Acme Inc.", u"{CACHE_DIR}\\acme\\{VERSION}"),
      valid(u"a", u"2.", u"", u"{PROGRAM_DIR}\\files"),
      valid(k128, k128, k128, u"C:\\apps\\{COMPANY}\\{PRODUCT}\\{VERSION}"),
      valid(u"a", u"1", u"", u"C:\\" + std::u16string(kExtractionDirectoryLimit - 3, u'a')),
  };
  for (const Bytes& bytes : accepted) {
    LauncherSettings settings{};
    EXPECT_EQ(read(bytes, settings).status, SettingsStatus::ok);
  }
}

std::u16string repeated(const std::u16string& text, size_t count) {
  std::u16string result;
  for (size_t i = 0; i < count; ++i) result += text;
  return result;
}

// The directory is counted at its longest before any start: the system's variables at the most
// they can give, the identity's as the values packed. At most 1021 units leave room for "\", a
// one-unit name and the terminator in the 1024 units of the program's path.
TEST(LauncherSettings, TheLongestExtractionDirectoryLeavesRoomForTheProgramsPath) {
  const std::u16string p128(128, u'p');
  const struct {
    const char* label;
    std::u16string product;
    std::u16string company;
    std::u16string extraction;
    size_t longest;
  } cases[] = {
      {"the default template", u"MyApp", u"", u"{CACHE_DIR}\\{PRODUCT}\\{VERSION}", 260 + 1 + 5 + 1 + 1},
      {"each system variable at its longest", u"a", u"", u"{TEMP}{HOME}{PROGRAM}{PROGRAM_BASE}{PROGRAM_DIR}{PID}{TIME}",
       5 * 260 + 11 + 20},
      {"no company: {COMPANY} counts the product", u"MyApp", u"", u"C:\\{COMPANY}", 3 + 5},
      {"a company counts as itself", u"MyApp", u"Acme Works", u"C:\\{COMPANY}", 3 + 10},
      {"just within", p128, u"", u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 5) + u"\\" + std::u16string(115, u'x'), 1021},
      {"just past", p128, u"", u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 5) + u"\\" + std::u16string(116, u'x'), 1022},
      {"a value without room (fuzzing)", p128, u"", u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 101), 260 + 101 * 129},
      {"BUILD counts its 8 digits", u"MyApp", u"", u"C:\\{BUILD}\\{build}", 3 + 8 + 1 + 8},
      {"a literal unit without room (fuzzing)", p128, u"",
       u"{CACHE_DIR}" + repeated(u"\\{PRODUCT}", 31) + u"\\" + std::u16string(80, u'x'), 260 + 31 * 129 + 81},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.label);
    LauncherSettings settings{};
    const std::string bytes =
        withKeepBuilds(settingsResourceBytes(2, {c.product, u"1", c.company, c.extraction, kBuildId}), 0);
    const SettingsResult result = read(Bytes(bytes.begin(), bytes.end()), settings);
    EXPECT_EQ(longestExtractionDirectory(settings), c.longest);
    if (c.longest <= kExtractionDirectoryLimit) {
      EXPECT_EQ(result.status, SettingsStatus::ok);
      continue;
    }
    EXPECT_EQ(result.status, SettingsStatus::invalidValue);
    EXPECT_EQ(result.field, SettingsField::extractionTemplate);
    EXPECT_EQ(result.value_problem, ValueProblem::directoryTooLong);
    EXPECT_EQ(result.directory_length, c.longest);
  }
}

TEST(LauncherSettings, ProblemsReadAsOnePhrase) {
  const struct {
    SettingsResult result;
    const char* text;
  } cases[] = {
      {{SettingsStatus::cutShort, SettingsField::none, ValueProblem::none, FileNameProblem::none, {}}, "the resource is cut short"},
      {{SettingsStatus::unknownLayoutVersion, SettingsField::none, ValueProblem::none, FileNameProblem::none, {}},
       "its layout version is unknown"},
      {{SettingsStatus::textTooLong, SettingsField::product, ValueProblem::none, FileNameProblem::none, {}},
       "the product name is too long"},
      {{SettingsStatus::unterminatedText, SettingsField::extractionTemplate, ValueProblem::none, FileNameProblem::none, {}},
       "the extraction template is not terminated"},
      {{SettingsStatus::invalidValue, SettingsField::company, ValueProblem::fileName, FileNameProblem::deviceName, {}},
       "the company is not a value the packer writes"},
      {{SettingsStatus::invalidValue, SettingsField::extractionTemplate, ValueProblem::directoryTooLong, FileNameProblem::none,
        {}, 4340},
       "the extraction directory can be 4340 units long, more than the 1021 a start can use"},
      {{SettingsStatus::invalidValue, SettingsField::buildId, ValueProblem::notBuildId, FileNameProblem::none, {}},
       "the build id is not 16 lower-case hex digits"},
      {{SettingsStatus::invalidValue, SettingsField::keepBuilds, ValueProblem::keepBuildsRange, FileNameProblem::none, {}},
       "the number of builds to keep is neither 0 to 100 nor all"},
      {{SettingsStatus::invalidValue, SettingsField::verify, ValueProblem::verifyMode, FileNameProblem::none, {}},
       "the way of verifying is neither all nor changed"},
      {{SettingsStatus::invalidValue, SettingsField::extractionTemplate, ValueProblem::buildWithoutId,
        FileNameProblem::none, {}},
       "the extraction template names {BUILD}, but there is no build id"},
      {{SettingsStatus::cutShort, SettingsField::keepBuilds, ValueProblem::none, FileNameProblem::none, {}},
       "the resource is cut short"},
  };
  for (const auto& c : cases) {
    char text[128];
    describeSettingsProblem(c.result, text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
}

class ActiveSettings : public testing::Test {
 protected:
  void SetUp() override { resetFakeSystem(); }
  void TearDown() override { useLauncherSettings(compiledLauncherSettings()); }

  static std::u16string expand(const char16_t* template_text) {
    WideBuffer<4096> output;
    EXPECT_TRUE(expandLocationTemplate(output, template_text, 4096));
    return textOf(output);
  }
  static bool expands(const char16_t* template_text) {
    WideBuffer<4096> output;
    return expandLocationTemplate(output, template_text, 4096);
  }
};

TEST_F(ActiveSettings, IdentityVariablesComeFromTheSettingsInUse) {
  // A stub without settings: the compiled values, and {COMPANY} gives the product name.
  EXPECT_EQ(expand(u"{CACHE_DIR}\\{COMPANY}\\{PRODUCT}\\{VERSION}"), u"C:\\Users\\u\\AppData\\Local\\Quorvell\\Quorvell\\1.3");
  EXPECT_EQ(expand(compiledLauncherSettings().extraction_template), u"C:\\Users\\u\\AppData\\Local\\Quorvell\\1.3");

  LauncherSettings packed{};
  ASSERT_EQ(read(valid(u"MyApp", u"2.1", u"Acme"), packed).status, SettingsStatus::ok);
  useLauncherSettings(packed);
  EXPECT_EQ(expand(packed.extraction_template), u"C:\\Users\\u\\AppData\\Local\\MyApp\\2.1");
  EXPECT_EQ(expand(u"{HOME}\\{company}\\{Product}"), u"C:\\Users\\u\\Acme\\MyApp");

  LauncherSettings without_company{};
  ASSERT_EQ(read(valid(u"Solo", u"1", u""), without_company).status, SettingsStatus::ok);
  useLauncherSettings(without_company);
  EXPECT_EQ(expand(u"{CACHE_DIR}\\{COMPANY}\\{PRODUCT}"), u"C:\\Users\\u\\AppData\\Local\\Solo\\Solo");
}

// {BUILD} gives the first 8 digits of the build id, and fails where there is none.
TEST_F(ActiveSettings, BuildComesFromTheSettingsInUse) {
  EXPECT_FALSE(expands(u"{CACHE_DIR}\\{BUILD}")) << "compiled settings have no build id";

  LauncherSettings packed{};
  ASSERT_EQ(read(layout2(), packed).status, SettingsStatus::ok);
  useLauncherSettings(packed);
  EXPECT_EQ(expand(packed.extraction_template), u"C:\\Users\\u\\AppData\\Local\\MyApp\\2.1-3fa2c9e1");
  EXPECT_EQ(expand(u"{build}|{Build}"), u"3fa2c9e1|3fa2c9e1");

  LauncherSettings layout_1{};
  ASSERT_EQ(read(valid(), layout_1).status, SettingsStatus::ok);
  useLauncherSettings(layout_1);
  EXPECT_FALSE(expands(u"{CACHE_DIR}\\{BUILD}")) << "layout 1 has no build id";
}

}  // namespace
