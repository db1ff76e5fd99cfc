#include "FolderPrefix.h"

size_t sharedFolderPrefix(const WideUnit* path, size_t path_length, const WideUnit* seen, size_t seen_length) {
  size_t shared = 0;
  for (size_t at = 0;; ++at) {
    const bool path_ends = at == path_length || path[at] == '\\';
    const bool seen_ends = at == seen_length || seen[at] == '\\';
    if (path_ends && seen_ends) shared = at;
    if (at == path_length || at == seen_length || path[at] != seen[at]) return shared;
  }
}
