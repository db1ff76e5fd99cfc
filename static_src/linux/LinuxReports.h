// Reports that only the Linux launcher makes, beside the shared ones of FatalErrors.h.
#pragma once

// "Error, refusing to unpack into '<folder>': <reason>." on standard error, then exit code 2.
// `folder` is the path as the system takes it.
[[noreturn]] void failUnsafeFolder(const char* folder, const char* reason);
