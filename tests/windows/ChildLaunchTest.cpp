// The child as a caller of the launcher and the child itself see it, through real packed
// launchers whose payload's first file is the test child (child-recorder): arguments through both
// of Windows' parsers, argument zero, the hand-off variables, current directory, standard handles
// and the whole exit code.
#include <gtest/gtest.h>

#include <windows.h>

#include <shellapi.h>
#include <shlobj.h>

#include <random>
#include <string>
#include <vector>

#include "ChildRecord.h"
#include "ExitCodes.h"
#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

std::vector<std::wstring> systemSplit(const std::wstring& line) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(line.c_str(), &count);
  std::vector<std::wstring> result(arguments, arguments + count);
  LocalFree(arguments);
  return result;
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

std::wstring directoryOf(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// The test child keeps a subfolder of the shared extraction directory to itself.
const wchar_t kChildSubfolder[] = L"child-test";

std::wstring childExtractionFolder() {
  wchar_t folder[MAX_PATH];
  SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  return std::wstring(folder) + L"\\Quorvell\\1.3\\" + kChildSubfolder;
}

struct Launch {
  ProcessResult result;
  ChildRecord record;
};

class PackedLauncher : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    const std::string child = readFileBytes(fullPath(L"fixtures\\child-recorder.exe"));
    ASSERT_FALSE(child.empty());
    const std::wstring name = std::wstring(kChildSubfolder) + L"\\recorder.exe";
    const PayloadFile files[] = {{std::u16string(name.begin(), name.end()), child}};
    payload_ = buildPayloadResource(files, 1);
  }
  static void TearDownTestSuite() { removeTree(childExtractionFolder()); }

  void SetUp() override {
    work_ = makeTemporaryDirectory(widen(testing::UnitTest::GetInstance()->current_test_info()->name()));
    launcher_ = work_ + L"\\child-launcher.exe";
    makePackedLauncher(launcher_);
  }
  void TearDown() override { removeTree(work_); }

  static void makePackedLauncher(const std::wstring& path, const std::string& payload = payload_) {
    std::wstring why;
    ASSERT_TRUE(makeLauncher(path, payload, "", &why)) << narrow(why);
  }

  // Runs a launcher; `application` empty lets CreateProcessW find the program from the command
  // line, as a shell does.
  Launch run(const std::wstring& application, const std::wstring& command_line, ProcessOptions options = {}) {
    const std::wstring record_path = work_ + L"\\record-" + std::to_wstring(++runs_) + L".bin";
    options.application = application;
    options.command_line = command_line;
    options.set_variables.push_back({L"ONEFILE_TEST_RECORD", record_path});
    Launch launch;
    launch.result = runProcess(options);
    launch.record = readChildRecord(record_path);
    DeleteFileW(record_path.c_str());
    return launch;
  }
  Launch run(const std::wstring& arguments = L"", ProcessOptions options = {}) {
    return run(launcher_, quoteArgument(launcher_) + (arguments.empty() ? L"" : L" " + arguments), options);
  }

  // The child must get back exactly what the launcher's own CommandLineToArgvW gave, with the
  // launcher's full path in place of argument zero, through either parser.
  ChildRecord expectArgumentsReachTheChild(const std::wstring& launcher_line) {
    SCOPED_TRACE("launcher line: " + shown(launcher_line));
    std::vector<std::wstring> expected = systemSplit(launcher_line);
    expected[0] = launcher_;
    const Launch launch = run(launcher_, launcher_line);
    EXPECT_TRUE(launch.record.present) << launch.result.start_error << " " << launch.result.err;
    EXPECT_EQ(shown(launch.record.system_arguments), shown(expected)) << shown(launch.record.command_line);
    EXPECT_EQ(shown(launch.record.runtime_arguments), shown(expected)) << shown(launch.record.command_line);
    EXPECT_EQ(launch.result.exit_code, 0u);
    return launch.record;
  }

  static std::string payload_;
  std::wstring work_;
  std::wstring launcher_;
  unsigned runs_ = 0;
};

