// Which folders beside a start's own hold builds it may remove, as rules over data: the start's
// own folder and its parent, whether the template gives each build a folder of its own, and which
// of the other builds are kept.
#pragma once

#include "OnefilePlatform.h"

// A template makes folders that belong to one build only when its last folder name holds
// {VERSION} or {BUILD}: with any other (a fixed folder, {PROGRAM_DIR}) the folders beside it are
// not the application's builds, and nothing there may be removed. Trailing separators are not a
// folder of their own.
bool templateSeparatesBuilds(const WideUnit* template_text);

// Splits a normalised extraction directory (no trailing separator) at its last "\": the parent's
// length and where the folder's own name begins. False when there is no parent to look in (no
// "\", or the name is empty).
bool splitExtractionDirectory(const WideUnit* directory, size_t& parent_length, size_t& name_start);

// One other build found beside the start's own, and when a start last used it (any clock whose
// later values are larger).
struct BuildCandidate {
  uint64_t last_used;
  bool keep;
};

// Marks the `keep` most recently used candidates to be kept, the others to be removed. The rule is
// safe on a part of all candidates as well: a candidate with `keep` later ones in the part has at
// least as many among all of them, so it is never among the `keep` most recent overall.
void chooseBuildsToKeep(BuildCandidate* candidates, size_t count, uint32_t keep);
