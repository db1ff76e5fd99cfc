// What a caller of the launcher sees before any payload data is decoded: the header test and the
// exact form of every report. Programs run through ProcessRunner, so the bytes on the pipes and
// all 32 bits of the exit code are checked as a Windows parent would see them.
#include <gtest/gtest.h>

#include "ExitCodes.h"
#include "ProcessRunner.h"

namespace {

const std::string kHeaderMessage = "Error, couldn't find attached data header.";

ProcessResult runFixture(const std::wstring& name, const std::wstring& arguments = L"") {
  ProcessOptions options;
  options.application = fullPath(L"fixtures\\" + name);
  options.command_line = quoteArgument(options.application) + (arguments.empty() ? L"" : L" " + arguments);
  return runProcess(options);
}

struct HeaderCase {
  const wchar_t* launcher;
  bool accepted;
};

class HeaderTest : public testing::TestWithParam<HeaderCase> {};

TEST_P(HeaderTest, RefusesAnyOtherHeaderWithOneLineAndExitCode2) {
  const HeaderCase& c = GetParam();
  const ProcessResult result = runFixture(c.launcher);
  ASSERT_TRUE(result.started) << result.start_error;
  if (c.accepted) {
    EXPECT_EQ(result.out.find(kHeaderMessage), std::string::npos) << result.out;
  } else {
    // fatalError's puts writes one newline, which the C runtime's text mode turns into "\r\n".
    EXPECT_EQ(result.out, kHeaderMessage + "\r\n");
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  }
}

INSTANTIATE_TEST_SUITE_P(Launchers, HeaderTest,
                         testing::Values(HeaderCase{L"..\\onefile-launcher.exe", false},  // no resource 27
                                         HeaderCase{L"header-short-1.exe", false},
                                         HeaderCase{L"header-short-2.exe", false},
                                         HeaderCase{L"header-case-0.exe", false},
                                         HeaderCase{L"header-case-1.exe", false},
                                         HeaderCase{L"header-case-2.exe", false},
                                         HeaderCase{L"header-byte-0.exe", false},
                                         HeaderCase{L"header-byte-1.exe", false},
                                         HeaderCase{L"header-byte-2.exe", false},
                                         HeaderCase{L"header-valid.exe", true}));

TEST(Reports, FatalErrorWritesTheMessageAndOneNewlineToStandardOutput) {
  const ProcessResult result = runFixture(L"report-probe.exe", L"fatal \"Error, couldn't allocate memory.\"");
  EXPECT_EQ(result.out, "Error, couldn't allocate memory.\r\n");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

// The system text loses its line breaks ("\r\n" at its end, which text mode would make "\r\r\n"
// in the middle of the report): the report stays one line.
TEST(Reports, OsErrorCarriesTheCodeAsSignedDecimalAndTheSystemTextOnTheSameLine) {
  const struct {
    DWORD code;
    const char* printed;
  } cases[] = {{2, "2"}, {5, "5"}, {112, "112"}, {0x80070005u, "-2147024891"}, {0xC0000005u, "-1073741819"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.printed);
    const ProcessResult result =
        runFixture(L"report-probe.exe", L"os " + std::to_wstring(c.code) + L" \"Error, couldn't launch child\"");
    const std::string expected =
        std::string("Error, couldn't launch child ([Error ") + c.printed + "] " + reportedSystemText(c.code) + ")\r\n";
    EXPECT_EQ(result.err, expected);
    EXPECT_EQ(result.err.find_first_of("\r\n"), result.err.size() - 2) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  }
}

TEST(Reports, TemplateReportShowsTheTemplateWithItsBraces) {
  const ProcessResult result = runFixture(L"report-probe.exe", L"template {HOME}");
  EXPECT_EQ(result.err, "Error, couldn't runtime expand spec '{HOME}'.\r\n");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
}

// A redirected stream gets the whole text in UTF-8, whatever the script: the C runtime's "%ls" in
// its "C" locale stopped at the first unit above 0xFF and named another, existing folder. A lone
// surrogate (Windows allows one in a file name) is shown as U+FFFD. To a console the launcher
// writes the units themselves with WriteConsoleW; Wine gives its programs no console here, so
// that path is not checked.
TEST(Reports, ARedirectedStreamGetsTheWholeTextInUtf8) {
  const struct {
    const char* what;
    std::wstring arguments;
    std::string err;
  } cases[] = {
      {"Latin-1", L"open C:\\Users\\Jos\u00e9\\data.bin",
       "Error, failed to open 'C:\\Users\\Jos\xc3\xa9\\data.bin' for writing.\r\n"},
      {"Cyrillic", L"open C:\\\u041f\u0440\u0438\u043b\u043e\u0436\u0435\u043d\u0438\u0435\\app.exe",
       "Error, failed to open 'C:\\\xd0\x9f\xd1\x80\xd0\xb8\xd0\xbb\xd0\xbe\xd0\xb6\xd0\xb5\xd0\xbd\xd0\xb8"
       "\xd0\xb5\\app.exe' for writing.\r\n"},
      {"CJK template", L"template {CACHE_DIR}\\\u6570\u636e",
       "Error, couldn't runtime expand spec '{CACHE_DIR}\\\xe6\x95\xb0\xe6\x8d\xae'.\r\n"},
      {"astral pair", L"open C:\\\U0001F600.txt", "Error, failed to open 'C:\\\xf0\x9f\x98\x80.txt' for writing.\r\n"},
      {"lone surrogate", std::wstring(L"open C:\\") + wchar_t(0xD83D) + L".txt",
       "Error, failed to open 'C:\\\xef\xbf\xbd.txt' for writing.\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProcessResult result = runFixture(L"report-probe.exe", c.arguments);
    EXPECT_EQ(result.err, c.err);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  }
}

TEST(Reports, StopWithoutReportPrintsNothing) {
  const ProcessResult result = runFixture(L"report-probe.exe", L"stop");
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.exit_code, static_cast<DWORD>(kStopExitCode));
}

}  // namespace
