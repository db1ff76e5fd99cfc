#include "TreeContent.h"

#include <cstring>

namespace {

const char* const kWords[] = {
    "the", "of", "and", "to", "in", "is", "that", "for", "it", "as", "with", "be", "on", "not", "this",
    "by", "are", "or", "from", "at", "which", "an", "can", "all", "when", "each", "will", "file", "value",
    "window", "start", "folder", "user", "setting", "option", "version", "program", "system", "path",
    "data", "image", "sound", "layer", "frame", "buffer", "table", "record", "entry", "stream", "module",
    "project", "license", "copy", "free", "software", "terms", "under", "without", "warranty", "any",
    "other", "such", "may", "must", "only", "also", "into", "more", "than", "first", "last", "next",
    "before", "after", "while", "where", "every", "both", "some", "same", "used", "given", "shown",
    "open", "close", "read", "write", "load", "save", "print", "render", "update", "create", "remove",
    "player", "level", "scene", "texture", "shader", "mesh", "camera", "light", "shadow", "color",
    "network", "server", "client", "request", "response", "message", "channel", "session", "token",
    "account", "profile", "language", "locale", "font", "glyph", "cursor", "button", "label", "panel",
    "dialog", "menu", "toolbar", "status", "progress", "error", "warning", "notice", "result", "number",
};
constexpr size_t kWordCount = sizeof kWords / sizeof kWords[0];

const char* const kKeywords[] = {"if", "else", "for", "while", "return", "local", "function", "end", "const",
                                 "let", "var", "def", "class", "import", "from", "self", "this", "new", "null",
                                 "true", "false", "and", "or", "not", "in", "then", "elif", "break"};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];

const char* word(BenchRandom& random) {
  // Skewed toward the front of the list, as word frequencies are.
  const double u = random.unit();
  return kWords[static_cast<size_t>(u * u * kWordCount)];
}

std::string identifier(BenchRandom& random) {
  std::string name = word(random);
  const uint64_t parts = random.below(3);
  for (uint64_t i = 0; i < parts; ++i) {
    std::string next = word(random);
    next[0] = static_cast<char>(next[0] - 'a' + 'A');
    name += next;
  }
  if (random.below(6) == 0) name += std::to_string(random.below(16));
  return name;
}

void prose(std::string& out, uint64_t size, BenchRandom& random) {
  size_t line = 0;
  bool sentence_start = true;
  while (out.size() < size) {
    std::string next = word(random);
    if (sentence_start) next[0] = static_cast<char>(next[0] - 'a' + 'A');
    sentence_start = random.below(12) == 0;
    if (sentence_start) next += random.below(5) == 0 ? "," : ".";
    if (line + next.size() > 78) {
      out += random.below(8) == 0 ? "\n\n" : "\n";
      line = 0;
    } else if (line > 0) {
      out += ' ';
      ++line;
    }
    out += next;
    line += next.size();
  }
}

void code(std::string& out, uint64_t size, BenchRandom& random) {
  int depth = 0;
  while (out.size() < size) {
    out.append(static_cast<size_t>(depth) * 4, ' ');
    switch (random.below(6)) {
      case 0:
        out += kKeywords[random.below(kKeywordCount)];
        out += ' ' + identifier(random) + " == " + std::to_string(random.below(1000)) + " {";
        if (depth < 6) ++depth;
        break;
      case 1:
        if (depth > 0) --depth;
        out += "}";
        break;
      case 2:
        out += identifier(random) + " = " + identifier(random) + "(" + identifier(random) + ", " +
               std::to_string(random.below(256)) + ");";
        break;
      case 3:
        out += "// " + std::string(word(random)) + ' ' + word(random) + ' ' + word(random) + ' ' + word(random);
        break;
      case 4:
        out += "return " + identifier(random) + "." + identifier(random) + ";";
        break;
      default:
        out += identifier(random) + "." + identifier(random) + "(\"" + word(random) + "\");";
        break;
    }
    out += '\n';
  }
}

void markup(std::string& out, uint64_t size, BenchRandom& random) {
  int depth = 1;
  out += "{\n";
  while (out.size() < size) {
    out.append(static_cast<size_t>(depth) * 2, ' ');
    out += '"' + identifier(random) + "\": ";
    switch (random.below(5)) {
      case 0:
        out += "{";
        if (depth < 8) ++depth;
        break;
      case 1: out += std::to_string(random.below(100000)) + ","; break;
      case 2: out += random.below(2) ? "true," : "false,"; break;
      default: out += '"' + std::string(word(random)) + ' ' + word(random) + "\","; break;
    }
    out += '\n';
    if (depth > 1 && random.below(4) == 0) {
      --depth;
      out.append(static_cast<size_t>(depth) * 2, ' ');
      out += "},\n";
    }
  }
}

void records(std::string& out, uint64_t size, BenchRandom& random) {
  uint64_t id = random.below(1000);
  while (out.size() < size) {
    id += 1 + random.below(3);
    out += std::to_string(id) + '|' + identifier(random) + '|' + std::to_string(random.below(1u << 20)) + '|' + "20" +
           std::to_string(10 + random.below(15)) + '-' + std::to_string(1 + random.below(12)) + '-' +
           std::to_string(1 + random.below(28)) + '|' + word(random) + '\n';
  }
}

void noise(std::string& out, uint64_t size, BenchRandom& random) {
  out.resize(size);
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const uint64_t value = random.next();
    std::memcpy(&out[i], &value, 8);
  }
  for (; i < size; ++i) out[i] = static_cast<char>(random.next());
}

// Executable-like: most of a real binary is machine code drawn from a small set of instruction
// patterns with varying operands, plus string tables, zero padding and some packed resources.
void machine(std::string& out, uint64_t size, BenchRandom& random) {
  std::string opcodes[48];
  for (std::string& opcode : opcodes) {
    const uint64_t length = 1 + random.below(4);
    for (uint64_t i = 0; i < length; ++i) opcode += static_cast<char>(random.next());
  }
  constexpr uint64_t kBlock = 4096;
  while (out.size() < size) {
    const uint64_t block_end = out.size() + kBlock;
    const uint64_t choice = random.below(20);
    if (choice < 11) {
      while (out.size() < block_end) {
        out += opcodes[random.below(48)];
        const uint64_t operand = random.below(4);
        for (uint64_t i = 0; i < operand; ++i) out += static_cast<char>(random.below(4) == 0 ? random.next() : 0);
      }
    } else if (choice < 15) {
      while (out.size() < block_end) out += identifier(random) + '\0';
    } else if (choice < 17) {
      out.append(kBlock, '\0');
    } else {
      std::string block;
      noise(block, kBlock, random);
      out += block;
    }
  }
}

}  // namespace

uint64_t BenchRandom::next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

uint64_t hashText(const std::string& text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char byte : text) hash = (hash ^ byte) * 0x100000001B3ull;
  return hash;
}

std::string makeContent(ContentKind kind, uint64_t size, uint64_t seed) {
  BenchRandom random(seed);
  std::string out;
  out.reserve(size + 256);
  switch (kind) {
    case ContentKind::prose: prose(out, size, random); break;
    case ContentKind::code: code(out, size, random); break;
    case ContentKind::markup: markup(out, size, random); break;
    case ContentKind::records: records(out, size, random); break;
    case ContentKind::machine: machine(out, size, random); break;
    case ContentKind::noise: noise(out, size, random); break;
  }
  out.resize(size);
  return out;
}
