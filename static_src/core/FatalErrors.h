// The launcher's reports. Every report ends the launcher; the only one that returns,
// reportOsError, is always followed by its caller's exit(2).
//
// Each report is one line on a standard stream, built as UTF-16 so that a path or a template in
// any script is carried whole, unit for unit: a console gets the units, a redirected file or pipe
// gets UTF-8 (ReportStream.h), both ended by "\r\n". Where that stream's handle leads nowhere (a
// windowed launcher started by a double-click) and the launcher runs on an interactive window
// station, the same line is also shown in a message box, which closes by itself after a minute.
// Before anything is written the extraction lock is released, so that no other start of the same
// application waits for this one's box. Reports come on the main thread, which owns the lock, and
// never while the extraction writer still has files to write.
//
// Stops without a report go through stopWithoutReport (OnefilePlatform.h), which this unit
// defines: the C runtime's exit with kStopExitCode.
#pragma once

#include "ExitCodes.h"
#include "OnefilePlatform.h"

// The message and one newline on standard output, then exit code 2.
[[noreturn]] void fatalError(const char* message);

// "<message> ([Error <code as signed decimal>] <system text>)\n" on standard error. The system
// text comes from FormatMessageW in language 1033, made to fit on the one line (its own "\r\n"
// and any other line break go).
void reportOsError(const char* message, uint32_t code);

// "Error, couldn't runtime expand spec '<template>'.\n" on standard error, then exit code 2.
[[noreturn]] void failTemplate(const WideUnit* template_text);

// "Error, failed to open '<path>' for writing.\n" on standard error, then exit code 2.
[[noreturn]] void failOpenForWriting(const WideUnit* path);

// Replaces the system text when the system has none for a code.
constexpr const char* kNoSystemText = "no system text for this code";
