#include "ExtractionDirectoryLength.h"

#include "TemplateSystemValues.h"

namespace {

// "-2147483648": the process id is formatted as a signed 32-bit number.
constexpr size_t kLongestProcessId = 11;
// "-9223372036854775808": the start time is formatted as a signed 64-bit number.
constexpr size_t kLongestStartTime = 20;

// Not WideString's: the packer links this unit too, and has no stop of the overflow rule.
size_t textLength(const WideUnit* text) {
  size_t length = 0;
  while (text[length] != 0) ++length;
  return length;
}

}  // namespace

size_t longestSystemValue(TemplateVariable variable) {
  switch (variable) {
    // The folder queries write into buffers of MAX_PATH units, the terminator among them. The
    // temporary directory comes with at most MAX_PATH + 1 units, of which the trailing "\" goes.
    // For the launcher's own path MAX_PATH is an assumed bound, not the system's: a launcher
    // started from a longer path is beyond it, and such a start may fail where this check let the
    // template pass.
    case TemplateVariable::temp:
    case TemplateVariable::home:
    case TemplateVariable::cacheDir:
    case TemplateVariable::program:
    case TemplateVariable::programBase:
    case TemplateVariable::programDir: return kFolderPathCapacity;
    // Both may instead be inherited from the environment, as any length of text. A launcher that
    // starts another one hands on what it formatted itself, which these bounds hold; a value set
    // by hand is beyond them.
    case TemplateVariable::pid: return kLongestProcessId;
    case TemplateVariable::time: return kLongestStartTime;
    case TemplateVariable::product:
    case TemplateVariable::version:
    case TemplateVariable::company:
    case TemplateVariable::build:
    case TemplateVariable::unknown: break;
  }
  return 0;
}

size_t longestExtractionDirectory(const WideUnit* template_text, const TemplateIdentity& identity) {
  size_t length = 0;
  for (size_t at = 0;;) {
    const TemplatePiece piece = nextTemplatePiece(template_text, &at);
    switch (piece.kind) {
      case TemplatePieceKind::end: return length;
      case TemplatePieceKind::literal: ++length; break;
      case TemplatePieceKind::variable:
        if (piece.variable == TemplateVariable::product) {
          length += textLength(identity.product);
        } else if (piece.variable == TemplateVariable::version) {
          length += textLength(identity.version);
        } else if (piece.variable == TemplateVariable::company) {
          length += textLength(identity.company);
        } else if (piece.variable == TemplateVariable::build) {
          length += kBuildVariableLength;
        } else {
          length += longestSystemValue(piece.variable);
        }
        break;
    }
  }
}
