// How long the extraction directory can become, known from the settings alone, so that a template
// whose directory no start could use is refused when it is packed and when it is read, not at
// some later start on a machine with longer folders.
#pragma once

#include "OnefilePlatform.h"
#include "TemplateSyntax.h"

// Units of the path of the program a start runs, the terminator included.
constexpr size_t kChildPathCapacity = 1024;

// The longest extraction directory a start can use: the program's path is the directory, "\" and
// a name of at least one unit, and must leave room for its terminator. Every other path of a file
// (directory, "\", a name of at most 1023 units) then fits the 4096 units of an entry's path.
constexpr size_t kExtractionDirectoryLimit = kChildPathCapacity - 3;

// The most units that a variable the system answers can give; 0 for the others.
size_t longestSystemValue(TemplateVariable variable);

// The values a template's identity variables give: COMPANY's is the product's when there is no
// company.
struct TemplateIdentity {
  const WideUnit* product;
  const WideUnit* version;
  const WideUnit* company;
};

// The most units an extraction template can expand to: literal units as they stand, PRODUCT,
// VERSION and COMPANY as their values, BUILD at kBuildVariableLength, the system's variables at
// longestSystemValue.
size_t longestExtractionDirectory(const WideUnit* template_text, const TemplateIdentity& identity);
