#include "ExtractionWriter.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "Crc32.h"
#include "ExitCodes.h"
#include "FatalErrors.h"
#include "WideString.h"

namespace {

// Four pieces of 512 KiB: measured, larger pieces gained nothing and fewer buffers left the
// writer waiting for the decoder.
constexpr uint32_t kPieceSize = 512 * 1024;
constexpr uint32_t kSlotCount = 4;
// The writer calls nothing deep: the system's file calls and the CRC.
constexpr SIZE_T kWriterStackSize = SIZE_T{64} * 1024;

struct Slot {
  uint8_t bytes[kPieceSize];
  uint32_t length;
  bool opens;   // the first piece of a file: `path` holds its path
  bool closes;  // the last piece of a file: close it and compare with `stored_checksum`
  bool stops;   // no data: the thread ends
  uint32_t stored_checksum;
  WideBuffer<4096> path;
};

enum class Failure : uint8_t { none, open, write, checksum };

Slot Slots[kSlotCount];
WideBuffer<4096> FailedPath;

// Guarded by `ring_lock`: the slots handed over and not yet written, and the next slot to hand
// over and to write.
SRWLOCK ring_lock = SRWLOCK_INIT;
CONDITION_VARIABLE slot_filled = CONDITION_VARIABLE_INIT;
CONDITION_VARIABLE slot_freed = CONDITION_VARIABLE_INIT;
uint32_t pending = 0;
uint32_t next_to_fill = 0;
uint32_t next_to_write = 0;
HANDLE writer_thread = nullptr;

// Written by the writer only; read by the caller after the ring lock has shown the slot done.
Failure failure = Failure::none;
DWORD failure_code = 0;
HANDLE current_file = INVALID_HANDLE_VALUE;
uint32_t current_crc = 0;

void writeSlot(const Slot& slot) {
  if (failure != Failure::none) return;
  if (slot.opens) {
    current_file = CreateFileW(slot.path, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (current_file == INVALID_HANDLE_VALUE) {
      copyWideString(FailedPath, slot.path);
      failure = Failure::open;
      return;
    }
    current_crc = 0;
  }
  if (slot.length > 0) {
    current_crc = crc32Update(current_crc, slot.bytes, slot.length);
    DWORD written = 0;
    if (!WriteFile(current_file, slot.bytes, slot.length, &written, nullptr)) {
      failure_code = GetLastError();
      failure = Failure::write;
      return;
    }
  }
  if (slot.closes) {
    CloseHandle(current_file);
    current_file = INVALID_HANDLE_VALUE;
    // The stream carries no check of its own: a damaged block can decode into wrong bytes.
    if (storedChecksum(current_crc) != slot.stored_checksum) failure = Failure::checksum;
  }
}

DWORD WINAPI writerMain(void*) {
  for (;;) {
    AcquireSRWLockExclusive(&ring_lock);
    while (pending == 0) SleepConditionVariableSRW(&slot_filled, &ring_lock, INFINITE, 0);
    const Slot& slot = Slots[next_to_write];
    ReleaseSRWLockExclusive(&ring_lock);
    const bool stops = slot.stops;
    if (!stops) writeSlot(slot);
    AcquireSRWLockExclusive(&ring_lock);
    next_to_write = (next_to_write + 1) % kSlotCount;
    pending -= 1;
    ReleaseSRWLockExclusive(&ring_lock);
    WakeConditionVariable(&slot_freed);
    if (stops) return 0;
  }
}

[[noreturn]] void reportFailure() {
  switch (failure) {
    case Failure::open:
      fprintf(stderr, "Error, failed to open '%ls' for writing.\n", FailedPath);
      exit(kFatalExitCode);
    case Failure::write:
      reportOsError("Error, couldn't unpack file to target path.", failure_code);
      exit(kFatalExitCode);
    case Failure::checksum:
    case Failure::none:
      break;
  }
  fatalError("Error, couldn't decode attached data.");
}

// Waits until at most `most` slots are pending.
void waitForPending(uint32_t most) {
  AcquireSRWLockExclusive(&ring_lock);
  while (pending > most) SleepConditionVariableSRW(&slot_freed, &ring_lock, INFINITE, 0);
  ReleaseSRWLockExclusive(&ring_lock);
}

// A free slot for the caller to fill; reports an earlier failure instead.
Slot& claimSlot() {
  if (writer_thread != nullptr) waitForPending(kSlotCount - 1);
  if (failure != Failure::none) drainExtractionWriter();
  Slot& slot = Slots[next_to_fill];
  slot.length = 0;
  slot.opens = false;
  slot.closes = false;
  slot.stops = false;
  return slot;
}

void handOver(const Slot& slot) {
  if (writer_thread == nullptr) {
    writeSlot(slot);
    return;
  }
  AcquireSRWLockExclusive(&ring_lock);
  next_to_fill = (next_to_fill + 1) % kSlotCount;
  pending += 1;
  ReleaseSRWLockExclusive(&ring_lock);
  WakeConditionVariable(&slot_filled);
}

}  // namespace

void startExtractionWriter() {
  // On one processor a second thread only adds hand-overs: measured pinned under Wine, the cold
  // start of the bench's medium tree took 13 % longer with it.
  DWORD_PTR process_mask = 0;
  DWORD_PTR system_mask = 0;
  if (!GetProcessAffinityMask(GetCurrentProcess(), &process_mask, &system_mask) ||
      (process_mask & (process_mask - 1)) == 0)
    return;
  writer_thread = CreateThread(nullptr, kWriterStackSize, writerMain, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
}

void writeExtractedFile(const WideUnit* path, uint64_t size, uint32_t stored_checksum, FillPiece fill) {
  bool first = true;
  do {
    Slot& slot = claimSlot();
    slot.length = size < kPieceSize ? static_cast<uint32_t>(size) : kPieceSize;
    if (first) {
      copyWideString(slot.path, path);
      slot.opens = true;
      first = false;
    }
    if (slot.length > 0) fill(slot.bytes, slot.length);
    size -= slot.length;
    slot.closes = size == 0;
    slot.stored_checksum = stored_checksum;
    handOver(slot);
  } while (size > 0);
}

void drainExtractionWriter() {
  if (writer_thread != nullptr) waitForPending(0);
  if (failure != Failure::none) reportFailure();
}

void finishExtractionWriter() {
  drainExtractionWriter();
  if (writer_thread == nullptr) return;
  Slot& slot = claimSlot();
  slot.stops = true;
  handOver(slot);
  WaitForSingleObject(writer_thread, INFINITE);
  CloseHandle(writer_thread);
  writer_thread = nullptr;
}
