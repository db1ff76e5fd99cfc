// The demo program for Linux: prints what the launcher handed it (arguments, the hand-off
// variables, its folder), shows that its library and data files came along, and ends with the
// exit code it is asked for, which the launcher's process (the same process, after execve) ends with.
#include <dlfcn.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "QuorvellCore.h"

namespace {

std::string firstLineOf(const std::string& path) {
  std::ifstream file(path);
  std::string line;
  if (!file || !std::getline(file, line)) return "(unreadable)";
  return line;
}

std::string programPath() {
  char path[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<size_t>(length)) : std::string("(unknown)");
}

std::string libraryPath() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&quorvellMotto), &info) == 0 || info.dli_fname == nullptr) return "(unknown)";
  return info.dli_fname;
}

int numberOption(int argc, char** argv, const char* prefix, int fallback) {
  const size_t length = strlen(prefix);
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], prefix, length) == 0) return atoi(argv[i] + length);
  }
  return fallback;
}

}  // namespace

int main(int argc, char** argv) {
  const int exit_code = numberOption(argc, argv, "--exit-code=", 7);
  printf("Quorvell demo: started by the onefile launcher\narguments (%d):\n", argc);
  for (int i = 0; i < argc; ++i) printf("  [%d] %s\n", i, argv[i]);
  printf("environment:\n");
  for (const char* name : {"TOLVAR_ONEFILE_PARENT", "TOLVAR_ONEFILE_START", "TOLVAR_ONEFILE_DIRECTORY",
                           "TOLVAR_ORIGINAL_ARGV0"}) {
    const char* value = getenv(name);
    printf("  %s=%s\n", name, value != nullptr ? value : "(not set)");
  }
  char current[PATH_MAX];
  printf("current directory: %s\n", getcwd(current, sizeof current) != nullptr ? current : "(unknown)");
  const std::string program = programPath();
  const std::string home = program.substr(0, program.rfind('/'));
  printf("program: %s (process %d)\n", program.c_str(), static_cast<int>(getpid()));
  printf("library: %s says \"%s\"\n", libraryPath().c_str(), quorvellMotto());
  for (const char* name : {"data/greeting.txt", "data/levels/level-1.txt", "data/Gr\u00fc\u00dfe.txt"}) {
    printf("  %s: %s\n", name, firstLineOf(home + "/" + name).c_str());
  }
  printf("exiting with code %d\n", exit_code);
  return exit_code;
}
