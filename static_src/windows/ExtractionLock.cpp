#include "ExtractionLock.h"

#include <windows.h>

#include "OnefileSplashScreen.h"

namespace {
HANDLE extraction_mutex = nullptr;
}

void lockExtractionDirectory(const WideUnit* directory) {
  WideBuffer<64> name;
  extractionLockName(directory, name);
  extraction_mutex = CreateMutexW(nullptr, FALSE, name);
  if (extraction_mutex == nullptr) return;
  // WAIT_ABANDONED: the owner was killed mid-extraction; the mutex is ours now.
  // Another start may extract for a long while; the splash meanwhile must not look hung.
  const DWORD result = waitKeepingSplashResponsive(extraction_mutex, INFINITE);
  if (result != WAIT_OBJECT_0 && result != WAIT_ABANDONED) {
    CloseHandle(extraction_mutex);
    extraction_mutex = nullptr;
  }
}

void unlockExtractionDirectory() {
  if (extraction_mutex == nullptr) return;
  ReleaseMutex(extraction_mutex);
  CloseHandle(extraction_mutex);
  extraction_mutex = nullptr;
}
