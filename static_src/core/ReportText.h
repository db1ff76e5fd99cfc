// Texts that go into the launcher's one-line reports.
#pragma once

#include "OnefilePlatform.h"

// Makes a system message text fit on the report's one line, in place: blanks and line breaks at
// its end go, and every run of line breaks inside it (with the blanks around it) becomes one
// space. System texts end in "\r\n", which would end the report in the middle; a few texts have
// breaks inside as well. The narrow form is for texts from FormatMessageA, the wide one for the
// launcher's own, taken from FormatMessageW.
void makeOneLine(char* text);
void makeOneLine(WideUnit* text);
