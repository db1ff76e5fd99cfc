// The program's start: the launcher becomes the program (same process), which gets the launcher's
// arguments byte for byte, the hand-off variables and the caller's current directory, and whose
// exit code or ending signal the caller sees.
#include <signal.h>
#include <unistd.h>

#include "LauncherFixture.h"

namespace {

TEST_F(LinuxLauncherTest, PassesEveryArgumentByteForByte) {
  makeLauncher(standardFiles());
  const std::vector<std::string> arguments = {
      "called-as", "", "two words", "\"quoted\"", "back\\slash\\", "\xff\xfe not UTF-8", "new\nline", "tab\t", "-", "'"};
  const pid_t process = start({}, arguments);
  const Finished finished = waitFor(process, root() + "/stderr");
  ASSERT_TRUE(exitedWith(finished, 0)) << finished.error;
  const auto fields = readRecord(recordPath());
  std::vector<std::string> expected = arguments;
  expected[0] = launcherPath();
  EXPECT_EQ(expected, recordedArguments(fields)) << "argument zero is the launcher's full path";
  const auto record = recordMap(fields);
  EXPECT_EQ("called-as", record.at("env:TOLVAR_ORIGINAL_ARGV0"));
  EXPECT_EQ(root() + "/bin", record.at("env:TOLVAR_ONEFILE_DIRECTORY"));
  EXPECT_EQ(std::to_string(process), record.at("env:TOLVAR_ONEFILE_PARENT"));
  EXPECT_EQ(std::to_string(process), record.at("pid")) << "the program runs in the launcher's own process";
  EXPECT_EQ(root() + "/work", record.at("cwd"));
  EXPECT_EQ(cacheFolder() + "/app", record.at("exe"));
}

TEST_F(LinuxLauncherTest, AnInheritedParentIdIsReplaced) {
  makeLauncher(standardFiles());
  const pid_t process = start({"TOLVAR_ONEFILE_PARENT=1", "TOLVAR_ORIGINAL_ARGV0=old", "TOLVAR_ONEFILE_DIRECTORY=/old"});
  ASSERT_TRUE(exitedWith(waitFor(process, root() + "/stderr"), 0));
  const auto record = recordMap(readRecord(recordPath()));
  EXPECT_EQ(std::to_string(process), record.at("env:TOLVAR_ONEFILE_PARENT"));
  EXPECT_EQ(launcherPath(), record.at("env:TOLVAR_ORIGINAL_ARGV0"));
  EXPECT_EQ(root() + "/bin", record.at("env:TOLVAR_ONEFILE_DIRECTORY"));
}

TEST_F(LinuxLauncherTest, TheProgramsExitCodeAndSignalAreTheCallersToSee) {
  makeLauncher(standardFiles());
  const Finished seven = run({"ONEFILE_TEST_EXIT=7"});
  EXPECT_TRUE(exitedWith(seven, 7)) << seven.status;
  const Finished two_hundred = run({"ONEFILE_TEST_EXIT=200"});
  EXPECT_TRUE(exitedWith(two_hundred, 200)) << two_hundred.status;
  for (int signal_number : {SIGTERM, SIGUSR1, SIGABRT}) {
    const Finished signalled = run({"ONEFILE_TEST_SIGNAL=" + std::to_string(signal_number)});
    EXPECT_TRUE(WIFSIGNALED(signalled.status) && WTERMSIG(signalled.status) == signal_number)
        << signal_number << ": " << signalled.status;
  }
}

TEST_F(LinuxLauncherTest, APayloadWithoutFilesCannotStartAProgram) {
  makeLauncher({});
  const Finished finished = run();
  EXPECT_TRUE(exitedWith(finished, 2));
  EXPECT_EQ("Error, couldn't launch child ([Error 2] No such file or directory)\n", finished.error);
}

}  // namespace
