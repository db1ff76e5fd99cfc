#include "BuildUse.h"

#include "ExtractionLock.h"

namespace {
// Never closed: the system drops it when the process ends, however it ends.
HANDLE build_use_sign = nullptr;
}  // namespace

void markBuildInUse(const WideUnit* directory) {
  WideBuffer<64> name;
  buildUseName(directory, name);
  build_use_sign = CreateEventW(nullptr, TRUE, FALSE, name);
}

bool buildInUse(const WideUnit* directory) {
  WideBuffer<64> name;
  buildUseName(directory, name);
  HANDLE sign = OpenEventW(SYNCHRONIZE, FALSE, name);
  if (sign == nullptr) return false;
  CloseHandle(sign);
  return true;
}

HANDLE tryLockExtraction(const WideUnit* directory) {
  WideBuffer<64> name;
  extractionLockName(directory, name);
  HANDLE lock = CreateMutexW(nullptr, FALSE, name);
  if (lock == nullptr) return nullptr;
  const DWORD result = WaitForSingleObject(lock, 0);
  if (result == WAIT_OBJECT_0 || result == WAIT_ABANDONED) return lock;
  CloseHandle(lock);
  return nullptr;
}

void releaseExtraction(HANDLE lock) {
  ReleaseMutex(lock);
  CloseHandle(lock);
}
