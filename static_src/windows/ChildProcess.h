// The child: hand-off variables, its command line, its start, the wait for its end, and the
// console control handler that stops it.
#pragma once

#include <windows.h>

#include <atomic>

#include "OnefilePlatform.h"
#include "WideString.h"

extern WideBuffer<4097> LauncherPath;
extern WideBuffer<4097> LauncherDirectory;
extern WideBuffer<4096> ChildArgumentZero;
extern WideBuffer<32768> ChildCommandLine;

// The handle through which a console control event stops the running child; null before the
// launch and once either thread has taken it out. Whoever takes it out (with one exchange) owns it
// and closes it, so it is closed once and never used afterwards. The main thread waits on a handle
// of its own, which the handler never touches.
extern std::atomic<HANDLE> childProcess;

// What a child ends with when the console event's grace period runs out: the system's own code for
// a process ended by Ctrl+C.
constexpr DWORD kStoppedChildExitCode = 0xC000013A;
constexpr DWORD kStopGraceMilliseconds = 5000;

// Sets TOLVAR_ONEFILE_DIRECTORY to the launcher's directory and TOLVAR_ORIGINAL_ARGV0 to its
// argument zero as called.
void publishHandOffVariables(const WideUnit* argument_zero);

// The launcher's own arguments, with its full path as argument zero, quoted for the child.
void buildChildCommandLine();

// Starts ChildExecutablePath with ChildCommandLine, the launcher's environment, current directory
// and standard handles, inside a job that ends it when the launcher ends (processes it starts in
// turn leave that job). Returns only when the child runs; a failed start ends the launcher with
// its report and exit code 2.
void launchChild();

// Waits for the child to end, watching the splash feedback and keeping the splash window answering
// meanwhile, and returns its exit code (1 when it cannot be read).
uint32_t waitForChild();

// Gives a running child the grace period, terminates it after that, and closes its handle. Does
// nothing when there is no child or another thread has already taken it.
void stopChild();

// Stops the child on interrupt, break, close, logoff and shutdown; ignores other values. Always
// returns FALSE, so the system's default handling then ends the launcher.
BOOL WINAPI onConsoleControl(DWORD control_type);
