// Strict conversions between UTF-8 (file names on Linux, messages, the command line) and UTF-16
// (payload names, file names on Windows). Strict: an ill-formed sequence or a lone surrogate is
// refused rather than replaced, so a name is never silently changed on its way into the payload.
#pragma once

#include <optional>
#include <string>

std::optional<std::u16string> utf16FromUtf8(const std::string& text);
std::optional<std::string> utf8FromUtf16(const std::u16string& text);

// For messages only: ill-formed input becomes U+FFFD, and control characters are shown escaped
// (\xNN), so any name can be printed safely.
std::string printableUtf8(const std::u16string& text);
std::string printableUtf8(const std::string& bytes);
