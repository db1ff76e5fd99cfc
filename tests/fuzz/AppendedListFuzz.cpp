// Fuzz target: arbitrary bytes as a Linux launcher that `onefile-pack list`, `verify` and
// `extract` read: the trailer at its end, the regions it names, the settings, the payload records
// and the mode bit of each. Every fault must be a PackError with a message; any other exception,
// a crash or a sanitizer report (a region read past the input, say) is a finding.
#include <stdint.h>
#include <stddef.h>

#include <memory>
#include <vector>

#include "AppendedParts.h"
#include "LauncherSettings.h"
#include "PackError.h"
#include "PayloadHeader.h"
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
    const AppendedParts parts = appendedPartsOf(image, "'input'");
    auto settings = std::make_unique<LauncherSettings>();
    readLauncherSettings(parts.settings.data(), parts.settings.size(), *settings);
    if (!hasPayloadHeader(parts.payload.data(), parts.payload.size())) return 0;
    PayloadReader reader(parts.payload);
    uint64_t decoded = 0;
    PayloadRecord record;
    for (int records = 0; records < kMaxRecords; ++records) {
      if (!reader.next(record)) {
        reader.requireFrameEnd();
        break;
      }
      isMarkedExecutable(parts, static_cast<uint64_t>(records));
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
