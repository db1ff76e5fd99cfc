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

bool endsRecord(BuildRecordReader& reader) {
  const uint32_t expected = reader.crc;
  uint64_t trailer = 0;
  if (!takeLittleEndian(reader, 4, trailer) || trailer != expected) return false;
  uint8_t extra = 0;
  return !takeBytes(reader, &extra, 1);
}

}  // namespace

void beginBuildRecord(BuildRecordWriter& writer, const BuildRecordIdentity& identity) {
  writer.used = 0;
  writer.crc = 0;
  writer.failed = false;
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

bool finishBuildRecord(BuildRecordWriter& writer) {
  putLittleEndian(writer, 0, 2);
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
  uint8_t signature[4];
  uint64_t layout = 0;
  if (!takeBytes(reader, signature, sizeof signature) || memcmp(signature, kBuildRecordSignature, 4) != 0 ||
      !takeLittleEndian(reader, 2, layout) || layout != kBuildRecordLayoutVersion)
    return RecordStatus::damaged;
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
