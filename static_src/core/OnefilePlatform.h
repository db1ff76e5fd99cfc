// The one header through which the portable core reaches the C library and the platform.
//
// Code that includes only this header (and the core's own headers) builds for Windows and for the
// Linux host alike: the launcher, the packer, the unit tests and the fuzzers share it. Windows API
// calls stay out of it; the Windows layer includes <windows.h> itself.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

// One UTF-16 code unit. On Windows it is the system's own wide character, so buffers pass to the
// API without casts; on the host it is char16_t, which has the same width.
#if defined(_WIN32)
typedef wchar_t WideUnit;
#define WIDE_TEXT_(text) L##text
#else
typedef char16_t WideUnit;
#define WIDE_TEXT_(text) u##text
#endif
#define WIDE_TEXT(text) WIDE_TEXT_(text)

// Ends the program without a report of its own; the program that links the core decides the
// manner (the launcher's is in FatalErrors.cpp). Used where a text does not fit its buffer and at
// the other stops that print nothing.
[[noreturn]] void stopWithoutReport();

// Widens one byte in the C runtime's current locale. Returns false unless the conversion gives
// exactly one unit. The launcher never changes the locale, so in its default "C" locale every
// byte the launcher widens (ASCII names and digits) becomes the unit of the same value.
bool widenNarrowByte(char byte, WideUnit* unit);
