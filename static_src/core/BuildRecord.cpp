#include "BuildRecord.h"

#include "Crc32.h"

const WideUnit kBuildRecordSuffix[] = WIDE_TEXT(".onefile-build");
const WideUnit kRemovingFolderSuffix[] = WIDE_TEXT(".onefile-removing");

namespace {

void flushWriter(BuildRecordWriter& writer) {
  if (writer.failed || writer.used == 0) return;
  if (!writer.flush(writer.context, writer.buffer, writer.used)) writer.failed = true;
  writer.used = 0;
}

void putBytes(BuildRecordWriter& writer, const uint8_t* bytes, size_t length) {
  while (length > 0 && !writer.failed) {
    if (writer.used == writer.capacity) flushWriter(writer);
    if (writer.failed) return;
    size_t piece = writer.capacity - writer.used;
    if (piece > length) piece = length;
    memcpy(writer.buffer + writer.used, bytes, piece);
    writer.crc = crc32Update(writer.crc, bytes, piece);
    writer.used += piece;
    bytes += piece;
    length -= piece;
  }
}

void putLittleEndian(BuildRecordWriter& writer, uint64_t value, size_t length) {
  uint8_t bytes[8];
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
  putBytes(writer, bytes, length);
}

void putText(BuildRecordWriter& writer, const WideUnit* text) {
  for (const WideUnit* unit = text;; ++unit) {
    putLittleEndian(writer, static_cast<uint16_t>(*unit), 2);
    if (*unit == 0) return;
  }
}

// Bytes are taken through the buffer one field at a time; the CRC covers what was taken.
bool takeBytes(BuildRecordReader& reader, uint8_t* into, size_t length) {
  while (length > 0) {
    if (reader.at == reader.length) {
      if (reader.done) return false;
      reader.length = reader.source.read(reader.source.context, reader.buffer, sizeof reader.buffer);
      reader.at = 0;
      if (reader.length == 0) {
        reader.done = true;
        return false;
      }
    }
    size_t piece = reader.length - reader.at;
    if (piece > length) piece = length;
    memcpy(into, reader.buffer + reader.at, piece);
    reader.crc = crc32Update(reader.crc, reader.buffer + reader.at, piece);
    reader.at += piece;
    reader.consumed += piece;
    into += piece;
    length -= piece;
  }
  return true;
}

bool takeLittleEndian(BuildRecordReader& reader, size_t length, uint64_t& value) {
  uint8_t bytes[8];
  if (!takeBytes(reader, bytes, length)) return false;
  value = 0;
  for (size_t i = 0; i < length; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return true;
}

// A text of at most `limit` units and its terminator into `text` (capacity limit + 1).
bool takeText(BuildRecordReader& reader, WideUnit* text, size_t limit) {
  for (size_t i = 0; i <= limit; ++i) {
    uint64_t unit = 0;
    if (!takeLittleEndian(reader, 2, unit)) return false;
    text[i] = static_cast<WideUnit>(unit);
    if (unit == 0) return true;
  }
  return false;
}

size_t unitsOf(const WideUnit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

void putState(uint8_t* bytes, uint64_t value) {
  for (size_t i = 0; i < 8; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

uint64_t stateField(const uint8_t* bytes) {
  uint64_t value = 0;
  for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

// Layout 2's states say only that they are there; they are checked by the trailer, and passed.
bool passStates(BuildRecordReader& reader) {
  if (reader.layout == kBuildRecordLayoutWithoutStates) return true;
  uint64_t marker = 0;
  if (!takeLittleEndian(reader, 2, marker) || marker > 1) return false;
  reader.has_states = marker == 1;
  reader.states_offset = reader.consumed;
  if (!reader.has_states) return true;
  uint8_t state[kRecordedStateLength];
  for (uint64_t i = 0; i < reader.files; ++i) {
    if (!takeBytes(reader, state, sizeof state)) return false;
  }
  return true;
}

bool endsRecord(BuildRecordReader& reader) {
  if (!passStates(reader)) return false;
  const uint32_t expected = reader.crc;
  uint64_t trailer = 0;
  if (!takeLittleEndian(reader, 4, trailer) || trailer != expected) return false;
  uint8_t extra = 0;
  return !takeBytes(reader, &extra, 1);
}

}  // namespace

bool sameFileState(const RecordedFileState& a, const RecordedFileState& b) {
  return a.size == b.size && a.last_write_time == b.last_write_time && a.change_time == b.change_time &&
         a.volume_serial == b.volume_serial && memcmp(a.file_id, b.file_id, sizeof a.file_id) == 0;
}

void encodeRecordedState(const RecordedFileState& state, uint8_t (&bytes)[kRecordedStateLength]) {
  putState(bytes, state.size);
  putState(bytes + 8, state.last_write_time);
  putState(bytes + 16, state.change_time);
  putState(bytes + 24, state.volume_serial);
  memcpy(bytes + 32, state.file_id, sizeof state.file_id);
}

void decodeRecordedState(const uint8_t (&bytes)[kRecordedStateLength], RecordedFileState& state) {
  state.size = stateField(bytes);
  state.last_write_time = stateField(bytes + 8);
  state.change_time = stateField(bytes + 16);
  state.volume_serial = stateField(bytes + 24);
  memcpy(state.file_id, bytes + 32, sizeof state.file_id);
}

void beginBuildRecord(BuildRecordWriter& writer, const BuildRecordIdentity& identity) {
  writer.used = 0;
  writer.crc = 0;
  writer.failed = false;
  writer.list_ended = false;
  putBytes(writer, kBuildRecordSignature, sizeof kBuildRecordSignature);
  putLittleEndian(writer, kBuildRecordLayoutVersion, 2);
  putText(writer, identity.product);
  putText(writer, identity.company);
  putText(writer, identity.version);
  putText(writer, identity.build_id);
}

void addRecordedFile(BuildRecordWriter& writer, const WideUnit* name, uint64_t size, uint32_t stored_checksum) {
  putText(writer, name);
  putLittleEndian(writer, size, 8);
  putLittleEndian(writer, stored_checksum, 4);
}

void endRecordedFilesWithStates(BuildRecordWriter& writer) {
  putLittleEndian(writer, 0, 2);
  putLittleEndian(writer, 1, 2);
  writer.list_ended = true;
  flushWriter(writer);
}

void addRecordedState(BuildRecordWriter& writer, const RecordedFileState& state) {
  uint8_t bytes[kRecordedStateLength];
  encodeRecordedState(state, bytes);
  putBytes(writer, bytes, sizeof bytes);
}

bool finishBuildRecord(BuildRecordWriter& writer) {
  if (!writer.list_ended) {
    putLittleEndian(writer, 0, 2);
    putLittleEndian(writer, 0, 2);
  }
  putLittleEndian(writer, writer.crc, 4);
  flushWriter(writer);
  return !writer.failed;
}

RecordStatus openBuildRecord(BuildRecordReader& reader, BuildRecordSource source, BuildRecordIdentity& identity) {
  reader.source = source;
  reader.length = 0;
  reader.at = 0;
  reader.crc = 0;
  reader.done = false;
  reader.consumed = 0;
  reader.files = 0;
  reader.has_states = false;
  reader.states_offset = 0;
  uint8_t signature[4];
  uint64_t layout = 0;
  if (!takeBytes(reader, signature, sizeof signature) || memcmp(signature, kBuildRecordSignature, 4) != 0 ||
      !takeLittleEndian(reader, 2, layout) ||
      (layout != kBuildRecordLayoutVersion && layout != kBuildRecordLayoutWithoutStates))
    return RecordStatus::damaged;
  reader.layout = static_cast<uint16_t>(layout);
  if (!takeText(reader, identity.product, kRecordIdentityLimit) || identity.product[0] == 0 ||
      !takeText(reader, identity.company, kRecordIdentityLimit) ||
      !takeText(reader, identity.version, kRecordIdentityLimit) || identity.version[0] == 0 ||
      !takeText(reader, identity.build_id, kRecordBuildIdLimit))
    return RecordStatus::damaged;
  return RecordStatus::ok;
}

RecordStatus nextRecordedFile(BuildRecordReader& reader, EntryNameBuffer& name, uint64_t& size,
                              uint32_t& stored_checksum) {
  if (!takeText(reader, name, kEntryNameCapacity - 1)) return RecordStatus::damaged;
  if (name[0] == 0) return endsRecord(reader) ? RecordStatus::end : RecordStatus::damaged;
  uint64_t checksum = 0;
  if (!isSafeEntryName(name) || !takeLittleEndian(reader, 8, size) || !takeLittleEndian(reader, 4, checksum))
    return RecordStatus::damaged;
  stored_checksum = static_cast<uint32_t>(checksum);
  ++reader.files;
  return RecordStatus::ok;
}

bool folderOfRecordName(const WideUnit* file_name, WideUnit* folder, size_t capacity) {
  const size_t length = unitsOf(file_name);
  const size_t suffix = unitsOf(kBuildRecordSuffix);
  if (length <= suffix || length - suffix >= capacity) return false;
  for (size_t i = 0; i < suffix; ++i) {
    WideUnit unit = file_name[length - suffix + i];
    if (unit >= 'A' && unit <= 'Z') unit = static_cast<WideUnit>(unit - 'A' + 'a');
    if (unit != kBuildRecordSuffix[i]) return false;
  }
  memcpy(folder, file_name, (length - suffix) * sizeof(WideUnit));
  folder[length - suffix] = 0;
  return true;
}

namespace {

bool sameUnits(const WideUnit* a, const WideUnit* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

}  // namespace

bool sameRecordProduct(const BuildRecordIdentity& a, const BuildRecordIdentity& b) {
  return sameUnits(a.product, b.product) && sameUnits(a.company, b.company);
}

bool sameRecordIdentity(const BuildRecordIdentity& a, const BuildRecordIdentity& b) {
  return sameRecordProduct(a, b) && sameUnits(a.version, b.version) && sameUnits(a.build_id, b.build_id);
}
