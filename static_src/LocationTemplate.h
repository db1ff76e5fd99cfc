// Location templates: "{TEMP}\onefile_{PID}_splash_feedback.tmp" and the like, expanded into a
// region of a WideBuffer.
#pragma once

#include "OnefilePlatform.h"

// Writes the expansion at `output` (capacity units, terminator included). True when the whole
// template was expanded; false for an unknown name, a failed system query or a literal unit
// without room. The output is NUL-terminated on every return.
bool expandLocationTemplate(WideUnit* output, const WideUnit* template_text, size_t capacity);
