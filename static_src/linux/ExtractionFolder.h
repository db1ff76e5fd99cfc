// The extraction directory and the folders above it, made where missing and checked on the way
// from the root down (SharedFolderRule.h), before the start locks the directory and unpacks into
// it.
#pragma once

#include "OnefilePlatform.h"

// `directory` is the expanded extraction directory (absolute, "\" between components). Makes what
// is missing, private below a folder anyone can write to; ends the launcher with a report naming
// the folder when one on the way below such a folder belongs to another user or is writable by
// others. A folder that cannot be made is left to the first file's open, which reports it.
void makeExtractionFolder(const WideUnit* directory);
