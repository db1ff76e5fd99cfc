// Location templates: "{TEMP}\onefile_{PID}_splash_feedback.tmp" and the like, expanded into a
// region of a WideBuffer.
//
// The syntax is TemplateSyntax's. The twelve names (TEMP, PROGRAM, PROGRAM_BASE, PROGRAM_DIR, PID,
// HOME, CACHE_DIR, PRODUCT, VERSION, COMPANY, TIME, BUILD) match in any ASCII case. PRODUCT,
// VERSION, COMPANY and BUILD come from the active launcher settings (LauncherSettings.h); COMPANY
// gives the product name when there is no company, BUILD the first kBuildVariableLength digits of
// the build id and fails without one. A name of 1024 units or more matches no variable.
#pragma once

#include "OnefilePlatform.h"

// Writes the expansion at `output` (capacity units, terminator included). True when the whole
// template was expanded; false for an unknown name, BUILD without a build id, a failed system
// query (a temporary directory or program path that does not fit the remaining room counts as
// failed), a literal unit without room, or a capacity of 0. A value that does not fit stops the program (the overflow rule), as
// does an inherited TOLVAR_ONEFILE_PARENT that is not all digits. The output is NUL-terminated on
// every return except for a capacity of 0.
bool expandLocationTemplate(WideUnit* output, const WideUnit* template_text, size_t capacity);
