// The child's command line: the quoting that lets Windows' own parsers (CommandLineToArgvW and
// the C runtime's start-up code) give every argument back exactly, and the cut that turns the
// launcher's path into its directory.
#pragma once

#include "OnefilePlatform.h"
#include "WideString.h"

// Appends one argument to the line. An argument that is not empty and holds none of space, tab,
// line feed, vertical tab and double quote goes in unchanged; any other is put in double quotes,
// with every run of backslashes doubled where a double quote follows it (the argument's own or the
// closing one) and every double quote of the argument preceded by one more backslash. A line that
// does not fit stops the program (the overflow rule of the bounded texts).
void appendQuotedArgument(WideUnit* line, size_t capacity, const WideUnit* argument);

// Makes the line hold the arguments in order, each quoted as above, with exactly one space between
// two of them.
void joinQuotedArguments(WideUnit* line, size_t capacity, const WideUnit* const* arguments, size_t count);

// Puts the terminator in place of the last backslash, so that the backslash and the file name go;
// a path without a backslash stays whole. "D:\tool.exe" gives the bare drive "D:".
void cutAtLastBackslash(WideUnit* path);

template <size_t Capacity>
void appendQuotedArgument(WideBuffer<Capacity>& line, const WideUnit* argument) {
  appendQuotedArgument(line, Capacity, argument);
}
template <size_t Capacity>
void joinQuotedArguments(WideBuffer<Capacity>& line, const WideUnit* const* arguments, size_t count) {
  joinQuotedArguments(line, Capacity, arguments, count);
}
