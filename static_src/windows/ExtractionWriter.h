// Writing extracted files on a thread of their own, so that decoding the next piece of the payload
// overlaps writing and checksumming the last one. Pieces pass through a small ring of buffers and
// are written in the order they were handed over, so files land one after the other exactly as
// when one thread did everything.
//
// Every report stays on the calling thread: the writer only notes its first failure and then
// discards whatever follows. The caller learns of it at its next hand-over or when it drains, and
// ends the launcher with the report the failed step has always given (the open failure, the
// couldn't-unpack report with the system's error code, or the decode report for data that fails
// its checksum). A report the caller makes itself goes through drainExtractionWriter first, so
// every file handed over before it is complete, or the earlier failure is the one reported.
#pragma once

#include "OnefilePlatform.h"

// Starts the thread when the process may run on more than one processor; otherwise, or when no
// thread can be had, every piece is written at hand-over instead.
void startExtractionWriter();

// Fills the next `count` bytes of a file's data into `destination`, or ends the launcher.
typedef void (*FillPiece)(uint8_t* destination, uint32_t count);

// Hands over one file: creates (or truncates) `path` and writes `size` bytes taken from `fill`,
// checking them against `stored_checksum` once the file is closed. Returns when the last piece is
// handed over, usually before it is written. The caller has made the parent directories.
void writeExtractedFile(const WideUnit* path, uint64_t size, uint32_t stored_checksum, FillPiece fill);

// Returns once every piece handed over is written and every file closed; ends the launcher with
// the writer's report when a step failed.
void drainExtractionWriter();

// Drains, then ends the thread.
void finishExtractionWriter();
