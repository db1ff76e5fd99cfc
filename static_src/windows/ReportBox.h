// A report where a user can see it when the launcher's standard handles lead nowhere: started by
// a double-click, a windowed launcher has none, and its one line would be lost. The box holds no
// lock of the launcher's: the reports release the extraction lock before they show it, so other
// starts of the same application go on while it waits for the user.
#pragma once

#include <windows.h>

#include "OnefilePlatform.h"

// How long a report's box waits for the user before it closes by itself: nothing may hang on it.
constexpr DWORD kReportBoxMilliseconds = 60000;

// When the standard handle of the report's stream (STD_OUTPUT_HANDLE or STD_ERROR_HANDLE) is not
// usable and the launcher runs on an interactive window station, shows `line` (the report's whole
// UTF-16 text, as the stream would have carried it) in a message box titled with the product's
// name, which closes by itself after `timeout` milliseconds. With a console or a redirected
// handle, and on a station that nobody sees (a service, a scheduled task), it does nothing.
// Returns whether a box was shown.
bool showReportIfUnseen(DWORD standard_stream, const WideUnit* line, DWORD timeout = kReportBoxMilliseconds);
