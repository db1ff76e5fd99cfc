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
// copy out of it. One frame in the single-frame layout, one per record in the per-file layout; the
// bytes after the last frame are not a frame.
bool decompressAll(const Mapped& payload, const std::vector<ManifestEntry>& manifest, EntryList& list) {
  if (!hasPayloadHeader(payload.bytes, payload.length)) return false;
  size_t capacity = 2;
  for (const ManifestEntry& entry : manifest) capacity += 2 * (entry.name.size() + 1) + 12 + entry.size;
  list.bytes = static_cast<char*>(std::malloc(capacity));
  ZSTD_DCtx* context = ZSTD_createDCtx();
  if (list.bytes == nullptr || context == nullptr) return false;
  const uint8_t* next = payload.bytes + kPayloadHeaderLength;
  size_t rest = payload.length - kPayloadHeaderLength;
  bool ok = true;
  while (ok && rest >= 4 && readLittleEndian32(next) == ZSTD_MAGICNUMBER) {
    const size_t frame = ZSTD_findFrameCompressedSize(next, rest);
    if (ZSTD_isError(frame)) {
      ok = false;
      break;
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

// Writes the records of the list below `directory`; with a filter, only the names in it.
bool writeEntries(const EntryList& list, const std::wstring& directory, const std::set<std::wstring>* only) {
  std::unordered_set<std::wstring> created;
  createDirectories(directory);
  created.insert(directory);
  size_t at = 0;
  for (;;) {
    std::wstring name;
    for (uint16_t unit = 0; take(list, at, unit) && unit != 0;) name += static_cast<wchar_t>(unit);
    if (name.empty()) return true;
    uint64_t size = 0;
    uint32_t checksum = 0;
    if (!take(list, at, size) || !take(list, at, checksum) || list.length - at < size) return false;
    if (only == nullptr || only->count(name) != 0) {
      const std::wstring path = directory + L"\\" + name;
      const std::wstring parent = parentOf(path);
      if (created.insert(parent).second) createDirectories(parent);
      if (!writeWhole(path, list.bytes + at, size)) return false;
    }
    at += size;
  }
}

int unpack(const std::wstring& payload_path, const std::vector<ManifestEntry>& manifest, const std::wstring& directory,
           const std::set<std::wstring>* only) {
  Mapped payload;
  EntryList list;
  if (!mapFile(payload_path, payload) || !decompressAll(payload, manifest, list)) return 1;
  return writeEntries(list, directory, only) ? 0 : 1;
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
