// The launcher's last steps without a payload: the child is the program named by
// ONEFILE_TEST_CHILD (left empty when unset) instead of the payload's first file. Everything else
// is the launcher's own code: handler, hand-off, command line, launch, wait and exit code.
#include <windows.h>

#include <stdlib.h>

#include "ChildProcess.h"
#include "Environment.h"
#include "FatalErrors.h"
#include "PayloadExtraction.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int) {
  if (!SetConsoleCtrlHandler(onConsoleControl, TRUE)) fatalError("Error, failed to register signal handler.");
  const WideUnit* child = getEnvironmentValue("ONEFILE_TEST_CHILD");
  if (child != nullptr) copyWideString(ChildExecutablePath, child);
  publishHandOffVariables(__wargv[0]);
  buildChildCommandLine();
  launchChild();
  return static_cast<int>(waitForChild());
}
