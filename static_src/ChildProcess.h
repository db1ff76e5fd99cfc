// The child: hand-off variables, its command line, its start, the wait for its end, and the
// console control handler that stops it.
#pragma once

#include <windows.h>

#include "OnefilePlatform.h"

void publishHandOffVariables(const WideUnit* argument_zero);
void buildChildCommandLine();
void launchChild();
uint32_t waitForChild();
BOOL WINAPI onConsoleControl(DWORD control_type);
