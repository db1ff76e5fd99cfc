// Names on Linux are bytes; the core's texts are UTF-16 with "\" between the components of a path.
// These turn one into the other at the system calls, and only there.
//
// Bytes that are well-formed UTF-8 become the units of their characters. Every byte of an
// ill-formed sequence becomes a lone low surrogate of its own, U+DC80 plus the byte less 0x80
// (no well-formed UTF-8 gives a lone surrogate), so a home folder or a program path in any
// encoding comes back whole, byte for byte, when it is encoded again. That escape is honoured
// only in texts the system gave: a payload name is Unicode text, and a lone surrogate in it has no
// bytes (made into bytes, it could name the file that another name of the payload names).
//
// A backslash inside a Linux name becomes a separator on the way in, as "/" does: the core cannot
// tell the two apart.
#pragma once

#include "OnefilePlatform.h"

// `bytes` (NUL-terminated) into `text` (`capacity` units, terminator included). With `path`, "/"
// becomes "\". False, with `text` empty, when the text does not fit.
bool decodeSystemText(const char* bytes, WideUnit* text, size_t capacity, bool path);

// `text` into NUL-terminated bytes (`capacity` bytes, terminator included). With `path`, "\"
// becomes "/". A lone surrogate U+DC80 to U+DCFF among the first `escaped_length` units becomes
// its byte. False, with `bytes` empty, when the bytes do not fit or a lone surrogate cannot be
// made into bytes.
bool encodeSystemText(const WideUnit* text, size_t escaped_length, char* bytes, size_t capacity, bool path);

// Every unit may carry an escaped byte: for texts that came from the system.
constexpr size_t kAllEscaped = ~size_t{0};
