// Fuzz target: arbitrary bytes as the executable that `onefile-pack list` and `verify` read: the
// PE headers, the resource tree, resource 27, the payload records behind it and, after the end
// marker, the end of the frames. Every fault must be a PackError with a message; any other
// exception, a crash or a sanitizer report is a finding.
#include <stdint.h>
#include <stddef.h>

#include <vector>

#include "PackError.h"
#include "PayloadReader.h"

namespace {

// Bounds the work per input: a payload may promise far more data than is worth decoding here.
constexpr uint64_t kMaxDecodedBytes = 256u << 10;
constexpr int kMaxRecords = 4096;

struct DecodeBudgetSpent {};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> image(data, data + size);
  try {
    const ByteView resource = payloadResourceOf(image, "'input'");
    PayloadReader reader(resource);
    uint64_t decoded = 0;
    PayloadRecord record;
    for (int records = 0; records < kMaxRecords; ++records) {
      if (!reader.next(record)) {
        reader.requireFrameEnd();
        break;
      }
      reader.readData([&decoded](const uint8_t*, size_t length) {
        decoded += length;
        if (decoded > kMaxDecodedBytes) throw DecodeBudgetSpent();
      });
    }
  } catch (const PackError&) {
  } catch (const DecodeBudgetSpent&) {
  }
  return 0;
}
