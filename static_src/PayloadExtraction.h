// Unpacking the payload into the extraction directory, reusing every intact file.
#pragma once

#include "OnefilePlatform.h"
#include "WideString.h"

extern WideBuffer<4096> TargetDirectory;
extern WideBuffer<1024> ChildExecutablePath;

// Opens the decompressing stream over the payload's compressed bytes (after the header).
void openPayloadStream(const uint8_t* compressed, uint64_t length);

// Walks every record to the end marker; returns with every file in place, ChildExecutablePath set
// and the stream closed. Every failure ends the launcher.
void extractPayload();
