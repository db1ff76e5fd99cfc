// The trace launcher's notes (StartTrace.h): a fixed table of steps, written once at the end, so
// that taking a note costs one call of the system clock and nothing else.
#include "StartTrace.h"

#include <windows.h>

#include <stdio.h>

namespace {

struct Note {
  const char* step;
  FILETIME at;
};

Note notes[64];
unsigned note_count = 0;

unsigned long long ticksOf(const FILETIME& time) {
  return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

void traceStartStep(const char* step) {
  if (note_count == sizeof notes / sizeof notes[0]) return;
  notes[note_count].step = step;
  GetSystemTimePreciseAsFileTime(&notes[note_count].at);
  ++note_count;
}

// One block per start: "created" (the process's creation time as the system keeps it), then each
// step, each with its time in 100 ns units since 1601, and an empty line.
void writeStartTrace() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetEnvironmentVariableW(L"ONEFILE_START_TRACE_FILE", path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  FILETIME created = {};
  FILETIME unused[3];
  GetProcessTimes(GetCurrentProcess(), &created, &unused[0], &unused[1], &unused[2]);
  char text[64 * 96];
  int used = snprintf(text, sizeof text, "created\t%llu\n", ticksOf(created));
  for (unsigned i = 0; i < note_count && used > 0 && used < static_cast<int>(sizeof text) - 96; ++i)
    used += snprintf(text + used, sizeof text - used, "%s\t%llu\n", notes[i].step, ticksOf(notes[i].at));
  if (used <= 0 || used >= static_cast<int>(sizeof text) - 1) return;
  text[used++] = '\n';
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(used), &written, nullptr);
  CloseHandle(file);
}
