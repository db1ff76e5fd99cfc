// Letter case in file names as Windows sees it: a volume compares names unit by unit through its
// upcase table, which maps each UTF-16 unit to its simple upper case, so "é.txt" and "É.TXT" (or
// "ǅ", "ǆ" and "Ǆ", or "σ", "ς" and "Σ") name one file there. The mapping is generated at build
// time from the Unicode data, never typed in. Units without a single-unit upper case, surrogates
// among them, stay themselves; nothing is normalised ("ß" is not "SS", and "İ" is not "I").
#pragma once

#include "OnefilePlatform.h"

// The unit Windows compares in place of `unit`.
WideUnit foldNameUnit(WideUnit unit);

// The same for a unit of a payload path, where "/" separates components as "\" does.
WideUnit foldPathUnit(WideUnit unit);

// True when Windows would take the two zero-terminated paths for one file: equal after
// foldPathUnit of every unit.
bool samePathFolded(const WideUnit* a, const WideUnit* b);

// A 64-bit hash (FNV-1a over the folded units) of a zero-terminated path: paths that
// samePathFolded takes for one always hash alike. Never 0.
uint64_t foldedPathHash(const WideUnit* path);
