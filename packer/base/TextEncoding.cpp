#include "TextEncoding.h"

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool isSurrogate(char32_t code) { return code >= 0xD800 && code <= 0xDFFF; }

// The code point starting at `at`, advancing `at`; nothing for an ill-formed sequence (then `at`
// moves past its first byte).
std::optional<char32_t> decodeUtf8(const std::string& text, size_t& at) {
  const unsigned char lead = static_cast<unsigned char>(text[at++]);
  if (lead < 0x80) return lead;
  size_t length;
  char32_t code;
  char32_t minimum;
  if ((lead & 0xE0) == 0xC0) {
    length = 1, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 2, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 3, code = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() - at < length) return std::nullopt;
  for (size_t i = 0; i < length; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return std::nullopt;
    code = (code << 6) | (next & 0x3F);
  }
  if (code < minimum || code > 0x10FFFF || isSurrogate(code)) return std::nullopt;
  at += length;
  return code;
}

std::optional<char32_t> decodeUtf16(const std::u16string& text, size_t& at) {
  const char32_t first = text[at++];
  if (!isSurrogate(first)) return first;
  if (first >= 0xDC00 || at == text.size()) return std::nullopt;
  const char32_t second = text[at];
  if (second < 0xDC00 || second > 0xDFFF) return std::nullopt;
  ++at;
  return 0x10000 + ((first - 0xD800) << 10) + (second - 0xDC00);
}

void appendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

void appendUtf16(std::u16string& out, char32_t code) {
  if (code < 0x10000) {
    out += static_cast<char16_t>(code);
  } else {
    out += static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10));
    out += static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
  }
}

void appendPrintable(std::string& out, char32_t code) {
  if (code < 0x20 || code == 0x7F) {
    static const char digits[] = "0123456789abcdef";
    out += "\\x";
    out += digits[code >> 4];
    out += digits[code & 0xF];
  } else {
    appendUtf8(out, code);
  }
}

}  // namespace

std::optional<std::u16string> utf16FromUtf8(const std::string& text) {
  std::u16string out;
  for (size_t at = 0; at < text.size();) {
    const std::optional<char32_t> code = decodeUtf8(text, at);
    if (!code) return std::nullopt;
    appendUtf16(out, *code);
  }
  return out;
}

std::optional<std::string> utf8FromUtf16(const std::u16string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) {
    const std::optional<char32_t> code = decodeUtf16(text, at);
    if (!code) return std::nullopt;
    appendUtf8(out, *code);
  }
  return out;
}

std::string printableUtf8(const std::u16string& text) {
  std::string out;
  for (size_t at = 0; at < text.size();) appendPrintable(out, decodeUtf16(text, at).value_or(kReplacement));
  return out;
}

std::string printableUtf8(const std::string& bytes) {
  std::string out;
  for (size_t at = 0; at < bytes.size();) appendPrintable(out, decodeUtf8(bytes, at).value_or(kReplacement));
  return out;
}
