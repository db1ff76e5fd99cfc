#include "LocationTemplate.h"

#include <stdlib.h>
#include <wctype.h>

#include "Environment.h"
#include "LauncherBuildConfig.h"
#include "TemplateSystemValues.h"
#include "WideString.h"

namespace {

// A name holds at most 1023 units and its terminator. Longer names are not kept: none of the
// variables is that long, so such a name is unknown and fails the expansion when it closes.
constexpr size_t kNameCapacity = 1024;

const WideUnit kProductName[] = WIDE_TEXT(ONEFILE_PRODUCT_NAME);
const WideUnit kProductVersion[] = WIDE_TEXT(ONEFILE_PRODUCT_VERSION);
const WideUnit kProgramTemplate[] = WIDE_TEXT("{PROGRAM}");

enum class Variable { temp, program, programBase, programDir, pid, home, cacheDir, product, version, time, unknown };

const struct {
  const char* name;
  Variable variable;
} kVariables[] = {
    {"TEMP", Variable::temp},         {"PROGRAM", Variable::program}, {"PROGRAM_BASE", Variable::programBase},
    {"PROGRAM_DIR", Variable::programDir}, {"PID", Variable::pid},     {"HOME", Variable::home},
    {"CACHE_DIR", Variable::cacheDir}, {"PRODUCT", Variable::product}, {"VERSION", Variable::version},
    {"TIME", Variable::time},
};

// Only ASCII letters are folded. The names and ".exe" are ASCII, and in the "C" locale, which the
// launcher never leaves, _wcsicmp folds no other letters either.
WideUnit foldAsciiCase(WideUnit unit) {
  return unit >= 'a' && unit <= 'z' ? static_cast<WideUnit>(unit - ('a' - 'A')) : unit;
}

bool equalsIgnoringAsciiCase(const WideUnit* text, const char* ascii) {
  for (; *ascii != 0; ++text, ++ascii) {
    if (foldAsciiCase(*text) != foldAsciiCase(static_cast<WideUnit>(*ascii))) return false;
  }
  return *text == 0;
}

Variable findVariable(const WideUnit* name) {
  for (const auto& entry : kVariables) {
    if (equalsIgnoringAsciiCase(name, entry.name)) return entry.variable;
  }
  return Variable::unknown;
}

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
  if (length > 3 && equalsIgnoringAsciiCase(path + length - 4, ".exe")) {
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

bool appendVariable(Expansion& expansion, Variable variable) {
  switch (variable) {
    case Variable::temp:
      if (!appendWrittenBySystem(expansion, writeTemporaryDirectory)) return false;
      removeTrailingBackslashes(expansion);
      return true;
    case Variable::program: return appendWrittenBySystem(expansion, writeProgramPath);
    case Variable::programBase: return appendProgramBase(expansion);
    case Variable::programDir: return appendProgramDirectory(expansion);
    case Variable::pid: appendProcessId(expansion); return true;
    case Variable::home: return appendFolder(expansion, readProfileDirectory);
    case Variable::cacheDir: return appendFolder(expansion, readLocalAppDataDirectory);
    case Variable::product: appendValue(expansion, kProductName); return true;
    case Variable::version: appendValue(expansion, kProductVersion); return true;
    case Variable::time: appendStartTime(expansion); return true;
    case Variable::unknown: return false;
  }
  return false;
}

// The name between "{" and "}". Units beyond the buffer are not stored; they only mark the name
// as too long to be any variable.
struct OpenName {
  WideBuffer<kNameCapacity> units;
  size_t length;
  bool too_long;
};

void restartName(OpenName& name) {
  name.length = 0;
  name.too_long = false;
}

void addToName(OpenName& name, WideUnit unit) {
  if (name.length + 1 < kNameCapacity) {
    name.units[name.length++] = unit;
  } else {
    name.too_long = true;
  }
}

Variable closeName(OpenName& name) {
  if (name.too_long) return Variable::unknown;
  name.units[name.length] = 0;
  return findVariable(name.units);
}

}  // namespace

bool expandLocationTemplate(WideUnit* output, const WideUnit* template_text, size_t capacity) {
  // Without room for the terminator nothing may be written at all.
  if (capacity == 0) return false;
  output[0] = 0;
  Expansion expansion = {output, capacity, 0};
  OpenName name;
  bool name_open = false;
  for (const WideUnit* unit = template_text; *unit != 0; ++unit) {
    if (*unit == '{') {
      // A second "{" drops the name collected so far and starts afresh.
      restartName(name);
      name_open = true;
    } else if (*unit == '}' && name_open) {
      name_open = false;
      if (!appendVariable(expansion, closeName(name))) return false;
    } else if (name_open) {
      addToName(name, *unit);
    } else if (!appendLiteral(expansion, *unit)) {
      // A "}" without an open name lands here too and is kept as a literal unit.
      return false;
    }
  }
  // A name still open at the end is dropped without trace.
  return true;
}
// NOLINTEND(misc-no-recursion)