std::string PackedLauncher::payload_;

std::wstring variable(const ChildRecord& record, const wchar_t* name) {
  for (size_t i = 0; i < record.values.size(); ++i) {
    if (wcscmp(kRecordedVariables[i], name) == 0) return record.set[i] ? record.values[i] : L"<unset>";
  }
  return L"<not recorded>";
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

TEST_F(PackedLauncher, TrickyLinesReachTheChildExactly) {
  for (const LineCase& c : kLineCases) {
    const std::wstring line = quoteArgument(launcher_) + (c.arguments[0] != 0 ? L" " : L"") + c.arguments;
    const ChildRecord record = expectArgumentsReachTheChild(line);
    if (c.child_arguments != nullptr) {
      EXPECT_EQ(shown(record.command_line), shown(quoteArgument(launcher_) + c.child_arguments));
    }
  }
}

// Half of the lines are random argument vectors quoted by the documented rule, half are random
// raw text, which the launcher's CommandLineToArgvW splits however it does.
TEST_F(PackedLauncher, RandomLinesReachTheChildExactly) {
  const std::vector<std::wstring> alphabet = {L"a", L"b", L" ", L"\t", L"\n", L"\v", L"\r", L"\"", L"\\",
                                              L"\\", L"\u00e9", L"\u65e5", L"\U0001F600"};
  std::mt19937 random(20240611);
  auto randomText = [&](size_t longest) {
    std::wstring text;
    for (size_t n = random() % (longest + 1); n > 0; --n) text += alphabet[random() % alphabet.size()];
    return text;
  };
  for (int line_number = 0; line_number < 200; ++line_number) {
    SCOPED_TRACE(line_number);
    std::wstring line = quoteArgument(launcher_);
    if (line_number % 2 == 0) {
      for (size_t count = random() % 6; count > 0; --count) line += L" " + quoteArgument(randomText(8));
    } else {
      line += L" " + randomText(24);
    }
    expectArgumentsReachTheChild(line);
    if (HasFailure()) break;
  }
}

class CurrentDirectoryScope {
 public:
  explicit CurrentDirectoryScope(const std::wstring& directory) {
    wchar_t previous[MAX_PATH];
    previous_.assign(previous, GetCurrentDirectoryW(MAX_PATH, previous));
    SetCurrentDirectoryW(directory.c_str());
  }
  ~CurrentDirectoryScope() { SetCurrentDirectoryW(previous_.c_str()); }

 private:
  std::wstring previous_;
};

TEST_F(PackedLauncher, ArgumentZeroIsTheFullPathHoweverTheLauncherWasCalled) {
  const std::wstring spaced_directory = work_ + L"\\launcher dir \u00e9";
  ASSERT_TRUE(CreateDirectoryW(spaced_directory.c_str(), nullptr));
  const std::wstring spaced_launcher = spaced_directory + L"\\my launcher.exe";
  makePackedLauncher(spaced_launcher);
  const struct {
    std::wstring application;
    std::wstring command_line;
    std::wstring full_path;
    std::wstring argument_zero;  // as called: the launcher's TOLVAR_ORIGINAL_ARGV0
  } cases[] = {
      {spaced_launcher, quoteArgument(spaced_launcher) + L" x", spaced_launcher, spaced_launcher},
      // Found by CreateProcessW in the current directory, ".exe" added by the system.
      {L"", L"child-launcher x", launcher_, L"child-launcher"},
      {L"", L".\\child-launcher.exe x", launcher_, L".\\child-launcher.exe"},
  };
  // The launcher and its child inherit this as their current directory.
  CurrentDirectoryScope in_work_directory(work_);
  for (const auto& c : cases) {
    SCOPED_TRACE(shown(c.command_line));
    const Launch launch = run(c.application, c.command_line);
    ASSERT_TRUE(launch.record.present) << launch.result.start_error << " " << launch.result.err;
    const std::vector<std::wstring> expected = {c.full_path, L"x"};
    EXPECT_EQ(shown(launch.record.system_arguments), shown(expected));
    EXPECT_EQ(shown(launch.record.runtime_arguments), shown(expected));
    EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ORIGINAL_ARGV0")), shown(c.argument_zero));
    EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")), shown(directoryOf(c.full_path)));
    EXPECT_EQ(shown(launch.record.current_directory), shown(work_));
  }
}

TEST_F(PackedLauncher, InheritedHandOffValuesAreReplacedByTheLaunchersOwn) {
  ProcessOptions options;
  options.set_variables = {{L"TOLVAR_ONEFILE_PARENT", L"4242"},
                           {L"TOLVAR_ONEFILE_DIRECTORY", L"C:\\elsewhere"},
                           {L"TOLVAR_ORIGINAL_ARGV0", L"other.exe"}};
  const Launch launch = run(L"", options);
  ASSERT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_PARENT")),
            std::to_string(launch.result.process_id));
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")), shown(work_));
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ORIGINAL_ARGV0")), shown(launcher_));
}

