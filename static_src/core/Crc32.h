// CRC-32 as zlib's crc32 computes it (reflected polynomial 0xEDB88320, initial and final XOR
// 0xFFFFFFFF), and the payload's checksum rule built on it.
#pragma once

#include "OnefilePlatform.h"

// Continues a CRC over more bytes; start with 0. Any length. Folds with carry-less multiplication
// where the processor has it, and takes zlib's table-driven crc32 otherwise; both give the same
// values.
uint32_t crc32Update(uint32_t crc, const void* data, uint64_t length);

// zlib's crc32 alone, the reference the fast path is checked against.
uint32_t crc32Reference(uint32_t crc, const void* data, uint64_t length);

// The checksum a payload entry stores for data with this CRC: the CRC itself, except that 0 is
// stored as 1, because 0 means "no readable file on disk" and must never match.
inline uint32_t storedChecksum(uint32_t crc) { return crc == 0 ? 1u : crc; }
