// How a location template reads: the one parser behind the launcher's expansion and the packer's
// check of an extraction template, so that what the packer accepts is what the launcher expands.
//
// Outside braces every unit is literal; "{" opens a variable name (a second "{" drops what was
// collected and starts afresh) and "}" closes it. A name still open at the end is dropped, and a
// "}" with no open name is a literal unit. Names match the variables in any ASCII case.
//
// The expander takes these rules as they are. The check refuses what they merely tolerate
// (a dropped name, a restarted name, a stray "}") along with unknown and over-long names.
#pragma once

#include "OnefilePlatform.h"

enum class TemplateVariable : uint8_t {
  temp,
  program,
  programBase,
  programDir,
  pid,
  home,
  cacheDir,
  product,
  version,
  company,
  time,
  build,
  unknown,
};

// Units that BUILD gives: the first of the build id's digits. Enough to tell builds apart in a
// folder name; the whole id stays in the settings.
constexpr size_t kBuildVariableLength = 8;

// Names longer than this (in units) match no variable and are refused by the check.
constexpr size_t kTemplateNameLimit = 1023;

// Units of an extraction template the check accepts, the terminator not counted.
constexpr size_t kTemplateLengthLimit = 1023;

enum class TemplatePieceKind : uint8_t { literal, variable, end };

struct TemplatePiece {
  TemplatePieceKind kind;
  WideUnit unit;              // literal: the unit
  TemplateVariable variable;  // variable: which one (unknown for any other or an over-long name)
  size_t position;            // where the piece (its "{" for a variable) begins in the template
  size_t name_start;          // variable: the name's first unit and its length
  size_t name_length;
  bool restarted;             // variable: a "{" inside the name dropped what came before it
  bool stray_close;           // literal: a "}" with no name open
  bool left_open;             // end: a name was still open and is dropped
};

// The piece at `*at`, advancing `*at` past it. At the end the piece is `end` and `*at` stays.
TemplatePiece nextTemplatePiece(const WideUnit* template_text, size_t* at);

// Compares `length` units with an ASCII text, folding ASCII letters only: in the "C" locale that
// the launcher never leaves, no other letters fold either.
bool equalsAsciiIgnoringCase(const WideUnit* text, size_t length, const char* ascii);

// The variable's name in upper case, for messages ("CACHE_DIR"); "" for unknown.
const char* templateVariableName(TemplateVariable variable);

enum class TemplateProblem : uint8_t {
  none,
  empty,
  tooLong,             // more than kTemplateLengthLimit units
  unknownVariable,     // a name that is none of the variables
  nameTooLong,         // a name of more than kTemplateNameLimit units
  unclosedName,        // a "{" whose name is never closed, or is cut off by another "{"
  strayClosingBrace,   // a "}" with no name open
  invalidCharacter,    // a literal unit no Windows path can hold: a control character, < > " | ? *,
                       // or a ":" anywhere but after the drive letter
  notAbsolute,         // the start gives no absolute path: neither a drive ("C:\"), a UNC or
                       // device path ("\\"), nor one of TEMP, HOME, CACHE_DIR, PROGRAM,
                       // PROGRAM_BASE, PROGRAM_DIR
};

struct TemplateCheck {
  TemplateProblem problem;
  size_t position;     // of the offending unit or the "{" of the offending name
  size_t name_start;   // unknownVariable, nameTooLong: the name
  size_t name_length;
};

// Which system's paths a template gives. A Windows path begins with a drive or "\\"; a Linux path
// with "/", and may hold the characters Windows keeps out of names (":", "<", "*", ...).
enum class PathStyle : uint8_t { windows, linux };

// Whether the template can serve as an extraction directory.
TemplateCheck checkExtractionTemplate(const WideUnit* template_text, PathStyle style = PathStyle::windows);

// Whether the template names the variable anywhere.
bool templateUses(const WideUnit* template_text, TemplateVariable variable);
