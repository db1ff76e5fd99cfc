#include "PayloadExtraction.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include "Crc32.h"
#include "DirectoryCreation.h"
#include "ExitCodes.h"
#include "ExtractionLock.h"
#include "FatalErrors.h"
#include "PayloadEntry.h"
#include "PayloadStream.h"

WideBuffer<4096> TargetDirectory;
WideBuffer<4096> EntryPath;
WideBuffer<1024> ChildExecutablePath;

namespace {

PayloadStream payload_stream;
EntryNameBuffer EntryName;
constexpr uint32_t kTransferSize = 32768;
uint8_t TransferBuffer[kTransferSize];

[[noreturn]] void failDecode() { fatalError("Error, couldn't decode attached data."); }

void readPayloadOrFail(void* destination, uint64_t count) {
  if (readPayload(payload_stream, destination, count) != PayloadStatus::ok) failDecode();
}

void skipData(uint64_t size) {
  while (size > 0) {
    const uint32_t piece = size < kTransferSize ? static_cast<uint32_t>(size) : kTransferSize;
    readPayloadOrFail(TransferBuffer, piece);
    size -= piece;
  }
}

// Writes the entry's data to EntryPath, checking what was written against the stored checksum:
// the stream itself carries no check, and a damaged block can decode into wrong bytes without an
// error. A file that fails the check stays as written; the next start finds it wrong and rewrites it.
void writeData(uint64_t size, uint32_t stored_checksum) {
  ensureParentDirectories(EntryPath);
  HANDLE file = CreateFileW(EntryPath, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "Error, failed to open '%ls' for writing.\n", EntryPath);
    exit(kFatalExitCode);
  }
  uint32_t crc = 0;
  while (size > 0) {
    const uint32_t piece = size < kTransferSize ? static_cast<uint32_t>(size) : kTransferSize;
    readPayloadOrFail(TransferBuffer, piece);
    crc = crc32Update(crc, TransferBuffer, piece);
    DWORD written = 0;
    if (!WriteFile(file, TransferBuffer, piece, &written, nullptr)) {
      reportOsError("Error, couldn't unpack file to target path.", GetLastError());
      exit(kFatalExitCode);
    }
    size -= piece;
  }
  CloseHandle(file);
  if (storedChecksum(crc) != stored_checksum) failDecode();
}

}  // namespace

void openPayloadStream(const uint8_t* compressed, uint64_t length) {
  if (openPayloadStream(payload_stream, compressed, length) != PayloadStatus::ok)
    fatalError("Error, couldn't allocate memory.");
}

namespace {

// Opens an extracted file for the checksum test: reading, sharing everything, so that a running
// copy of the application never stands in the way.
HANDLE openForChecksum(const WideUnit* path) {
  return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The stored-checksum form of the CRC-32 of the first `length` bytes of an open file, through a
// read-only mapping; 0 when it cannot be mapped (an empty file cannot be).
uint32_t mappedChecksum(HANDLE file, uint64_t length) {
  HANDLE mapping = CreateFileMappingW(file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return 0;
  const void* view = MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0);
  if (view == nullptr) {
    CloseHandle(mapping);
    return 0;
  }
  const uint32_t checksum = storedChecksum(crc32Update(0, view, length));
  UnmapViewOfFile(view);
  CloseHandle(mapping);
  return checksum;
}

// Whether the file on disk is the entry's: the same length (a file of another length cannot be,
// and needs no checksum to tell) and the stored checksum. The length is the full 64-bit one: with
// only its low 32 bits a file of exactly 4 GiB would checksum as no bytes.
bool isIntact(const WideUnit* path, uint64_t size, uint32_t stored_checksum) {
  HANDLE file = openForChecksum(path);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length;
  const bool intact = GetFileSizeEx(file, &length) && static_cast<uint64_t>(length.QuadPart) == size &&
                      mappedChecksum(file, size) == stored_checksum;
  CloseHandle(file);
  return intact;
}

}  // namespace

void extractPayload() {
  lockExtractionDirectory(TargetDirectory);
  for (;;) {
    switch (readEntryName(payload_stream, EntryName)) {
      case EntryNameStatus::name: break;
      case EntryNameStatus::endMarker:
        closePayloadStream(payload_stream);
        unlockExtractionDirectory();
        return;
      case EntryNameStatus::decodeError:
      case EntryNameStatus::tooLong:
      case EntryNameStatus::unsafe:
        failDecode();
    }
    copyWideString(EntryPath, TargetDirectory);
    appendWideChar(EntryPath, L'\\');
    appendWideString(EntryPath, EntryName);
    if (ChildExecutablePath[0] == 0) copyWideString(ChildExecutablePath, EntryPath);

    uint64_t size = 0;
    uint32_t stored_checksum = 0;
    if (readEntrySizeAndChecksum(payload_stream, size, stored_checksum) != PayloadStatus::ok) failDecode();
    if (isIntact(EntryPath, size, stored_checksum)) {
      if (!skipSizedFrame(payload_stream, size)) skipData(size);
    } else {
      writeData(size, stored_checksum);
    }
  }
}
