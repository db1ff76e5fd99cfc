#include "ChildProcess.h"

#include <shellapi.h>
#include <stdlib.h>

#include "ChildCommandLine.h"
#include "Environment.h"
#include "ExitCodes.h"
#include "FatalErrors.h"
#include "OnefileSplashScreen.h"
#include "PayloadExtraction.h"

WideBuffer<4097> LauncherPath;
WideBuffer<4097> LauncherDirectory;
WideBuffer<4096> ChildArgumentZero;
WideBuffer<32768> ChildCommandLine;

std::atomic<HANDLE> childProcess{nullptr};

namespace {

// The main thread's own handle of the child. A console event's handler may close childProcess at
// any moment, also while the main thread waits, so the main thread never waits on that one.
HANDLE waited_child = nullptr;

constexpr DWORD kFeedbackPollMilliseconds = 50;

// The job that ends the child with the launcher, however the launcher ends: to users, scripts and
// supervisors the launcher is the application, and a forced end runs no code of ours. Processes
// that the child starts leave the job without asking, so an updater or a detached helper outlives
// both, as it would without the launcher. Null when the system gives no such job; the child then
// runs outside one, as before.
HANDLE childJob() {
  static HANDLE job = [] {
    HANDLE created = CreateJobObjectW(nullptr, nullptr);
    if (created == nullptr) return created;
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE | JOB_OBJECT_LIMIT_SILENT_BREAKAWAY_OK;
    if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
      CloseHandle(created);
      return static_cast<HANDLE>(nullptr);
    }
    // Never closed: the system closes it when the launcher ends, and that ends the child.
    return created;
  }();
  return job;
}

}  // namespace

void publishHandOffVariables(const WideUnit* argument_zero) {
  if (LauncherPath[0] == 0) GetModuleFileNameW(nullptr, LauncherPath, 4097);
  copyWideString(LauncherDirectory, LauncherPath);
  cutAtLastBackslash(LauncherDirectory);
  setEnvironmentValue("TOLVAR_ONEFILE_DIRECTORY", LauncherDirectory);
  setEnvironmentValue("TOLVAR_ORIGINAL_ARGV0", argument_zero);
}

void buildChildCommandLine() {
  ChildCommandLine[0] = 0;
  int count = 0;
  // Never released: the process ends after the child.
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) fatalError("Error, couldn't allocate memory.");
  if (ChildArgumentZero[0] == 0) {
    // A result as long as the buffer is a path cut short: it would name some other file.
    const DWORD length = GetModuleFileNameW(nullptr, ChildArgumentZero, 4096);
    if (length == 0 || length >= 4096) stopWithoutReport();
  }
  arguments[0] = ChildArgumentZero;
  joinQuotedArguments(ChildCommandLine, arguments, static_cast<size_t>(count));
}

namespace {

constexpr DWORD kChildCreationFlags = NORMAL_PRIORITY_CLASS;

// Room for an attribute list of one entry; the system says how much it needs, and a list that
// needs more is not used.
alignas(16) uint8_t AttributeListRoom[256];

// Creates the child inside the job in one step (Windows 10 and later): it never exists outside
// it, not even when the launcher is ended in the middle of the call. False when the system cannot
// do so or the start fails; the caller then tries the other way.
bool createChildInJob(HANDLE job, STARTUPINFOW startup, PROCESS_INFORMATION& process) {
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  if (size == 0 || size > sizeof AttributeListRoom) return false;
  auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(AttributeListRoom);
  if (!InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return false;
  STARTUPINFOEXW extended = {};
  extended.StartupInfo = startup;
  extended.StartupInfo.cb = sizeof extended;
  extended.lpAttributeList = attributes;
  const bool created =
      UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_JOB_LIST, &job, sizeof job, nullptr, nullptr) &&
      CreateProcessW(ChildExecutablePath, ChildCommandLine, nullptr, nullptr, TRUE,
                     kChildCreationFlags | EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr, &extended.StartupInfo,
                     &process);
  DeleteProcThreadAttributeList(attributes);
  return created;
}

// Created suspended, put into the job, resumed: no instruction of the child runs outside the job.
// Where the job cannot take the child (a system without nested jobs, inside a job of a caller's
// that forbids it), the child runs all the same, as it did before there was a job.
void createChildThenJoinJob(HANDLE job, STARTUPINFOW& startup, PROCESS_INFORMATION& process) {
  if (!CreateProcessW(ChildExecutablePath, ChildCommandLine, nullptr, nullptr, TRUE,
                      kChildCreationFlags | CREATE_SUSPENDED, nullptr, nullptr, &startup, &process)) {
    reportOsError("Error, couldn't launch child", GetLastError());
    exit(kFatalExitCode);
  }
  if (job != nullptr) AssignProcessToJobObject(job, process.hProcess);
  if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
    const DWORD error = GetLastError();
    TerminateProcess(process.hProcess, kStoppedChildExitCode);
    reportOsError("Error, couldn't launch child", error);
    exit(kFatalExitCode);
  }
}

}  // namespace

void launchChild() {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process = {};
  // The second way leaves a moment in which a launcher ended from outside would leave its child
  // suspended for good; the first has none.
  HANDLE job = childJob();
  if (job == nullptr || !createChildInJob(job, startup, process)) createChildThenJoinJob(job, startup, process);
  CloseHandle(process.hThread);
  waited_child = process.hProcess;
  // Without this second handle a console event cannot stop the child, but the child shares the
  // launcher's console and receives the event itself.
  HANDLE stoppable = nullptr;
  if (DuplicateHandle(GetCurrentProcess(), process.hProcess, GetCurrentProcess(), &stoppable, 0, FALSE,
                      DUPLICATE_SAME_ACCESS)) {
    childProcess.store(stoppable);
  }
}

uint32_t waitForChild() {
  HANDLE child = waited_child;
  if (child == nullptr) return 0;
  DWORD exit_code = 0;
  // The first wait is short in every case, so that a pending splash feedback is seen early.
  DWORD timeout = kFeedbackPollMilliseconds;
  for (;;) {
    const DWORD waited = waitKeepingSplashResponsive(child, timeout);
    if (!GetExitCodeProcess(child, &exit_code)) {
      exit_code = kUnreadableChildExitCode;
      break;
    }
    // A child may itself end with the value of STILL_ACTIVE (259); only the wait tells that it
    // has ended.
    if (waited == WAIT_OBJECT_0 || exit_code != STILL_ACTIVE) break;
    timeout = pollSplashFeedback() ? kFeedbackPollMilliseconds : INFINITE;
  }
  // Unless a console event's handler already has it, the stopping handle is no longer needed.
  HANDLE stoppable = childProcess.exchange(nullptr);
  if (stoppable != nullptr) CloseHandle(stoppable);
  CloseHandle(child);
  waited_child = nullptr;
  return exit_code;
}

void stopChild() {
  HANDLE child = childProcess.exchange(nullptr);
  if (child == nullptr) return;
  if (WaitForSingleObject(child, kStopGraceMilliseconds) != WAIT_OBJECT_0) {
    TerminateProcess(child, kStoppedChildExitCode);
  }
  CloseHandle(child);
}

BOOL WINAPI onConsoleControl(DWORD control_type) {
  switch (control_type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      stopChild();
      break;
    default:
      break;
  }
  // The event goes on to the default handling, which ends the launcher.
  return FALSE;
}
