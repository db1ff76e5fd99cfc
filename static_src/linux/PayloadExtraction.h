// Unpacking the payload into the extraction directory on Linux, as on Windows: a file whose copy
// on disk has the stored CRC-32 (or, under `--verify changed`, the state its build record holds) is
// kept and its data skipped; every other is written anew, whole, with the mode its executable bit
// asks for. Nothing is deleted but what stands where a payload
// file belongs and a link where a payload folder belongs.
#pragma once

#include "OnefilePlatform.h"
#include "WideString.h"

extern WideBuffer<4096> TargetDirectory;
extern WideBuffer<4096> EntryPath;
extern WideBuffer<1024> ChildExecutablePath;
// ChildExecutablePath as the system takes it; empty for a payload without files.
extern char ChildExecutableBytes[1024 * 3];

// Opens the decompressing stream over the payload's compressed bytes (after the header); ends the
// launcher with "Error, couldn't allocate memory." when the window or the decoder cannot be had.
void openPayloadStream(const uint8_t* compressed, uint64_t length);

// Makes and checks the extraction directory, locks it, walks every record to the end marker, and
// unlocks it; returns with every file in place with its mode, ChildExecutablePath set and the
// stream closed. `modes` holds one executable bit per entry (AppendedTrailer.h). Every failure ends
// the launcher.
void extractPayload(const uint8_t* modes, uint64_t modes_length);
