#include "CachedFileState.h"

#include "IntactCheck.h"
#include "WideString.h"

namespace {

constexpr DWORD kProtectiveAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

int64_t readFromHandle(void* file, uint8_t* buffer, uint32_t capacity) {
  DWORD got = 0;
  if (!ReadFile(static_cast<HANDLE>(file), buffer, capacity, &got, nullptr)) return -1;
  return got;
}

FolderWalk Walk;
WideBuffer<kFolderWalkCapacity> LinkFolder;

bool removeLink(const WideUnit* path, DWORD attributes) {
  // RemoveDirectoryW on a junction or a folder link removes the link and leaves its target alone.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return RemoveDirectoryW(path) != 0;
  return DeleteFileW(path) != 0;
}

}  // namespace

// The file is opened sharing everything, so that a running copy of the application never stands in
// the way, and may change while it is read: the read-based test then finds it not intact. Its
// length is the full 64-bit one: with only its low 32 bits a file of exactly 4 GiB would checksum
// as no bytes. A file of another length is not read at all.
//
// The common case, an intact file with data, costs what it always did: an open, its length and
// one read. A link opened as itself has no data of its own, so it never matches an entry with
// data; the attributes are asked for only when the file is empty or does not match. (Asking for
// them with GetFileInformationByHandle on every file, which also queries the volume, tripled the
// warm start under Wine.)
CachedFile inspectCachedFile(const WideUnit* path, uint64_t size, uint32_t stored_checksum, uint8_t* buffer,
                             uint32_t capacity, DWORD& attributes) {
  attributes = 0;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) return CachedFile::rewrite;
  LARGE_INTEGER length;
  const bool sized = GetFileSizeEx(file, &length) && static_cast<uint64_t>(length.QuadPart) == size;
  if (sized && size > 0 && fileContentMatches(readFromHandle, file, buffer, capacity, size, stored_checksum)) {
    CloseHandle(file);
    return CachedFile::intact;
  }
  FILE_ATTRIBUTE_TAG_INFO tag_information;
  const bool known = GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag_information, sizeof tag_information) != 0;
  CloseHandle(file);
  if (!known) return CachedFile::rewrite;
  attributes = tag_information.FileAttributes;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return CachedFile::replaceLink;
  if (sized && size == 0 && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return CachedFile::intact;
  return (attributes & kProtectiveAttributes) != 0 ? CachedFile::clearAttributes : CachedFile::rewrite;
}

bool clearWayForFile(const WideUnit* path, CachedFile state, DWORD attributes) {
  switch (state) {
    case CachedFile::replaceLink: return removeLink(path, attributes);
    case CachedFile::clearAttributes: {
      const DWORD kept = attributes & ~kProtectiveAttributes;
      // Best effort: when it fails, the open reports the path as it always did.
      SetFileAttributesW(path, kept != 0 ? kept : FILE_ATTRIBUTE_NORMAL);
      return true;
    }
    case CachedFile::intact:
    case CachedFile::rewrite: return true;
  }
  return true;
}

FolderKind folderKindOnDisk(const WideUnit* path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FolderKind::missing;
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? FolderKind::link : FolderKind::real;
}

bool removeFolderLinks(const WideUnit* path, size_t base_length, FolderKindQuery kindOf) {
  switch (firstFolderLink(path, base_length, Walk, LinkFolder, kindOf)) {
    case FolderOnWay::real: return true;
    case FolderOnWay::missing: break;  // the writer makes it, and those below it, as real ones
    case FolderOnWay::link:
      if (!removeLink(LinkFolder, GetFileAttributesW(LinkFolder))) {
        Walk.known_length = 0;
        return false;
      }
      break;
  }
  rememberFoldersOf(path, base_length, Walk);
  return true;
}
