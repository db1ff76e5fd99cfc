// Whether a file in the cache still holds an entry's data, decided while reading it once, front to
// back, through one reused buffer: no mapping, so a file that shrinks or grows while it is read is
// simply not intact instead of being read past its end.
#pragma once

#include "OnefilePlatform.h"

// Reads up to `capacity` bytes of the file at its current position into `buffer`. Returns the
// count read (0 at the end of the file) or -1 when reading failed. As for a synchronous read of a
// disk file, fewer bytes than asked for mean that the end was reached.
typedef int64_t (*ReadFileBytes)(void* file, uint8_t* buffer, uint32_t capacity);

// True when the file holds exactly `size` bytes whose checksum, under the payload's rule, is
// `stored_checksum`. Reading stops as soon as the answer is known: at the end of the file, at a
// failed read, or at the first byte beyond `size`. An empty file is intact for an entry of size 0
// (whose stored checksum is that of no bytes), so it is neither reopened for writing nor rewritten:
// an application may hold its empty lock or marker files open while another copy starts.
bool fileContentMatches(ReadFileBytes read, void* file, uint8_t* buffer, uint32_t capacity, uint64_t size,
                        uint32_t stored_checksum);
