// The console control handler with a real child. The handler routine is called directly, on its
// own thread where the main thread waits at the same time, as the system would call it: under Wine
// a real console event also reaches the child itself and ends a process through the default
// handling with code 0 instead of 0xC000013A, which would hide what the launcher did.
#include <gtest/gtest.h>

#include <thread>

#include "ChildCommandLine.h"
#include "ChildProcess.h"
#include "PayloadExtraction.h"
#include "ProcessRunner.h"

namespace {

class ConsoleControl : public testing::Test {
 protected:
  // A test child that sleeps, then ends with a given code.
  void launchSleepingChild(DWORD sleep_ms, DWORD exit_code) {
    const std::wstring child = fullPath(L"fixtures\\child-recorder.exe");
    copyWideString(ChildExecutablePath, child.c_str());
    const WideUnit* arguments[] = {child.c_str()};
    joinQuotedArguments(ChildCommandLine, arguments, 1);
    SetEnvironmentVariableW(L"ONEFILE_TEST_SLEEP", std::to_wstring(sleep_ms).c_str());
    SetEnvironmentVariableW(L"ONEFILE_TEST_EXIT", std::to_wstring(exit_code).c_str());
    launchChild();
    ASSERT_NE(childProcess.load(), nullptr);
  }

  void TearDown() override {
    SetEnvironmentVariableW(L"ONEFILE_TEST_SLEEP", nullptr);
    SetEnvironmentVariableW(L"ONEFILE_TEST_EXIT", nullptr);
  }
};

TEST_F(ConsoleControl, WithoutAChildNothingHappens) {
  ASSERT_EQ(childProcess.load(), nullptr);
  EXPECT_FALSE(onConsoleControl(CTRL_C_EVENT));
  EXPECT_EQ(childProcess.load(), nullptr);
}

TEST_F(ConsoleControl, EveryStoppingEventTakesTheChild) {
  const DWORD events[] = {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT, CTRL_SHUTDOWN_EVENT};
  for (DWORD event : events) {
    SCOPED_TRACE(event);
    launchSleepingChild(0, 7);
    EXPECT_FALSE(onConsoleControl(event));
    EXPECT_EQ(childProcess.load(), nullptr);
    // It ended by itself within the grace period, so it keeps its own code.
    EXPECT_EQ(waitForChild(), 7u);
  }
}

TEST_F(ConsoleControl, OtherEventValuesLeaveTheChildAlone) {
  launchSleepingChild(60000, 7);
  HANDLE child = childProcess.load();
  const DWORD events[] = {3, 4, 7, 8, 100, 0xFFFFFFFFu};
  for (DWORD event : events) {
    SCOPED_TRACE(event);
    EXPECT_FALSE(onConsoleControl(event));
    EXPECT_EQ(childProcess.load(), child);
    EXPECT_EQ(WaitForSingleObject(child, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  }
  TerminateProcess(child, 9);
  EXPECT_EQ(waitForChild(), 9u);
  EXPECT_EQ(childProcess.load(), nullptr);
}

TEST_F(ConsoleControl, AChildThatEndsWithinTheGracePeriodIsNotTerminated) {
  launchSleepingChild(3000, 7);
  BOOL handled = TRUE;
  std::thread handler([&] { handled = onConsoleControl(CTRL_C_EVENT); });
  EXPECT_EQ(waitForChild(), 7u);
  handler.join();
  EXPECT_FALSE(handled);
  EXPECT_EQ(childProcess.load(), nullptr);
}

TEST_F(ConsoleControl, AChildThatOutlastsTheGracePeriodIsTerminatedAsByCtrlC) {
  launchSleepingChild(60000, 7);
  BOOL handled = TRUE;
  std::thread handler([&] { handled = onConsoleControl(CTRL_CLOSE_EVENT); });
  EXPECT_EQ(waitForChild(), kStoppedChildExitCode);
  handler.join();
  EXPECT_FALSE(handled);
  EXPECT_EQ(childProcess.load(), nullptr);
}

}  // namespace
