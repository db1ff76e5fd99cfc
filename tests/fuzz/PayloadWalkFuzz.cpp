// Fuzz target: a whole payload resource, walked as the launcher walks it (header, names, sizes,
// checksums, data in 32 KiB pieces) through the shared stream and record readers.
#include <stdint.h>
#include <stddef.h>

#include "Crc32.h"
#include "PayloadEntry.h"
#include "PayloadHeader.h"
#include "PayloadStream.h"

namespace {
// Bounds the work per input: a hostile size field can promise far more data than any test input
// could decode in reasonable time.
constexpr uint64_t kMaxDecodedBytes = 64ull << 20;
uint8_t TransferBuffer[32768];
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!hasPayloadHeader(data, size)) return 0;
  PayloadStream stream;
  if (openPayloadStream(stream, data + kPayloadHeaderLength, size - kPayloadHeaderLength) == PayloadStatus::ok) {
    uint64_t decoded = 0;
    for (;;) {
      EntryNameBuffer name;
      if (readEntryName(stream, name) != EntryNameStatus::name) break;
      uint64_t entry_size = 0;
      uint32_t checksum = 0;
      if (readEntrySizeAndChecksum(stream, entry_size, checksum) != PayloadStatus::ok) break;
      uint32_t crc = 0;
      bool failed = false;
      while (entry_size > 0 && decoded < kMaxDecodedBytes) {
        const uint32_t piece = entry_size < sizeof TransferBuffer ? static_cast<uint32_t>(entry_size) : sizeof TransferBuffer;
        if (readPayload(stream, TransferBuffer, piece) != PayloadStatus::ok) {
          failed = true;
          break;
        }
        crc = crc32Update(crc, TransferBuffer, piece);
        entry_size -= piece;
        decoded += piece;
      }
      if (failed || entry_size > 0) break;
      (void)storedChecksum(crc);
    }
  }
  closePayloadStream(stream);
  return 0;
}
