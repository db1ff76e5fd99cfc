// Unpacking the payload into the extraction directory. The directory acts as a cache: a file whose
// copy on disk already has the stored CRC-32 is kept and its data skipped in the stream; every
// other file is written anew, whole. Nothing is ever deleted but a link standing where a payload
// file or folder belongs (CachedFileState.h).
#pragma once

#include "OnefilePlatform.h"
#include "WideString.h"

extern WideBuffer<4096> TargetDirectory;
extern WideBuffer<4096> EntryPath;
extern WideBuffer<1024> ChildExecutablePath;

// Opens the decompressing stream over the payload's compressed bytes (after the header); ends the
// launcher with "Error, couldn't allocate memory." when the window or the decoder cannot be had.
void openPayloadStream(const uint8_t* compressed, uint64_t length);

// Walks every record to the end marker; returns with every file in place, ChildExecutablePath set
// (empty for an empty list) and the stream closed. Every failure ends the launcher.
void extractPayload();
