// bench-limit: the least work a start could do, as the bench's yardsticks.
//
//   bench-limit check MANIFEST DIR           maps and CRCs every file of the manifest below DIR
//   bench-limit read-check MANIFEST DIR      the same, reading each file through one 1 MiB buffer
//   bench-limit unpack PAYLOAD MANIFEST DIR  decompresses the whole payload into memory at once,
//                                            then writes every file below DIR
//   bench-limit repair PAYLOAD MANIFEST DIR  check, then unpack only the files that differ
//
// PAYLOAD is a launcher's resource 27 saved to a file. Exit code 0 when the job was done (for
// check: every file matches), 1 when a file differs or an operation failed, 64 on wrong usage.
// No frills: no buffering strategy beyond what the system gives, no progress, no recovery.
#include <windows.h>

#include <zstd.h>
#include <zstd_errors.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <unordered_set>
#include <vector>

#include "BenchFiles.h"
#include "PayloadGroup.h"
#include "PayloadHeader.h"

namespace {

struct Mapped {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;
  const uint8_t* bytes = nullptr;
  uint64_t length = 0;
};

bool mapFile(const std::wstring& path, Mapped& mapped) {
  mapped.file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (mapped.file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER length;
  if (!GetFileSizeEx(mapped.file, &length) || length.QuadPart == 0) return false;
  mapped.length = static_cast<uint64_t>(length.QuadPart);
  mapped.mapping = CreateFileMappingW(mapped.file, nullptr, PAGE_READONLY, 0, 0, nullptr);
  if (mapped.mapping == nullptr) return false;
  mapped.bytes = static_cast<const uint8_t*>(MapViewOfFile(mapped.mapping, FILE_MAP_READ, 0, 0, 0));
  return mapped.bytes != nullptr;
}

// Names of the files whose copy below `directory` differs from the manifest.
std::set<std::wstring> differingFiles(const std::vector<ManifestEntry>& manifest, const std::wstring& directory,
                                      uint32_t (*checksum)(const std::wstring&) = mappedChecksum) {
  std::set<std::wstring> differing;
  for (const ManifestEntry& entry : manifest)
    if (checksum(directory + L"\\" + entry.name) != entry.checksum) differing.insert(entry.name);
  return differing;
}

// The whole entry list in one heap block, sized from the manifest (grown if that was short).
struct EntryList {
  char* bytes = nullptr;
  size_t length = 0;
};

uint32_t readLittleEndian32(const uint8_t* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

// Each frame decoded in one call straight into the block: no window of the decoder's own and no
// copy out of it. One frame in the single-frame layout, one per record in the per-file layout, two
// per group in the grouped layout, whose marker (a skippable frame) is stepped over; the bytes
// after the last frame are not a frame.
bool decompressAll(const Mapped& payload, const std::vector<ManifestEntry>& manifest, EntryList& list) {
  if (!hasPayloadHeader(payload.bytes, payload.length)) return false;
  size_t capacity = 4;
  for (const ManifestEntry& entry : manifest) capacity += 2 * (entry.name.size() + 1) + 16 + entry.size;
  list.bytes = static_cast<char*>(std::malloc(capacity));
  ZSTD_DCtx* context = ZSTD_createDCtx();
  if (list.bytes == nullptr || context == nullptr) return false;
  const GroupLayout layout = groupLayoutOf(payload.bytes + kPayloadHeaderLength, payload.length - kPayloadHeaderLength);
  const uint8_t* next = payload.bytes + kPayloadHeaderLength + firstFrameOffset(layout);
  size_t rest = payload.length - kPayloadHeaderLength - firstFrameOffset(layout);
  bool ok = true;
  while (ok && rest >= 4) {
    const uint32_t magic = readLittleEndian32(next);
    const bool skippable = (magic & 0xFFFFFFF0u) == ZSTD_MAGIC_SKIPPABLE_START;
    if (!skippable && magic != ZSTD_MAGICNUMBER) break;
    const size_t frame = ZSTD_findFrameCompressedSize(next, rest);
    if (ZSTD_isError(frame)) {
      ok = false;
      break;
    }
    if (skippable) {
      next += frame;
      rest -= frame;
      continue;
    }
    const size_t result = ZSTD_decompressDCtx(context, list.bytes + list.length, capacity - list.length, next, frame);
    if (ZSTD_getErrorCode(result) == ZSTD_error_dstSize_tooSmall) {
      capacity *= 2;
      char* grown = static_cast<char*>(std::realloc(list.bytes, capacity));
      ok = grown != nullptr;
      if (ok) list.bytes = grown;
      continue;
    }
    if (ZSTD_isError(result)) {
      ok = false;
      break;
    }
    list.length += result;
    next += frame;
    rest -= frame;
  }
  ZSTD_freeDCtx(context);
  return ok && list.length > 0;
}

bool writeWhole(const std::wstring& path, const char* data, uint64_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && size > 0) {
    const DWORD piece = size > 0x40000000u ? 0x40000000u : static_cast<DWORD>(size);
    DWORD written = 0;
    ok = WriteFile(file, data, piece, &written, nullptr) && written == piece;
    data += piece;
    size -= piece;
  }
  CloseHandle(file);
  return ok;
}

template <typename T>
bool take(const EntryList& list, size_t& at, T& value) {
  if (list.length - at < sizeof value) return false;
  std::memcpy(&value, list.bytes + at, sizeof value);
  at += sizeof value;
  return true;
}

struct Record {
  std::wstring name;
  uint64_t size = 0;
};

// A record's name, size and checksum; an empty name for the end marker.
bool takeRecord(const EntryList& list, size_t& at, Record& record) {
  record.name.clear();
  for (uint16_t unit = 0; take(list, at, unit) && unit != 0;) record.name += static_cast<wchar_t>(unit);
  uint32_t checksum = 0;
  return record.name.empty() || (take(list, at, record.size) && take(list, at, checksum));
}

class EntryWriter {
 public:
  EntryWriter(const std::wstring& directory, const std::set<std::wstring>* only) : directory_(directory), only_(only) {
    createDirectories(directory);
    created_.insert(directory);
  }
  // With a filter, only the names in it.
  bool write(const Record& record, const char* data) {
    if (only_ != nullptr && only_->count(record.name) == 0) return true;
    const std::wstring path = directory_ + L"\\" + record.name;
    const std::wstring parent = parentOf(path);
    if (created_.insert(parent).second) createDirectories(parent);
    return writeWhole(path, data, record.size);
  }

 private:
  std::wstring directory_;
  const std::set<std::wstring>* only_;
  std::unordered_set<std::wstring> created_;
};

// Writes the records of the list below `directory`: an entry list, or groups (the index length,
// in version 2 the data frame's length, the index, the data of its records).
bool writeEntries(const EntryList& list, GroupLayout layout, EntryWriter& writer) {
  size_t at = 0;
  for (;;) {
    if (layout == GroupLayout::entryList) {
      Record record;
      if (!takeRecord(list, at, record)) return false;
      if (record.name.empty()) return true;
      if (list.length - at < record.size || !writer.write(record, list.bytes + at)) return false;
      at += record.size;
      continue;
    }
    uint32_t index_length = 0;
    if (!take(list, at, index_length) || list.length - at < index_length) return false;
    if (index_length == 0) return true;
    uint64_t data_frame_length = 0;
    if (layout == GroupLayout::recordedGroups && !take(list, at, data_frame_length)) return false;
    std::vector<Record> records;
    for (const size_t end = at + index_length; at < end;) {
      records.emplace_back();
      if (!takeRecord(list, at, records.back()) || records.back().name.empty()) return false;
    }
    for (const Record& record : records) {
      if (list.length - at < record.size || !writer.write(record, list.bytes + at)) return false;
      at += record.size;
    }
  }
}

int unpack(const std::wstring& payload_path, const std::vector<ManifestEntry>& manifest, const std::wstring& directory,
           const std::set<std::wstring>* only) {
  Mapped payload;
  EntryList list;
  if (!mapFile(payload_path, payload) || !decompressAll(payload, manifest, list)) return 1;
  const GroupLayout layout = groupLayoutOf(payload.bytes + kPayloadHeaderLength, payload.length - kPayloadHeaderLength);
  EntryWriter writer(directory, only);
  return writeEntries(list, layout, writer) ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring mode = argc > 1 ? argv[1] : L"";
  if ((mode == L"check" || mode == L"read-check") && argc == 4) {
    const std::vector<ManifestEntry> manifest = readManifest(argv[2]);
    if (manifest.empty()) return 1;
    return differingFiles(manifest, argv[3], mode == L"check" ? mappedChecksum : readChecksum).empty() ? 0 : 1;
  }
  if ((mode == L"unpack" || mode == L"repair") && argc == 5) {
    const std::vector<ManifestEntry> manifest = readManifest(argv[3]);
    if (manifest.empty()) return 1;
    if (mode == L"unpack") return unpack(argv[2], manifest, argv[4], nullptr);
    const std::set<std::wstring> differing = differingFiles(manifest, argv[4]);
    return differing.empty() ? 0 : unpack(argv[2], manifest, argv[4], &differing);
  }
  std::fputs("usage: bench-limit check|read-check MANIFEST DIR | unpack PAYLOAD MANIFEST DIR | repair PAYLOAD MANIFEST DIR\n",
             stderr);
  return 64;
}
