// The launcher's reports. Every report ends the launcher; the only one that returns,
// reportOsError, is always followed by its caller's exit(2).
//
// Stops without a report go through stopWithoutReport (OnefilePlatform.h), which this unit
// defines: the C runtime's exit with kStopExitCode.
#pragma once

#include "ExitCodes.h"
#include "OnefilePlatform.h"

// The message and one newline on standard output, then exit code 2.
[[noreturn]] void fatalError(const char* message);

// "<message> ([Error <code as signed decimal>] <system text>)\n" on standard error. The system
// text comes from FormatMessageA in language 1033, unchanged (with its own "\r\n").
void reportOsError(const char* message, uint32_t code);

// "Error, couldn't runtime expand spec '<template>'.\n" on standard error, then exit code 2.
[[noreturn]] void failTemplate(const WideUnit* template_text);

// The C runtime's failed-assertion report for expression at source:line, on standard error rather
// than in a message box (a GUI program's default, which would wait for a click), then the
// runtime's abort.
[[noreturn]] void failAssertion(const char* expression, const char* source, unsigned line);

// Replaces the system text when the system has none for a code.
constexpr const char* kNoSystemText = "no system text for this code";
