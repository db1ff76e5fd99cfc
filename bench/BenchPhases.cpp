// bench-phases: where a warm start's time goes. Starts the trace launcher (a launcher built with
// the notes of StartTrace.h) again and again with its cache intact, and the application alone as
// often, and prints the median time of each step since CreateProcessW was called. With
// --shell-child, the application that also makes the launcher's two shell32 calls takes its turn
// too, for what importing shell32 costs.
//
//   bench-phases --launcher EXE --child EXE --runs N [--arguments TEXT] [--shell-child EXE]
//
// Both clocks are the system's precise time (GetSystemTimePreciseAsFileTime), which every process
// reads alike; "created" is the creation time the system keeps for the launcher's process.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "LauncherFactory.h"
#include "ProcessRunner.h"

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "bench-phases: %s\n", message.c_str());
  std::exit(1);
}

unsigned long long preciseNow() {
  FILETIME now;
  GetSystemTimePreciseAsFileTime(&now);
  return (static_cast<unsigned long long>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

// From before CreateProcessW to the end of the wait, in 100 ns units of the system's time.
struct Span {
  unsigned long long begin, end;
};

Span startOnce(const std::wstring& program, const std::wstring& arguments) {
  std::wstring command_line = quoteArgument(program) + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  Span span;
  span.begin = preciseNow();
  if (!CreateProcessW(program.c_str(), &command_line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process))
    fail("cannot start " + narrow(program) + ": error " + std::to_string(GetLastError()));
  WaitForSingleObject(process.hProcess, INFINITE);
  span.end = preciseNow();
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return span;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

double milliseconds(unsigned long long from, unsigned long long to) {
  return static_cast<double>(static_cast<long long>(to - from)) / 10000.0;
}

// The trace file's last block: its steps in order, each with its time.
std::vector<std::pair<std::string, unsigned long long>> lastBlock(const std::wstring& path) {
  const std::string text = readFileBytes(path);
  if (text.empty()) fail("the trace launcher wrote no trace");
  const size_t end = text.rfind("\n\n");
  if (end == std::string::npos) fail("the trace is incomplete");
  const size_t begin = text.rfind("\n\n", end - 1);
  std::vector<std::pair<std::string, unsigned long long>> steps;
  size_t at = begin == std::string::npos ? 0 : begin + 2;
  while (at < end + 1) {
    const size_t line_end = text.find('\n', at);
    const std::string line = text.substr(at, line_end - at);
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) fail("a line of the trace has no time: " + line);
    steps.emplace_back(line.substr(0, tab), std::stoull(line.substr(tab + 1)));
    at = line_end + 1;
  }
  return steps;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::map<std::wstring, std::wstring> options;
  for (int i = 1; i + 1 < argc; i += 2) options[argv[i]] = argv[i + 1];
  const std::wstring launcher = options[L"--launcher"];
  const std::wstring child = options[L"--child"];
  const int runs = std::max(1, _wtoi(options[L"--runs"].c_str()));
  if (launcher.empty() || child.empty()) {
    std::fputs("usage: bench-phases --launcher EXE --child EXE --runs N [--arguments TEXT] [--shell-child EXE]\n",
               stderr);
    return 64;
  }
  const std::wstring arguments = options[L"--arguments"];
  wchar_t temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
  if (length == 0 || length > MAX_PATH) fail("no temporary folder");
  const std::wstring trace = std::wstring(temporary, length) + L"onefile-start-trace.txt";
  DeleteFileW(trace.c_str());
  SetEnvironmentVariableW(L"ONEFILE_START_TRACE_FILE", trace.c_str());

  // The first start of each makes the cache and loads the programs into the system's file cache.
  startOnce(launcher, arguments);
  startOnce(child, arguments);
  const std::wstring shell_child = options[L"--shell-child"];
  if (!shell_child.empty()) startOnce(shell_child, arguments);
  std::vector<double> with_shell;
  std::vector<std::string> order;
  std::map<std::string, std::vector<double>> since_begin;
  std::vector<double> direct;
  for (int run = 0; run < runs; ++run) {
    const Span span = startOnce(launcher, arguments);
    std::vector<std::pair<std::string, unsigned long long>> steps = lastBlock(trace);
    steps.emplace_back("launcher ended (wait returned)", span.end);
    for (const auto& step : steps) {
      if (since_begin.find(step.first) == since_begin.end()) order.push_back(step.first);
      since_begin[step.first].push_back(milliseconds(span.begin, step.second));
    }
    const Span alone = startOnce(child, arguments);
    direct.push_back(milliseconds(alone.begin, alone.end));
    if (!shell_child.empty()) {
      const Span shell = startOnce(shell_child, arguments);
      with_shell.push_back(milliseconds(shell.begin, shell.end));
    }
  }

  std::printf("| step of a warm start | since CreateProcessW | since the step before |\n|---|---:|---:|\n");
  double before = 0;
  for (const std::string& step : order) {
    const double at = median(since_begin[step]);
    std::printf("| %s | %.1f ms | %.1f ms |\n", step.c_str(), at, at - before);
    before = at;
  }
  std::printf("\nThe application started alone: %.1f ms (median of %d starts, alternating with the launcher's).\n",
              median(direct), runs);
  if (!with_shell.empty())
    std::printf("The same application importing shell32 for the folder and the command line: %.1f ms.\n",
                median(with_shell));
  return 0;
}
