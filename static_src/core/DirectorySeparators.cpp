#include "DirectorySeparators.h"

namespace {

bool isSeparator(WideUnit unit) { return unit == '\\' || unit == '/'; }

}  // namespace

size_t normalizeDirectorySeparators(WideUnit* path) {
  size_t written = 0;
  size_t read = 0;
  if (isSeparator(path[0]) && isSeparator(path[1])) {
    path[0] = '\\';
    path[1] = '\\';
    written = 2;
    read = 2;
    while (isSeparator(path[read])) ++read;
  }
  const size_t kept_prefix = written;
  for (; path[read] != 0; ++read) {
    const WideUnit unit = path[read];
    if (isSeparator(unit)) {
      if (written > kept_prefix && path[written - 1] == '\\') continue;
      path[written++] = '\\';
    } else {
      path[written++] = unit;
    }
  }
  while (written > kept_prefix && path[written - 1] == '\\') --written;
  path[written] = 0;
  return written;
}
