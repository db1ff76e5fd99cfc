// One separator form for a directory path. A template may use "/" as well as "\" (Windows itself
// takes both, and shells and build scripts write "/" by habit), but directory creation climbs at
// "\" only, the extraction lock is named after the text, and reports and the child see it: so the
// text is brought to one form before any of them sees it.
#pragma once

#include "OnefilePlatform.h"

// In place: every "/" becomes "\", every run of separators becomes one, except that a leading
// pair (a UNC or device path, "\\server\share", "\\?\C:\x") stays a pair, and separators at the
// end go, so "C:\x\" and "C:\x" name the directory alike and a file's path joins it with exactly
// one "\". A text that is only a leading pair keeps it. Returns the new length.
size_t normalizeDirectorySeparators(WideUnit* path);
