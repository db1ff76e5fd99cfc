// Texts that go into the launcher's one-line reports.
#pragma once

#include "OnefilePlatform.h"

// Makes a system message text fit on the report's one line, in place: blanks and line breaks at
// its end go, and every run of line breaks inside it (with the blanks around it) becomes one
// space. System texts end in "\r\n", and the C runtime's text mode would turn that into "\r\r\n"
// in the middle of the report; a few texts have breaks inside as well.
void makeOneLine(char* text);
