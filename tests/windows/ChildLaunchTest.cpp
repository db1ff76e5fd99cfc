// The child as a caller of the launcher and the child itself see it: arguments through both of
// Windows' parsers, argument zero, the hand-off variables, current directory, standard handles
// and the whole exit code. The launcher here is child-launch-probe, the launcher's own hand-off,
// launch and wait around a child named by the environment (the test child, child-recorder).
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>

#include <random>
#include <string>
#include <vector>

#include "ChildRecord.h"
#include "ExitCodes.h"
#include "ProcessRunner.h"

namespace {

const std::wstring kProbe = L"fixtures\\child-launch-probe.exe";
const std::wstring kRecorder = L"fixtures\\child-recorder.exe";

std::vector<std::wstring> systemSplit(const std::wstring& line) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> result(arguments, arguments + count);
  LocalFree(arguments);
  return result;
}

std::wstring temporaryDirectory() {
  wchar_t directory[MAX_PATH];
  const DWORD length = GetTempPathW(MAX_PATH, directory);
  return std::wstring(directory, length - 1);  // without the final backslash
}

std::wstring uniqueTemporaryPath(const wchar_t* stem) {
  static unsigned counter = 0;
  return temporaryDirectory() + L"\\onefile-child-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
         std::to_wstring(++counter) + L"-" + stem;
}

