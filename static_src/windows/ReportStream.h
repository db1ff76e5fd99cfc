// The one place where a report line reaches a standard stream. The line is UTF-16 and goes out
// whole, whatever script its path is written in: a console is given the units themselves, a file
// or a pipe gets UTF-8 (no narrow code page holds every path).
#pragma once

#include <windows.h>

#include "OnefilePlatform.h"

// Room for the longest report line, terminator included: a message, a path of 4096 units and a
// system text.
constexpr size_t kReportLineCapacity = 16384;

// Writes `line` (at most kReportLineCapacity - 1 units) and "\r\n" to the standard handle
// `standard_stream` (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE): with WriteConsoleW to a console,
// as UTF-8 with WriteFile to anything else, where an unpaired surrogate becomes U+FFFD. The line
// end is the one the C runtime's text mode wrote before, so ASCII reports keep their bytes. Does
// nothing without a handle, and ignores failed writes: a report has nowhere else to go.
void writeReportLine(DWORD standard_stream, const WideUnit* line);
