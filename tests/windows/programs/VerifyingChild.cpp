// An application that checks its own files: it reads "manifest.txt" beside itself, one line per
// file ("<crc32 hex> <size> <name relative to its directory>"), and ends with 0 only when every
// file is there with that size and CRC-32. Exit codes: 0 all intact, 10 no manifest, 11 a file
// missing or of another size, 12 a CRC mismatch. ONEFILE_TEST_CHILD_SLEEP_MS keeps it running.
// ONEFILE_TEST_CHILD_HOLD=PATH holds it after the check: it creates PATH.running, then waits until
// PATH exists (at most five minutes), so that a test knows it runs and decides when it ends.
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Crc32.h"

namespace {

bool checksumOf(const wchar_t* path, unsigned long long expected_size, uint32_t* crc) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  GetFileSizeEx(file, &size);
  bool ok = static_cast<unsigned long long>(size.QuadPart) == expected_size;
  *crc = 0;
  static char chunk[1 << 16];
  DWORD got = 0;
  while (ok && ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) *crc = crc32Update(*crc, chunk, got);
  CloseHandle(file);
  return ok;
}

}  // namespace

int wmain() {
  wchar_t directory[4096];
  GetModuleFileNameW(nullptr, directory, 4096);
  *wcsrchr(directory, L'\\') = 0;
  wchar_t manifest_path[4200];
  swprintf(manifest_path, 4200, L"%ls\\manifest.txt", directory);
  FILE* manifest = _wfopen(manifest_path, L"rb");
  if (manifest == nullptr) return 10;
  int status = 0;
  char line[2048];
  while (status == 0 && fgets(line, sizeof line, manifest) != nullptr) {
    unsigned int expected_crc = 0;
    unsigned long long size = 0;
    char name[1800];
    if (sscanf(line, "%x %llu %1799[^\r\n]", &expected_crc, &size, name) != 3) continue;
    wchar_t path[4200];
    swprintf(path, 4200, L"%ls\\%hs", directory, name);
    uint32_t crc = 0;
    if (!checksumOf(path, size, &crc)) status = 11;
    else if (crc != expected_crc) status = 12;
  }
  fclose(manifest);
  wchar_t sleep_ms[32];
  if (GetEnvironmentVariableW(L"ONEFILE_TEST_CHILD_SLEEP_MS", sleep_ms, 32) > 0) Sleep(wcstoul(sleep_ms, nullptr, 10));
  wchar_t hold[4096];
  const DWORD hold_length = GetEnvironmentVariableW(L"ONEFILE_TEST_CHILD_HOLD", hold, 4000);
  if (hold_length > 0 && hold_length < 4000) {
    wchar_t running[4100];
    swprintf(running, 4100, L"%ls.running", hold);
    CloseHandle(CreateFileW(running, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    for (int waited = 0; waited < 300000 && GetFileAttributesW(hold) == INVALID_FILE_ATTRIBUTES; waited += 10) Sleep(10);
  }
  return status;
}
