// The extraction directory as every start uses it: its template expanded, then written with one
// separator (DirectorySeparators.h).
#pragma once

#include "OnefilePlatform.h"

// expandLocationTemplate, then normalizeDirectorySeparators on what it wrote; the same result and
// failures as the expansion.
bool expandExtractionDirectory(WideUnit* output, const WideUnit* template_text, size_t capacity);