// The launcher writes the start time only where a template uses {TIME}; an inherited one reaches
// the child unchanged, so nested launchers share it.
TEST_F(PackedLauncher, AnInheritedStartTimeReachesTheChildUnchanged) {
  ProcessOptions options;
  options.set_variables = {{L"TOLVAR_ONEFILE_START", L"133000000000000000"}};
  const Launch launch = run(L"", options);
  ASSERT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_START")), "133000000000000000");
}

// The Wine test setup maps drive Q: to a directory of its own (ctest fixture child_drive).
TEST_F(PackedLauncher, AtTheRootOfADriveTheDirectoryIsTheBareDrive) {
  if (GetFileAttributesW(L"Q:\\") == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "drive Q: is not mapped";
  const std::wstring launcher = L"Q:\\child-launcher.exe";
  makePackedLauncher(launcher);
  const Launch launch = run(launcher, quoteArgument(launcher) + L" x");
  DeleteFileW(launcher.c_str());
  ASSERT_TRUE(launch.record.present) << launch.result.err;
  EXPECT_EQ(shown(variable(launch.record, L"TOLVAR_ONEFILE_DIRECTORY")), "Q:");
  const std::vector<std::wstring> expected = {launcher, L"x"};
  EXPECT_EQ(shown(launch.record.system_arguments), shown(expected));
}

TEST_F(PackedLauncher, TheChildUsesTheLaunchersStandardHandles) {
  ProcessOptions options;
  options.standard_input = "line one\nline two\n";
  options.set_variables = {{L"ONEFILE_TEST_ECHO", L"1"}};
  const Launch launch = run(L"", options);
  EXPECT_EQ(launch.result.out, "line one\nline two\n");
  EXPECT_EQ(launch.result.err, "child error");
  EXPECT_EQ(launch.result.exit_code, 0u);
}

TEST_F(PackedLauncher, TheChildsExitCodeComesBackWhole) {
  // 259 is the value of STILL_ACTIVE: the launcher must still see that the child has ended.
  const DWORD codes[] = {0, 7, 259, 0xC0000005u, 0xFFFFFFFFu};
  for (DWORD code : codes) {
    SCOPED_TRACE(code);
    ProcessOptions options;
    options.set_variables = {{L"ONEFILE_TEST_EXIT", std::to_wstring(code)}};
    options.timeout_ms = 60000;
    const Launch launch = run(L"", options);
    EXPECT_FALSE(launch.result.timed_out);
    EXPECT_EQ(launch.result.exit_code, code);
    EXPECT_TRUE(launch.record.present);
  }
}

DWORD readNumber(const std::wstring& path) {
  return static_cast<DWORD>(strtoul(readFileBytes(path).c_str(), nullptr, 10));
}

// To users, scripts and supervisors the launcher is the application: ended from outside (Task
// Manager's End task, a stop button, taskkill /F), where no code of the launcher runs, it takes its
// child with it.
TEST_F(PackedLauncher, TheChildEndsWithALauncherEndedFromOutside) {
  const std::wstring pid_path = work_ + L"\\child.pid";
  ProcessOptions options;
  options.set_variables = {{L"ONEFILE_TEST_PID_FILE", pid_path}, {L"ONEFILE_TEST_SLEEP", L"120000"}};
  options.kill_after_path_appears = pid_path;
  options.kill_after_ms = 1;
  const Launch launch = run(L"", options);
  EXPECT_TRUE(launch.result.killed);
  const DWORD child_id = readNumber(pid_path);
  ASSERT_NE(child_id, 0u);
  HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, child_id);
  if (child == nullptr) return;  // gone already
  // A hang guard, not a time limit: without the launcher's job the child would sleep on.
  const DWORD waited = WaitForSingleObject(child, 30000);
  EXPECT_EQ(waited, static_cast<DWORD>(WAIT_OBJECT_0)) << "the child outlived its launcher";
  if (waited != WAIT_OBJECT_0) TerminateProcess(child, 0);
  CloseHandle(child);
}

