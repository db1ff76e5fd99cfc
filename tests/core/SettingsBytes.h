// Settings resources as bytes, for tests that give launchers good and damaged ones: "QOVS", a
// layout version and UTF-16LE texts, each with its zero unit except, when asked, the last; and for
// layouts 2 and 3 the keep-builds value after the texts, and for layout 3 the verify value after it.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

inline std::string settingsResourceBytes(uint16_t layout, const std::vector<std::u16string>& texts,
                                         bool last_terminated = true) {
  std::string bytes = {'Q', 'O', 'V', 'S', static_cast<char>(layout & 0xFF), static_cast<char>(layout >> 8)};
  for (size_t i = 0; i < texts.size(); ++i) {
    for (char16_t unit : texts[i]) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    if (last_terminated || i + 1 < texts.size()) bytes.append(2, '\0');
  }
  return bytes;
}

inline std::string withKeepBuilds(std::string bytes, uint16_t keep_builds) {
  bytes += static_cast<char>(keep_builds & 0xFF);
  bytes += static_cast<char>(keep_builds >> 8);
  return bytes;
}

inline std::string withVerify(std::string bytes, uint16_t verify) { return withKeepBuilds(std::move(bytes), verify); }
