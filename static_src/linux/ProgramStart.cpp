#include "ProgramStart.h"

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include "ExitCodes.h"
#include "FatalErrors.h"
#include "OnefilePlatform.h"
#include "PayloadExtraction.h"

namespace {

char LauncherPath[4097];
char LauncherDirectory[4097];
// For a launcher started with no argument zero at all.
char* OnlyArgumentZero[2] = {nullptr, nullptr};

// The full path the kernel started, read once. A path that does not fit would name another file:
// the launcher stops, as on Windows when its path cannot be had.
const char* launcherPath() {
  if (LauncherPath[0] != 0) return LauncherPath;
  const ssize_t length = readlink("/proc/self/exe", LauncherPath, sizeof LauncherPath - 1);
  if (length <= 0 || static_cast<size_t>(length) >= sizeof LauncherPath - 1) stopWithoutReport();
  LauncherPath[length] = 0;
  return LauncherPath;
}

}  // namespace

// Cut at the last "/"; a launcher in the root folder gives "/".
void publishHandOffVariables(const char* argument_zero) {
  memcpy(LauncherDirectory, launcherPath(), strlen(launcherPath()) + 1);
  char* const slash = strrchr(LauncherDirectory, '/');
  if (slash != nullptr) slash[slash == LauncherDirectory ? 1 : 0] = 0;
  setenv("TOLVAR_ONEFILE_DIRECTORY", LauncherDirectory, 1);
  setenv("TOLVAR_ORIGINAL_ARGV0", argument_zero, 1);
}

void startProgram(int argument_count, char** arguments) {
  char** const program_arguments = argument_count > 0 ? arguments : OnlyArgumentZero;
  program_arguments[0] = const_cast<char*>(launcherPath());
  execve(ChildExecutableBytes, program_arguments, environ);
  reportOsError("Error, couldn't launch child", static_cast<uint32_t>(errno));
  exit(kFatalExitCode);
}
