// Calls one of the launcher's reporting operations as the launcher would, so that a test can see
// exactly the bytes and the exit code a caller of the launcher gets:
//   report-probe fatal MESSAGE | os CODE MESSAGE | template TEMPLATE | stop
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "FatalErrors.h"

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && wcscmp(argv[1], L"fatal") == 0) {
    char message[512];
    wcstombs(message, argv[2], sizeof message);
    fatalError(message);
  }
  if (argc >= 4 && wcscmp(argv[1], L"os") == 0) {
    char message[512];
    wcstombs(message, argv[3], sizeof message);
    reportOsError(message, static_cast<uint32_t>(wcstoul(argv[2], nullptr, 0)));
    exit(kFatalExitCode);
  }
  if (argc >= 3 && wcscmp(argv[1], L"template") == 0) failTemplate(argv[2]);
  if (argc >= 2 && wcscmp(argv[1], L"stop") == 0) stopWithoutReport();
  return 64;
}
