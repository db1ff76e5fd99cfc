// The launcher's own exit codes. After a normal run the launcher ends with the child's code.
#pragma once

// After every report: the fatal messages, the open failure, the OS error reports and the
// template report.
constexpr int kFatalExitCode = 2;

// After a stop that prints nothing (a text that does not fit its buffer, a non-digit process id
// in TOLVAR_ONEFILE_PARENT, no path for the child's argument zero): one code for "the launcher
// stopped on an internal limit". It is also the status of the C runtime's abort.
constexpr int kStopExitCode = 3;

// When the child's exit code cannot be read.
constexpr int kUnreadableChildExitCode = 1;
