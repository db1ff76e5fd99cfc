// File contents for the bench's application trees. Every generator is deterministic: the same
// seed and size give the same bytes on every machine, so figures from different days compare.
#pragma once

#include <cstdint>
#include <string>

// splitmix64: small, fast, and the same everywhere (the standard library's engines leave their
// distributions to the implementation).
class BenchRandom {
 public:
  explicit BenchRandom(uint64_t seed) : state_(seed) {}
  uint64_t next();
  // Uniform in [0, bound), bound > 0.
  uint64_t below(uint64_t bound) { return next() % bound; }
  // Uniform in [0, 1).
  double unit() { return static_cast<double>(next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

// A stable 64-bit hash (FNV-1a) to seed each file from its path.
uint64_t hashText(const std::string& text);

// What a file is made of; the mix decides how well the tree compresses.
enum class ContentKind {
  prose,     // documentation, licences, translations: words and sentences
  code,      // scripts and sources: indented statements over a small vocabulary
  markup,    // configuration and manifests: nested keys and values
  records,   // a database-like file: delimited rows of names, numbers and dates
  machine,   // executables and libraries: opcode runs, string tables, padding, some noise
  noise,     // already compressed media and archives: incompressible
};

std::string makeContent(ContentKind kind, uint64_t size, uint64_t seed);
