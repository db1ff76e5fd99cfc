// What the Windows-side bench tools share: the tree's manifest, the CRC of a file on disk read
// through a mapping or through a reused buffer, and directory creation.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ManifestEntry {
  uint64_t size;
  uint32_t checksum;  // the stored value: CRC-32, 0 written as 1
  std::wstring name;  // relative, "\" between components
};

// Empty when the file cannot be read or a line is malformed.
std::vector<ManifestEntry> readManifest(const std::wstring& path);

// The checksum of the file's content under the payload's rule (0 turned into 1); 0 when the file
// cannot be opened or mapped. Empty files cannot be mapped and give the checksum of no bytes, 1.
uint32_t mappedChecksum(const std::wstring& path);

// The same checksum, read front to back with ReadFile through one reused 1 MiB buffer.
uint32_t readChecksum(const std::wstring& path);

// Creates every missing directory of an absolute path ("C:\a\b" creates C:\a and C:\a\b).
void createDirectories(const std::wstring& path);

// The directory part of a path: everything before its last "\".
std::wstring parentOf(const std::wstring& path);

// The launcher's extraction directory in this prefix: the user's local application data followed
// by `folder` ("Quorvell\1.3-<build>", as `onefile-pack list` shows it after "{CACHE_DIR}\").
std::wstring extractionDirectory(const std::wstring& folder);
