#include "PayloadEntry.h"

#include "FileNameRules.h"

namespace {

bool isSeparator(WideUnit unit) { return unit == '\\' || unit == '/'; }

uint64_t littleEndian(const uint8_t* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i > 0; --i) value = (value << 8) | bytes[i - 1];
  return value;
}

}  // namespace

EntryNameStatus readEntryName(PayloadStream& stream, EntryNameBuffer& name) {
  for (size_t position = 0; position < kEntryNameCapacity; ++position) {
    uint8_t bytes[2];
    if (readPayload(stream, bytes, 2) != PayloadStatus::ok) return EntryNameStatus::decodeError;
    const WideUnit unit = static_cast<WideUnit>(bytes[0] | (bytes[1] << 8));
    name[position] = unit;
    if (unit == 0) {
      if (position == 0) return EntryNameStatus::endMarker;
      return isSafeEntryName(name) ? EntryNameStatus::name : EntryNameStatus::unsafe;
    }
  }
  name[kEntryNameCapacity - 1] = 0;
  return EntryNameStatus::tooLong;
}

PayloadStatus readEntrySizeAndChecksum(PayloadStream& stream, uint64_t& size, uint32_t& checksum) {
  uint8_t bytes[12];
  const PayloadStatus status = readPayload(stream, bytes, sizeof bytes);
  if (status != PayloadStatus::ok) return status;
  size = littleEndian(bytes, 8);
  checksum = static_cast<uint32_t>(littleEndian(bytes + 8, 4));
  return PayloadStatus::ok;
}

bool isSafeEntryName(const WideUnit* name) {
  const WideUnit* component = name;
  for (const WideUnit* unit = name;; ++unit) {
    if (*unit == 0 || isSeparator(*unit)) {
      if (fileNameProblem(component, static_cast<size_t>(unit - component), nullptr) != FileNameProblem::none) return false;
      if (*unit == 0) return true;
      component = unit + 1;
    }
  }
}
