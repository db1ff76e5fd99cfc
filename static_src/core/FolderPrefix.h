// Which folders on the way to a file a start has looked at already. Payload names come sorted by
// folder, so the folders of one entry are mostly those of the entry before; only the components
// past the part they share need a look.
#pragma once

#include "OnefilePlatform.h"

// The length of the longest leading part of `path` (its first `path_length` units) that is also a
// leading part of `seen` (its first `seen_length` units) and ends where a component of both ends:
// at a "\" or at the end of the text. 0 when they share no whole component.
size_t sharedFolderPrefix(const WideUnit* path, size_t path_length, const WideUnit* seen, size_t seen_length);
