// Calls one of the launcher's reporting operations as the launcher would, so that a test can see
// exactly the bytes and the exit code a caller of the launcher gets:
//   report-probe fatal MESSAGE | os CODE MESSAGE | template TEMPLATE | open PATH | stop
//   report-probe box MILLISECONDS LINE: the report box of standard error alone, with its time-out;
//                                       exit code 1 when it was shown, 0 when not
#include <windows.h>

#include <stdlib.h>
#include <wchar.h>

#include "FatalErrors.h"
#include "ReportBox.h"

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
  if (argc >= 3 && wcscmp(argv[1], L"open") == 0) failOpenForWriting(argv[2]);
  if (argc >= 2 && wcscmp(argv[1], L"stop") == 0) stopWithoutReport();
  if (argc >= 4 && wcscmp(argv[1], L"box") == 0) {
    return showReportIfUnseen(STD_ERROR_HANDLE, argv[3], static_cast<DWORD>(wcstoul(argv[2], nullptr, 0))) ? 1 : 0;
  }
  return 64;
}
