#include "LocationTemplate.h"

#include <stdlib.h>
#include <wctype.h>

#include "Environment.h"
#include "LauncherSettings.h"
#include "TemplateSyntax.h"
#include "TemplateSystemValues.h"
#include "WideString.h"

namespace {

const WideUnit kProgramTemplate[] = WIDE_TEXT("{PROGRAM}");

// The output region and the length of the text expanded into it so far; the remaining room is
// capacity - length.
struct Expansion {
  WideUnit* output;
  size_t capacity;
  size_t length;
};

WideUnit* expansionEnd(const Expansion& expansion) { return expansion.output + expansion.length; }

bool appendLiteral(Expansion& expansion, WideUnit unit) {
  if (expansion.capacity - expansion.length < 2) return false;
  expansion.output[expansion.length++] = unit;
  expansion.output[expansion.length] = 0;
  return true;
}

// A value that does not fit stops the launcher (the overflow rule of the bounded texts).
void appendValue(Expansion& expansion, const WideUnit* value) {
  appendWideString(expansion.output, expansion.capacity, value);
  expansion.length += wideLength(value);
}

// Works on the whole output, so a separator written after a folder never doubles its backslash.
void removeTrailingBackslashes(Expansion& expansion) {
  while (expansion.length > 0 && expansion.output[expansion.length - 1] == '\\') {
    expansion.output[--expansion.length] = 0;
  }
}

// The system writes in place at the end of the output. A failed query, or a text cut short for
// want of room, fails the expansion rather than yield a wrong path; what the system may have
// written is dropped.
bool appendWrittenBySystem(Expansion& expansion, uint32_t (*query)(WideUnit*, size_t)) {
  WideUnit* const end = expansionEnd(expansion);
  const size_t room = expansion.capacity - expansion.length;
  const uint32_t result = query(end, room);
  if (result == 0 || result >= room) {
    *end = 0;
    return false;
  }
  expansion.length += wideLength(end);
  return true;
}

bool appendFolder(Expansion& expansion, bool (*query)(FolderPath&)) {
  FolderPath folder = {0};
  if (!query(folder)) return false;
  folder[kFolderPathCapacity - 1] = 0;
  appendValue(expansion, folder);
  removeTrailingBackslashes(expansion);
  return true;
}

// NOLINTBEGIN(misc-no-recursion): the nested expansion of "{PROGRAM}" below is the only recursion,
// and it is one level deep: that template holds no variable that expands another template.

// The launcher's path, through a nested expansion of "{PROGRAM}" at the end of the output; returns
// where that path begins, or null when it could not be had.
WideUnit* appendProgramPath(Expansion& expansion) {
  WideUnit* const path = expansionEnd(expansion);
  if (!expandLocationTemplate(path, kProgramTemplate, expansion.capacity - expansion.length)) return nullptr;
  return path;
}

// The full path without a final ".exe" (any case), not the bare file name.
bool appendProgramBase(Expansion& expansion) {
  WideUnit* const path = appendProgramPath(expansion);
  if (path == nullptr) return false;
  size_t length = wideLength(path);
  if (length > 3 && equalsAsciiIgnoringCase(path + length - 4, 4, ".exe")) {
    length -= 4;
    path[length] = 0;
  }
  expansion.length += length;
  return true;
}

// Cut at the last backslash with nothing added back: C:\b.exe gives C:.
bool appendProgramDirectory(Expansion& expansion) {
  WideUnit* const path = appendProgramPath(expansion);
  if (path == nullptr) return false;
  size_t length = wideLength(path);
  for (size_t position = length; position > 0; --position) {
    if (path[position - 1] == '\\') {
      length = position - 1;
      path[length] = 0;
      break;
    }
  }
  expansion.length += length;
  return true;
}

bool isDigitText(const WideUnit* text) {
  const wctype_t digit = wctype("digit");
  for (; *text != 0; ++text) {
    if (!iswctype(static_cast<wint_t>(*text), digit)) return false;
  }
  return true;
}

// An inherited id that is not all digits cannot be a process id: stop rather than build paths
// from it.
void appendProcessId(Expansion& expansion) {
  WideUnit* const inherited = getEnvironmentValue("TOLVAR_ONEFILE_PARENT");
  if (inherited != nullptr) {
    if (!isDigitText(inherited)) stopWithoutReport();
    appendValue(expansion, inherited);
    free(inherited);
    return;
  }
  DecimalText own_id;
  formatDecimal(own_id, static_cast<int32_t>(currentProcessId()));
  appendAsciiString(expansion.output, expansion.capacity, own_id);
  expansion.length = wideLength(expansion.output);
}

// The first start time is stored in the environment, so every later {TIME} of this process and of
// the child gives the same value.
void appendStartTime(Expansion& expansion) {
  WideUnit* const inherited = getEnvironmentValue("TOLVAR_ONEFILE_START");
  if (inherited != nullptr) {
    appendValue(expansion, inherited);
    free(inherited);
    return;
  }
  WideDecimalText now;
  formatDecimalWide(now, static_cast<int64_t>(currentFileTime()));
  setEnvironmentValue("TOLVAR_ONEFILE_START", now);
  appendValue(expansion, now);
}

// A folder name short enough to read, and one that a build of other content does not share. No
// build id (a stub without settings, or settings of layout 1) gives no folder: a template naming
// BUILD is refused with such settings, so only a template from elsewhere gets here.
bool appendBuild(Expansion& expansion, const WideUnit* build_id) {
  if (build_id[0] == 0) return false;
  WideUnit shown[kBuildVariableLength + 1];
  size_t length = 0;
  for (; length < kBuildVariableLength && build_id[length] != 0; ++length) shown[length] = build_id[length];
  shown[length] = 0;
  appendValue(expansion, shown);
  return true;
}

bool appendVariable(Expansion& expansion, TemplateVariable variable) {
  const LauncherSettings& settings = activeLauncherSettings();
  switch (variable) {
    case TemplateVariable::temp:
      if (!appendWrittenBySystem(expansion, writeTemporaryDirectory)) return false;
      removeTrailingBackslashes(expansion);
      return true;
    case TemplateVariable::program: return appendWrittenBySystem(expansion, writeProgramPath);
    case TemplateVariable::programBase: return appendProgramBase(expansion);
    case TemplateVariable::programDir: return appendProgramDirectory(expansion);
    case TemplateVariable::pid: appendProcessId(expansion); return true;
    case TemplateVariable::home: return appendFolder(expansion, readProfileDirectory);
    case TemplateVariable::cacheDir: return appendFolder(expansion, readLocalAppDataDirectory);
    case TemplateVariable::product: appendValue(expansion, settings.product); return true;
    case TemplateVariable::version: appendValue(expansion, settings.version); return true;
    case TemplateVariable::company: appendValue(expansion, companyOrProduct(settings)); return true;
    case TemplateVariable::time: appendStartTime(expansion); return true;
    case TemplateVariable::build: return appendBuild(expansion, settings.build_id);
    case TemplateVariable::unknown: return false;
  }
  return false;
}

}  // namespace

bool expandLocationTemplate(WideUnit* output, const WideUnit* template_text, size_t capacity) {
  // Without room for the terminator nothing may be written at all.
  if (capacity == 0) return false;
  output[0] = 0;
  Expansion expansion = {output, capacity, 0};
  // The parser drops a name still open at the end, restarts a name at a second "{" and keeps a
  // "}" without an open name as a literal unit.
  for (size_t at = 0;;) {
    const TemplatePiece piece = nextTemplatePiece(template_text, &at);
    switch (piece.kind) {
      case TemplatePieceKind::end: return true;
      case TemplatePieceKind::literal:
        if (!appendLiteral(expansion, piece.unit)) return false;
        break;
      case TemplatePieceKind::variable:
        if (!appendVariable(expansion, piece.variable)) return false;
        break;
    }
  }
}
// NOLINTEND(misc-no-recursion)