// A readable form of wide text for failure messages.
std::string shown(const std::wstring& text) {
  std::string result;
  for (wchar_t unit : text) {
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

std::string shown(const std::vector<std::wstring>& texts) {
  std::string result = "{";
  for (const std::wstring& text : texts) result += "[" + shown(text) + "]";
  return result + "}";
}

struct Launch {
  ProcessResult result;
  ChildRecord record;
};

// Runs the launcher with the test child; `application` empty lets CreateProcessW find the program
// from the command line, as a shell does.
Launch runLauncher(const std::wstring& application, const std::wstring& command_line, ProcessOptions options = {}) {
  const std::wstring record_path = uniqueTemporaryPath(L"record.bin");
  options.application = application;
  options.command_line = command_line;
  options.set_variables.push_back({L"ONEFILE_TEST_CHILD", fullPath(kRecorder)});
  options.set_variables.push_back({L"ONEFILE_TEST_RECORD", record_path});
  Launch launch;
  launch.result = runProcess(options);
  launch.record = readChildRecord(record_path);
  DeleteFileW(record_path.c_str());
  return launch;
}

std::wstring variable(const ChildRecord& record, const wchar_t* name) {
  for (size_t i = 0; i < record.values.size(); ++i) {
    if (wcscmp(kRecordedVariables[i], name) == 0) return record.set[i] ? record.values[i] : L"<unset>";
  }
  return L"<not recorded>";
}

// The child must get back exactly what the launcher's own CommandLineToArgvW gave, with the
// launcher's full path in place of argument zero, through either parser.
ChildRecord expectArgumentsReachTheChild(const std::wstring& launcher_line, const std::wstring& launcher_path) {
  SCOPED_TRACE("launcher line: " + shown(launcher_line));
  std::vector<std::wstring> expected = systemSplit(launcher_line);
  expected[0] = launcher_path;
  const Launch launch = runLauncher(launcher_path, launcher_line);
  EXPECT_TRUE(launch.result.started) << launch.result.start_error;
  EXPECT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(launch.record.system_arguments), shown(expected)) << shown(launch.record.command_line);
  EXPECT_EQ(shown(launch.record.runtime_arguments), shown(expected)) << shown(launch.record.command_line);
  EXPECT_EQ(launch.result.exit_code, 0u);
  return launch.record;
}

struct LineCase {
  const wchar_t* arguments;  // the launcher's command line after its own quoted path
  const wchar_t* child_arguments;  // the child's command line after the launcher's path; nullptr: not checked
};

const LineCase kLineCases[] = {
    {L"", L""},
    {L"a \"b c\"", L" a \"b c\""},
    {L"a \"\" b", L" a \"\" b"},
    {L"a  \t \t b", L" a b"},
    {L"\"\"", L" \"\""},
    {L"\"say \\\"hi\\\"\"", L" \"say \\\"hi\\\"\""},
    {L"a\\\\\\\"b", L" \"a\\\\\\\"b\""},
    {L"\"c:\\my dir\\\\\" c:\\dir\\", L" \"c:\\my dir\\\\\" c:\\dir\\"},
    {L"a\"b c\"d", L" \"ab cd\""},
    {L"\"a\tb\" \"c\nd\" \"e\vf\"", nullptr},
    {L"a\rb", L" a\rb"},
    {L"\\\\server\\share\\ trailing\\\\", nullptr},
    {L"\u00e9t\u00e9 \"\u65e5\u672c \u8a9e\" \U0001F600", nullptr},
    {L"\"unterminated quote", nullptr},
    {L"\\\"\\\\\"\\\\\\\"", nullptr},
};

TEST(ChildArguments, TrickyLinesReachTheChildExactly) {
  const std::wstring probe = fullPath(kProbe);
  for (const LineCase& c : kLineCases) {
    const std::wstring line = quoteArgument(probe) + (c.arguments[0] != 0 ? L" " : L"") + c.arguments;
    const ChildRecord record = expectArgumentsReachTheChild(line, probe);
    if (c.child_arguments != nullptr) {
      EXPECT_EQ(shown(record.command_line), shown(quoteArgument(probe) + c.child_arguments));
    }
  }
}

// Half of the lines are random argument vectors quoted by the documented rule, half are random
// raw text, which the launcher's CommandLineToArgvW splits however it does.
TEST(ChildArguments, RandomLinesReachTheChildExactly) {
  const std::wstring probe = fullPath(kProbe);
  const std::vector<std::wstring> alphabet = {L"a", L"b", L" ", L"\t", L"\n", L"\v", L"\r", L"\"", L"\\",
                                              L"\\", L"\u00e9", L"\u65e5", L"\U0001F600"};
  std::mt19937 random(20240611);
  auto randomText = [&](size_t longest) {
    std::wstring text;
    for (size_t n = random() % (longest + 1); n > 0; --n) text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int run = 0; run < 200; ++run) {
    SCOPED_TRACE(run);
    std::wstring line = quoteArgument(probe);
    if (run % 2 == 0) {
      for (size_t count = random() % 6; count > 0; --count) line += L" " + quoteArgument(randomText(8));
    } else {
      line += L" " + randomText(24);
    }
    expectArgumentsReachTheChild(line, probe);
    if (HasFailure()) break;
  }
}

TEST(ChildArguments, ArgumentZeroIsTheFullPathHoweverTheLauncherWasCalled) {
  const std::wstring spaced_directory = uniqueTemporaryPath(L"launcher dir");
  ASSERT_TRUE(CreateDirectoryW(spaced_directory.c_str(), nullptr));
  const std::wstring spaced_launcher = spaced_directory + L"\\my launcher.exe";
  ASSERT_TRUE(CopyFileW(fullPath(kProbe).c_str(), spaced_launcher.c_str(), FALSE));
  const std::wstring probe = fullPath(kProbe);
  const struct {
    std::wstring application;
    std::wstring command_line;
    std::wstring full_path;
    std::wstring argument_zero;  // as called: the launcher's TOLVAR_ORIGINAL_ARGV0
  } cases[] = {
      {spaced_launcher, quoteArgument(spaced_launcher) + L" x", spaced_launcher, spaced_launcher},
      // Found by CreateProcessW relative to this test's directory, ".exe" added by the system.
      {L"", L"fixtures\\child-launch-probe x", probe, L"fixtures\\child-launch-probe"},
      {L"", L".\\fixtures\\child-launch-probe.exe x", probe, L".\\fixtures\\child-launch-probe.exe"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(shown(c.command_line));
    const Launch launch = runLauncher(c.application, c.command_line);
    ASSERT_TRUE(launch.record.present) << launch.result.start_error << " " << launch.result.err;
    const std::vector<std::wstring> expected = {c.full_path, L"x"};
    EXPECT_EQ(shown(launch.record.system_arguments), shown(expected));
    EXPECT_EQ(shown(launch.record.runtime_arguments), shown(expected));
    EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ORIGINAL_ARGV0")), shown(c.argument_zero));
    EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")),
              shown(c.full_path.substr(0, c.full_path.rfind(L'\\'))));
  }
  DeleteFileW(spaced_launcher.c_str());
  RemoveDirectoryW(spaced_directory.c_str());
}

TEST(HandOff, InheritedValuesAreReplacedAndTheRestIsInherited) {
  ProcessOptions options;
  options.set_variables = {{L"TOLVAR_ONEFILE_DIRECTORY", L"C:\\elsewhere"},
                           {L"TOLVAR_ORIGINAL_ARGV0", L"other.exe"},
                           {L"TOLVAR_ONEFILE_START", L"1234"}};
  options.current_directory = temporaryDirectory();
  const std::wstring probe = fullPath(kProbe);
  const Launch launch = runLauncher(probe, quoteArgument(probe), options);
  ASSERT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")), shown(probe.substr(0, probe.rfind(L'\\'))));
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ORIGINAL_ARGV0")), shown(probe));
  // Not this part's to change: it reaches the child as the launcher got it.
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_START")), "1234");
  EXPECT_EQ(shown(launch.record.current_directory), shown(temporaryDirectory()));
}

// The Wine test setup maps drive Q: to a directory of its own (ctest fixture child_drive).
TEST(HandOff, LauncherAtTheRootOfADriveGivesTheBareDrive) {
  if (GetFileAttributesW(L"Q:\\") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "drive Q: is not mapped";
  const std::wstring launcher = L"Q:\\child-launch-probe.exe";
  ASSERT_TRUE(CopyFileW(fullPath(kProbe).c_str(), launcher.c_str(), FALSE));
  const Launch launch = runLauncher(launcher, quoteArgument(launcher) + L" x");
  DeleteFileW(launcher.c_str());
  ASSERT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")), "Q:");
  ASSERT_FALSE(launch.record.system_arguments.empty());
  EXPECT_EQ(shown(launch.record.system_arguments[0]), shown(launcher));
}

TEST(StandardHandles, TheChildUsesTheLaunchersOwn) {
  ProcessOptions options;
  options.standard_input = "line one\nline two\n";
  options.set_variables = {{L"ONEFILE_TEST_ECHO", L"1"}};
  const std::wstring probe = fullPath(kProbe);
  const Launch launch = runLauncher(probe, quoteArgument(probe), options);
  EXPECT_EQ(launch.result.out, "line one\nline two\n");
  EXPECT_EQ(launch.result.err, "child error");
  EXPECT_EQ(launch.result.exit_code, 0u);
}

TEST(ExitCode, TheChildsCodeComesBackWhole) {
  // 259 is the value of STILL_ACTIVE: the launcher must still see that the child has ended.
  const DWORD codes[] = {0, 7, 259, 0xC0000005u, 0xFFFFFFFFu};
  const std::wstring probe = fullPath(kProbe);
  for (DWORD code : codes) {
    SCOPED_TRACE(code);
    ProcessOptions options;
    options.set_variables = {{L"ONEFILE_TEST_EXIT", std::to_wstring(code)}};
    options.timeout_ms = 60000;
    const Launch launch = runLauncher(probe, quoteArgument(probe), options);
    EXPECT_FALSE(launch.result.timed_out);
    EXPECT_EQ(launch.result.exit_code, code);
    EXPECT_TRUE(launch.record.present);
  }
}

TEST(ExitCode, AChildThatCannotStartIsReportedWithTheSystemsCodeAndText) {
  const std::wstring missing = uniqueTemporaryPath(L"missing.exe");
  const struct {
    const char* name;
    std::wstring child;  // empty: ChildExecutablePath stays empty
  } cases[] = {{"empty path", L""}, {"missing file", missing}};
  const std::wstring probe = fullPath(kProbe);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // The code the system gives for this start, whatever its version says.
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::wstring line = quoteArgument(probe);
    ASSERT_FALSE(CreateProcessW(c.child.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process));
    const DWORD code = GetLastError();
    ProcessOptions options;
    options.application = probe;
    options.command_line = line;
    // An empty value leaves ChildExecutablePath empty.
    options.set_variables = {{L"ONEFILE_TEST_CHILD", c.child}};
    const ProcessResult result = runProcess(options);
    std::string text = systemMessageText(code);
    if (text.empty()) text = "no system text for this code";
    EXPECT_EQ(result.err, textModeBytes("Error, couldn't launch child ([Error " +
                                        std::to_string(static_cast<long>(static_cast<int32_t>(code))) + "] " + text +
                                        ")\n"));
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.exit_code, static_cast<DWORD>(kFatalExitCode));
  }
}

}  // namespace
