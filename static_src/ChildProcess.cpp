#include "ChildProcess.h"

#include <stdio.h>
#include <stdlib.h>

void publishHandOffVariables(const WideUnit* argument_zero) { (void)argument_zero; }
void buildChildCommandLine() {}
void launchChild() {
  fputs("onefile: the child launch is not built yet\n", stderr);
  exit(4);
}
uint32_t waitForChild() { return 0; }
BOOL WINAPI onConsoleControl(DWORD control_type) {
  (void)control_type;
  return FALSE;
}
