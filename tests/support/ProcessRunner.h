// Runs a Windows program from a Windows-side test and collects what a caller of the launcher
// sees: every byte written to standard output and standard error (through pipes) and the whole
// 32-bit exit code, which a Unix exit status under Wine would cut to 8 bits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct ProcessResult {
  bool started = false;
  DWORD start_error = 0;  // GetLastError of a failed CreateProcessW
  bool timed_out = false;
  bool killed = false;
  DWORD exit_code = 0;
  DWORD process_id = 0;
  bool in_job = false;  // put into ProcessOptions::job
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::wstring application;   // empty: taken from the command line
  std::wstring command_line;
  std::wstring current_directory;  // empty: inherited
  // Variables to set (value) or remove (nullopt-like: remove == true) in a copy of this process's
  // environment for the child.
  std::vector<std::pair<std::wstring, std::wstring>> set_variables;
  std::vector<std::wstring> remove_variables;
  std::string standard_input;  // written to the child's standard input, then closed
  DWORD timeout_ms = 120000;
  // When set, the process is terminated this long after its start (exit code 0xDEAD), as a user
  // or a crash would end it; `killed` tells whether it was still running then. With
  // `kill_after_path_appears`, the time counts from the moment that path exists instead (so that a
  // program is not killed while Wine is still starting it).
  DWORD kill_after_ms = 0;
  std::wstring kill_after_path_appears;
  // As a double-click starts a program: null standard output and error handles (and input)
  // instead of the files that collect them.
  bool no_standard_output = false;
  bool no_standard_error = false;
  DWORD creation_flags = 0;  // besides CREATE_UNICODE_ENVIRONMENT, e.g. CREATE_NEW_CONSOLE
  std::wstring desktop;      // "station\desktop"; empty: this process's
  // A job the program is put into before it runs any code (it is created suspended).
  HANDLE job = nullptr;
  // Called once the program runs, before the wait for its end, with its process id.
  std::function<void(DWORD)> while_running;
};

ProcessResult runProcess(const ProcessOptions& options);

// Convenience: quote one argument by the documented command-line rule.
std::wstring quoteArgument(const std::wstring& argument);

// Runs a program with these arguments, each quoted, and these variables set for it.
ProcessResult runProgram(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         const std::vector<std::pair<std::wstring, std::wstring>>& variables = {});

// Full path of a file relative to the current directory.
std::wstring fullPath(const std::wstring& relative);

// The text FormatMessageA gives for a code in language 1033, or an empty text.
std::string systemMessageText(DWORD code);

// The same text as the launcher's reports carry it: on one line, or the launcher's stand-in when
// the system has no text for the code.
std::string reportedSystemText(DWORD code);

// The C runtime's text mode writes "\n" as "\r\n" on redirected standard streams.
std::string textModeBytes(const std::string& text);

std::wstring widen(const std::string& utf8);
std::string narrow(const std::wstring& wide);
