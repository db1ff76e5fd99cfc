// Fuzz target: any bytes as a whole Linux launcher file, read as the launcher reads itself: the
// trailer at its end, then the settings, the payload and the executable bits it points to. No
// trailer may be taken whose regions reach outside the file, overlap or come out of order, and what
// is taken must write back as the same bytes. The payload is walked as a start walks it (groups,
// names, every file's executable bit), through exact copies of the regions, so that a read past
// any of them is a sanitizer report. Anything else, a crash or a sanitizer report, is a finding.
#include <stdint.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "AppendedTrailer.h"
#include "LauncherSettings.h"
#include "PayloadGroup.h"
#include "PayloadHeader.h"
#include "PayloadStream.h"
#include "SeenNames.h"

namespace {

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "appended-launcher: %s\n", what);
  abort();
}

constexpr uint64_t kMaxDecodedBytes = 256u << 10;

LauncherSettings Settings;
PayloadGroup Group;
SeenNames Seen;
uint8_t Piece[32768];

PayloadStream& stream() {
  static PayloadStream opened = [] {
    PayloadStream created{};
    require(openPayloadStream(created, nullptr, 0) == PayloadStatus::ok, "no memory for the stream");
    return created;
  }();
  return opened;
}

bool readData(uint64_t size, uint64_t& budget) {
  if (size > budget) return false;
  budget -= size;
  while (size > 0) {
    const uint64_t piece = size < sizeof Piece ? size : sizeof Piece;
    if (readPayload(stream(), Piece, piece) != PayloadStatus::ok) return false;
    size -= piece;
  }
  return true;
}

// As a start walks it: each group's names, the executable bit of each of its files, then its data
// read, or stepped over for every third group as if its files were intact.
void walkPayload(const std::vector<uint8_t>& payload, const std::vector<uint8_t>& modes) {
  if (!hasPayloadHeader(payload.data(), payload.size())) return;
  const uint8_t* const compressed = payload.data() + kPayloadHeaderLength;
  const uint64_t length = payload.size() - kPayloadHeaderLength;
  const GroupLayout layout = groupLayoutOf(compressed, length);
  const uint64_t frames = firstFrameOffset(layout);
  restartPayloadStream(stream(), compressed + frames, length - frames);
  forgetNames(Seen);
  uint64_t budget = kMaxDecodedBytes;
  uint64_t entries = 0;
  for (uint64_t groups = 0; readPayloadGroup(stream(), layout, Group) == GroupStatus::group; ++groups) {
    if (rememberGroupNames(Seen, Group) != NameCheck::fresh) return;
    GroupRecord record;
    uint32_t offset = 0;
    while (nextGroupRecord(Group, offset, record)) {
      isExecutableEntry(modes.empty() ? nullptr : modes.data(), modes.size(), entries++);
    }
    if (groups % 3 == 2) {
      switch (skipGroupData(stream(), layout, Group)) {
        case GroupSkip::skipped: continue;
        case GroupSkip::damaged: return;
        case GroupSkip::mustRead: break;
      }
    }
    if (!readData(Group.data_size, budget)) return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kAppendedTrailerLength) {
    AppendedTrailer ignored{};
    require(readAppendedTrailer(data, size, ignored) == TrailerStatus::missing, "a trailer in a file too short for one");
    return 0;
  }
  const uint8_t* const last = data + size - kAppendedTrailerLength;
  AppendedTrailer trailer{};
  if (readAppendedTrailer(last, size, trailer) != TrailerStatus::valid) return 0;
  const uint64_t limit = size - kAppendedTrailerLength;
  require(trailer.settings.offset > 0, "settings over the stub");
  require(trailer.settings.offset + trailer.settings.length <= trailer.payload.offset, "settings overlap the payload");
  require(trailer.payload.offset + trailer.payload.length <= trailer.modes.offset, "the payload overlaps the modes");
  require(trailer.modes.offset + trailer.modes.length <= limit, "the modes reach into the trailer");
  uint8_t written[kAppendedTrailerLength];
  writeAppendedTrailer(trailer, written);
  require(memcmp(written, last, sizeof written) == 0, "a trailer read writes back as other bytes");

  auto region = [&](const AppendedRegion& place) {
    return std::vector<uint8_t>(data + place.offset, data + place.offset + place.length);
  };
  const std::vector<uint8_t> settings = region(trailer.settings);
  readLauncherSettings(settings.data(), settings.size(), Settings, PathStyle::linux);
  walkPayload(region(trailer.payload), region(trailer.modes));
  return 0;
}
