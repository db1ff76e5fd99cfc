// UTF-16 to UTF-8 for the launcher's reports on redirected streams: a log file or a pipe is read
// as UTF-8 by the tools that collect it, and no narrow code page holds every path a user may have.
#pragma once

#include "OnefilePlatform.h"

// The most bytes one UTF-16 unit can take in UTF-8: three for a unit of the basic plane (a
// surrogate pair takes four bytes for its two units).
constexpr size_t kUtf8BytesPerUnit = 3;

// Encodes the NUL-terminated `text` as UTF-8 into `bytes`, which holds `capacity` bytes; no
// terminator is written. A surrogate without its partner becomes U+FFFD, so the bytes are always
// well-formed. Returns false, with *length 0, when the encoding does not fit: a report is never
// written cut inside a character. Nothing is written at or past the capacity.
bool encodeUtf8(const WideUnit* text, char* bytes, size_t capacity, size_t* length);
