// The host programs' manner of the stop without report: the same status as the launcher's, so
// the core's tests read alike on both builds.
#include <stdlib.h>

#include "ExitCodes.h"
#include "OnefilePlatform.h"

void stopWithoutReport() { exit(kStopExitCode); }
