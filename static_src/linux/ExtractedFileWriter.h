// Writing one extracted file so that no start, however it ends, leaves a file under the entry's
// name that is incomplete: the data goes into an unnamed file in the same folder, is checked
// against the stored CRC-32, and only then gets the entry's name, in place of whatever stood there
// (a changed file, a link: the link itself goes, never what it points to). A start killed while
// writing leaves nothing; one killed between the removal of the old entry and the naming of the new
// one leaves the entry missing; the next start writes it in both cases. A program still running
// from the old file keeps it, as a file that is replaced and not rewritten in place.
//
// On a file system without unnamed files the entry is removed and then written in place under its
// name, as on Windows: a start killed while writing leaves a file shorter than the entry, which the
// next start's check finds not intact.
#pragma once

#include "OnefilePlatform.h"

// Fills the next `count` bytes of a file's data into `destination`, or ends the launcher.
typedef void (*FillPiece)(uint8_t* destination, uint32_t count);

// Writes `size` bytes from `fill` as the file `path` (bytes; its folder exists) with
// extractedFileMode(executable). Ends the launcher with the open report (naming `shown_path`), the
// unpack report with the system's error code, or the decode report for data that fails its
// checksum.
void writeExtractedFile(const char* path, const WideUnit* shown_path, uint64_t size, uint32_t stored_checksum,
                        bool executable, FillPiece fill);