// An updater or a detached helper that the application starts outlives both, as it would
// without the launcher; the launcher still ends with the application's code.
TEST_F(PackedLauncher, WhatTheChildStartsOutlivesTheLauncher) {
  const std::wstring spawn_path = work_ + L"\\grandchild.pid";
  ProcessOptions options;
  options.set_variables = {{L"ONEFILE_TEST_SPAWN", spawn_path}, {L"ONEFILE_TEST_EXIT", L"7"}};
  const Launch launch = run(L"", options);
  EXPECT_EQ(launch.result.exit_code, 7u);
  EXPECT_TRUE(launch.record.present);
  const DWORD grandchild_id = readNumber(spawn_path);
  ASSERT_NE(grandchild_id, 0u);
  HANDLE grandchild = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, grandchild_id);
  ASSERT_NE(grandchild, nullptr) << "the grandchild ended with the launcher";
  // Ended with the launcher's job, it would be gone by now or within this wait.
  EXPECT_EQ(WaitForSingleObject(grandchild, 2000), static_cast<DWORD>(WAIT_TIMEOUT));
  TerminateProcess(grandchild, 0);
  CloseHandle(grandchild);
}

// A CI runner or a service manager may run the launcher inside a job of its own that forbids
// breaking away: the application starts there all the same and its code comes back.
TEST_F(PackedLauncher, InsideAJobWithoutBreakawayTheApplicationRuns) {
  HANDLE outer = CreateJobObjectW(nullptr, nullptr);
  ASSERT_NE(outer, nullptr);
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
  limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
  ASSERT_TRUE(SetInformationJobObject(outer, JobObjectExtendedLimitInformation, &limits, sizeof limits));
  ProcessOptions options;
  options.job = outer;
  options.set_variables = {{L"ONEFILE_TEST_EXIT", L"7"}};
  const Launch launch = run(L"", options);
  CloseHandle(outer);
  EXPECT_TRUE(launch.result.in_job);
  EXPECT_EQ(launch.result.exit_code, 7u);
  EXPECT_TRUE(launch.record.present);
}

// A payload of no files leaves the child's path empty.
TEST_F(PackedLauncher, AChildThatCannotStartIsReportedWithTheSystemsCodeAndText) {
  const std::wstring launcher = work_ + L"\\empty-launcher.exe";
  makePackedLauncher(launcher, buildPayloadResource(nullptr, 0));
  // The code this system gives for a start with an empty program path.
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::wstring line = quoteArgument(launcher);
  ASSERT_FALSE(CreateProcessW(L"", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process));
  const DWORD code = GetLastError();

  const Launch launch = run(launcher, line);
  EXPECT_EQ(launch.result.err, textModeBytes("Error, couldn't launch child ([Error " +
                                             std::to_string(static_cast<long>(static_cast<int32_t>(code))) + "] " +
                                             reportedSystemText(code) + ")\n"));
  EXPECT_EQ(launch.result.out, "");
  EXPECT_EQ(launch.result.exit_code, static_cast<DWORD>(kFatalExitCode));
  EXPECT_FALSE(launch.record.present);
}

}  // namespace
