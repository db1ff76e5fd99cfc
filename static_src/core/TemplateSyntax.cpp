#include "TemplateSyntax.h"

namespace {

const struct {
  const char* name;
  TemplateVariable variable;
} kVariables[] = {
    {"TEMP", TemplateVariable::temp},         {"PROGRAM", TemplateVariable::program},
    {"PROGRAM_BASE", TemplateVariable::programBase}, {"PROGRAM_DIR", TemplateVariable::programDir},
    {"PID", TemplateVariable::pid},           {"HOME", TemplateVariable::home},
    {"CACHE_DIR", TemplateVariable::cacheDir}, {"PRODUCT", TemplateVariable::product},
    {"VERSION", TemplateVariable::version},   {"COMPANY", TemplateVariable::company},
    {"TIME", TemplateVariable::time},         {"BUILD", TemplateVariable::build},
};

WideUnit foldAsciiCase(WideUnit unit) {
  return unit >= 'a' && unit <= 'z' ? static_cast<WideUnit>(unit - ('a' - 'A')) : unit;
}

TemplateVariable findVariable(const WideUnit* name, size_t length) {
  if (length > kTemplateNameLimit) return TemplateVariable::unknown;
  for (const auto& entry : kVariables) {
    if (equalsAsciiIgnoringCase(name, length, entry.name)) return entry.variable;
  }
  return TemplateVariable::unknown;
}

bool givesAbsolutePath(TemplateVariable variable) {
  switch (variable) {
    case TemplateVariable::temp:
    case TemplateVariable::program:
    case TemplateVariable::programBase:
    case TemplateVariable::programDir:
    case TemplateVariable::home:
    case TemplateVariable::cacheDir: return true;
    default: return false;
  }
}

bool isAsciiLetter(WideUnit unit) { return (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z'); }
bool isSeparator(WideUnit unit) { return unit == '\\' || unit == '/'; }

// "C:\" or "\\" (a UNC or device path) at the very start, as literal units.
bool startsWithAbsoluteLiteral(const WideUnit* text, PathStyle style) {
  if (style == PathStyle::linux) return text[0] == '/';
  if (isSeparator(text[0]) && isSeparator(text[1])) return true;
  return isAsciiLetter(text[0]) && text[1] == ':' && isSeparator(text[2]);
}

bool isInvalidPathUnit(WideUnit unit, size_t position, const WideUnit* text, PathStyle style) {
  if (unit < 0x20) return true;
  if (style == PathStyle::linux) return false;
  if (unit == ':') return !(position == 1 && isAsciiLetter(text[0]));
  static const char kReserved[] = "<>\"|?*";
  for (const char* reserved = kReserved; *reserved != 0; ++reserved) {
    if (unit == static_cast<WideUnit>(*reserved)) return true;
  }
  return false;
}

TemplateCheck problemAt(TemplateProblem problem, size_t position) { return {problem, position, 0, 0}; }

}  // namespace

bool equalsAsciiIgnoringCase(const WideUnit* text, size_t length, const char* ascii) {
  size_t i = 0;
  for (; i < length && ascii[i] != 0; ++i) {
    if (foldAsciiCase(text[i]) != foldAsciiCase(static_cast<WideUnit>(ascii[i]))) return false;
  }
  return i == length && ascii[i] == 0;
}

const char* templateVariableName(TemplateVariable variable) {
  for (const auto& entry : kVariables) {
    if (entry.variable == variable) return entry.name;
  }
  return "";
}

TemplatePiece nextTemplatePiece(const WideUnit* template_text, size_t* at) {
  TemplatePiece piece = {TemplatePieceKind::end, 0, TemplateVariable::unknown, *at, 0, 0, false, false, false};
  size_t position = *at;
  if (template_text[position] == 0) return piece;
  if (template_text[position] != '{') {
    piece.kind = TemplatePieceKind::literal;
    piece.unit = template_text[position];
    piece.stray_close = piece.unit == '}';
    *at = position + 1;
    return piece;
  }
  size_t name_start = position + 1;
  for (size_t scan = name_start;; ++scan) {
    const WideUnit unit = template_text[scan];
    if (unit == 0) {
      // The position is that of the "{" left open.
      piece.left_open = true;
      piece.position = name_start - 1;
      *at = scan;
      return piece;
    }
    if (unit == '{') {
      piece.restarted = true;
      name_start = scan + 1;
    } else if (unit == '}') {
      piece.kind = TemplatePieceKind::variable;
      piece.name_start = name_start;
      piece.name_length = scan - name_start;
      piece.variable = findVariable(template_text + name_start, piece.name_length);
      *at = scan + 1;
      return piece;
    }
  }
}

TemplateCheck checkExtractionTemplate(const WideUnit* template_text, PathStyle style) {
  size_t at = 0;
  bool first = true;
  for (;;) {
    const TemplatePiece piece = nextTemplatePiece(template_text, &at);
    switch (piece.kind) {
      case TemplatePieceKind::end:
        if (piece.left_open) return problemAt(TemplateProblem::unclosedName, piece.position);
        if (first) return problemAt(TemplateProblem::empty, 0);
        if (at > kTemplateLengthLimit) return problemAt(TemplateProblem::tooLong, kTemplateLengthLimit);
        return problemAt(TemplateProblem::none, 0);
      case TemplatePieceKind::literal:
        if (piece.stray_close) return problemAt(TemplateProblem::strayClosingBrace, piece.position);
        if (isInvalidPathUnit(piece.unit, piece.position, template_text, style)) {
          return problemAt(TemplateProblem::invalidCharacter, piece.position);
        }
        if (first && !startsWithAbsoluteLiteral(template_text, style)) return problemAt(TemplateProblem::notAbsolute, 0);
        break;
      case TemplatePieceKind::variable:
        if (piece.restarted) return problemAt(TemplateProblem::unclosedName, piece.position);
        if (piece.variable == TemplateVariable::unknown) {
          const TemplateProblem problem =
              piece.name_length > kTemplateNameLimit ? TemplateProblem::nameTooLong : TemplateProblem::unknownVariable;
          return {problem, piece.position, piece.name_start, piece.name_length};
        }
        if (first && !givesAbsolutePath(piece.variable)) return problemAt(TemplateProblem::notAbsolute, 0);
        break;
    }
    first = false;
  }
}

bool templateUses(const WideUnit* template_text, TemplateVariable variable) {
  size_t at = 0;
  for (;;) {
    const TemplatePiece piece = nextTemplatePiece(template_text, &at);
    if (piece.kind == TemplatePieceKind::end) return false;
    if (piece.kind == TemplatePieceKind::variable && piece.variable == variable) return true;
  }
}
