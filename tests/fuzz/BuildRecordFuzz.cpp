// Fuzz target: any bytes as the record beside a build's folder, which a start reads before it
// deletes anything the record names. The first byte sets how many bytes each read of the source
// gives (1 to 256), so that fields cut across reads are met. A record that reads to its end must be
// exactly what the writer makes of what was read, states included (nothing skipped, nothing
// tolerated; a layout 1 record is compared with the writer's record without states in that
// layout), and every name in it must be one the payload reader would accept. Anything else, a crash or a sanitizer
// report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "BuildRecord.h"
#include "Crc32.h"

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
  BuildRecordWriter writer = {WriteBuffer, sizeof WriteBuffer, 0, 0, false, appendBytes, &again, false};
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
  require(Reader.layout == kBuildRecordLayoutVersion || !Reader.has_states, "layout 1 with states");
  if (Reader.has_states) {
    require(Reader.states_offset + Reader.files * kRecordedStateLength + 4 == size - 1, "states not where they end");
    endRecordedFilesWithStates(writer);
    for (uint64_t i = 0; i < Reader.files; ++i) {
      uint8_t bytes[kRecordedStateLength];
      memcpy(bytes, data + 1 + Reader.states_offset + i * kRecordedStateLength, sizeof bytes);
      RecordedFileState state;
      decodeRecordedState(bytes, state);
      addRecordedState(writer, state);
    }
  }
  require(finishBuildRecord(writer), "the writer failed");
  if (Reader.layout == kBuildRecordLayoutWithoutStates) {
    // The same record in layout 1: no states marker, its own trailer.
    again[4] = 1;
    again.erase(again.end() - 6, again.end());
    const uint32_t crc = crc32Update(0, again.data(), again.size());
    for (int i = 0; i < 4; ++i) again.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  }
  require(again.size() == size - 1 && memcmp(again.data(), data + 1, size - 1) == 0,
          "an accepted record that the writer would not write byte for byte");
  return 0;
}
