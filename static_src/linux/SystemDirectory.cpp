#include "SystemDirectory.h"

#include <errno.h>
#include <sys/stat.h>

#include "SystemPathText.h"

namespace {
char PathBytes[4097 * 3];
}

// A folder of the payload, below the extraction directory, which is the user's own and private
// where it has to be (ExtractionFolder.h): the usual mode is enough.
DirectoryOutcome createSystemDirectory(const WideUnit* path) {
  if (!encodeSystemText(path, kAllEscaped, PathBytes, sizeof PathBytes, true)) return DirectoryOutcome::failed;
  if (mkdir(PathBytes, 0755) == 0) return DirectoryOutcome::created;
  return errno == EEXIST ? DirectoryOutcome::alreadyExists : DirectoryOutcome::failed;
}
