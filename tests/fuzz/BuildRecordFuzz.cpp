// Fuzz target: any bytes as the record beside a build's folder, which a start reads before it
// deletes anything the record names. The first byte sets how many bytes each read of the source
// gives (1 to 256), so that fields cut across reads are met. A record that reads to its end must be
// exactly what the writer makes of what was read (nothing skipped, nothing tolerated), and every
// name in it must be one the payload reader would accept. Anything else, a crash or a sanitizer
// report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "BuildRecord.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "build-record: %s\n", what);
  abort();
}

struct Source {
  const uint8_t* data;
  size_t size;
  size_t at;
  size_t piece;
};

size_t readPiece(void* context, uint8_t* into, size_t capacity) {
  auto* source = static_cast<Source*>(context);
  size_t count = source->size - source->at;
  if (count > source->piece) count = source->piece;
  if (count > capacity) count = capacity;
  memcpy(into, source->data + source->at, count);
  source->at += count;
  return count;
}

bool appendBytes(void* context, const uint8_t* bytes, size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), bytes, bytes + length);
  return true;
}

BuildRecordReader Reader;
BuildRecordIdentity Identity;
EntryNameBuffer Name;
uint8_t WriteBuffer[4096];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Source source = {data + 1, size - 1, 0, static_cast<size_t>(data[0]) + 1};
  if (openBuildRecord(Reader, {readPiece, &source}, Identity) != RecordStatus::ok) return 0;
  std::vector<uint8_t> again;
  BuildRecordWriter writer = {WriteBuffer, sizeof WriteBuffer, 0, 0, false, appendBytes, &again};
  beginBuildRecord(writer, Identity);
  for (;;) {
    uint64_t file_size = 0;
    uint32_t checksum = 0;
    const RecordStatus status = nextRecordedFile(Reader, Name, file_size, checksum);
    if (status == RecordStatus::damaged) return 0;
    if (status == RecordStatus::end) break;
    require(isSafeEntryName(Name), "an accepted name that the payload reader refuses");
    addRecordedFile(writer, Name, file_size, checksum);
  }
  require(finishBuildRecord(writer), "the writer failed");
  require(again.size() == size - 1 && memcmp(again.data(), data + 1, size - 1) == 0,
          "an accepted record that the writer would not write byte for byte");
  return 0;
}
