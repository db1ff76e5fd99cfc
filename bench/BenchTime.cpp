// bench-time: times one start of a program for bench/linux.
//
//   bench-time EXPECTED_CODE LOG PROGRAM [ARGUMENTS...]
//
// Starts PROGRAM with the arguments and this process's environment, its standard output and error
// appended to LOG and no standard input, waits for it and prints the milliseconds from before the
// fork to the end of the wait. A start that ends with another exit code than EXPECTED_CODE, or by
// a signal, is no sample: it is reported and the exit code is 1, so that a broken start cannot
// pass for a fast one. The clock is CLOCK_MONOTONIC; the fork of this small program is all the
// harness adds, the same for every contender.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

double nowMilliseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// In the child: standard input from /dev/null, output and error to the log, then the program.
[[noreturn]] void becomeProgram(const char* log, char** argv) {
  const int input = open("/dev/null", O_RDONLY);
  const int output = open(log, O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (input < 0 || output < 0) {
    std::fprintf(stderr, "bench-time: cannot open %s: %s\n", input < 0 ? "/dev/null" : log, std::strerror(errno));
    _exit(127);
  }
  dup2(input, 0);
  dup2(output, 1);
  dup2(output, 2);
  close(input);
  close(output);
  execvp(argv[0], argv);
  std::fprintf(stderr, "bench-time: cannot start %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fputs("usage: bench-time EXPECTED_CODE LOG PROGRAM [ARGUMENTS...]\n", stderr);
    return 64;
  }
  char* end = nullptr;
  const long expected = std::strtol(argv[1], &end, 10);
  if (*argv[1] == '\0' || *end != '\0' || expected < 0 || expected > 255) {
    std::fprintf(stderr, "bench-time: the expected exit code must be 0 to 255, not '%s'\n", argv[1]);
    return 64;
  }
  const char* log = argv[2];

  const double begin = nowMilliseconds();
  const pid_t child = fork();
  if (child < 0) {
    std::fprintf(stderr, "bench-time: cannot fork: %s\n", std::strerror(errno));
    return 1;
  }
  if (child == 0) becomeProgram(log, argv + 3);
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) {
      std::fprintf(stderr, "bench-time: cannot wait for %s: %s\n", argv[3], std::strerror(errno));
      return 1;
    }
  }
  const double elapsed = nowMilliseconds() - begin;

  if (WIFSIGNALED(status)) {
    std::fprintf(stderr, "bench-time: %s was ended by signal %d (its output is in %s)\n", argv[3],
                 WTERMSIG(status), log);
    return 1;
  }
  if (WEXITSTATUS(status) != expected) {
    std::fprintf(stderr, "bench-time: %s ended with exit code %d instead of %ld (its output is in %s)\n", argv[3],
                 WEXITSTATUS(status), expected, log);
    return 1;
  }
  std::printf("%.3f\n", elapsed);
  return 0;
}
