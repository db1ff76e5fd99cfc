#include "SupersededBuilds.h"

#include "TemplateSyntax.h"
#include "WideString.h"

bool templateSeparatesBuilds(const WideUnit* template_text) {
  size_t at = 0;
  bool current_separates = false;
  bool current_empty = true;
  bool last_separates = false;
  for (;;) {
    const TemplatePiece piece = nextTemplatePiece(template_text, &at);
    if (piece.kind == TemplatePieceKind::end) return current_empty ? last_separates : current_separates;
    if (piece.kind == TemplatePieceKind::literal && (piece.unit == '\\' || piece.unit == '/')) {
      if (!current_empty) last_separates = current_separates;
      current_separates = false;
      current_empty = true;
      continue;
    }
    current_empty = false;
    if (piece.kind == TemplatePieceKind::variable &&
        (piece.variable == TemplateVariable::version || piece.variable == TemplateVariable::build))
      current_separates = true;
  }
}

bool splitExtractionDirectory(const WideUnit* directory, size_t& parent_length, size_t& name_start) {
  const size_t length = wideLength(directory);
  size_t last = length;
  for (size_t i = 0; i < length; ++i)
    if (directory[i] == '\\') last = i;
  if (last == length || last + 1 == length || last == 0) return false;
  parent_length = last;
  name_start = last + 1;
  return true;
}

void chooseBuildsToKeep(BuildCandidate* candidates, size_t count, uint32_t keep) {
  for (size_t i = 0; i < count; ++i) {
    const uint64_t time = candidates[i].last_used;
    size_t later = 0;
    // Equal times are ordered by position, so that exactly `keep` of any part are kept.
    for (size_t j = 0; j < count; ++j) {
      const uint64_t other = candidates[j].last_used;
      if (other > time || (other == time && j < i)) ++later;
    }
    candidates[i].keep = later < keep;
  }
}
