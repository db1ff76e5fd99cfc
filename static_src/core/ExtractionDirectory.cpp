#include "ExtractionDirectory.h"

#include "DirectorySeparators.h"
#include "LocationTemplate.h"

bool expandExtractionDirectory(WideUnit* output, const WideUnit* template_text, size_t capacity) {
  const bool expanded = expandLocationTemplate(output, template_text, capacity);
  if (capacity > 0) normalizeDirectorySeparators(output);
  return expanded;
}
