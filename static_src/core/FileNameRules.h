// What Windows can hold as one component of a path (a file or folder name), as a rule over
// UTF-16 units. The packer applies it to every name it packs and to the values that an
// extraction template turns into folder names; every reader of a payload (the launcher, the
// packer's extract) applies it to each component of a payload name, and the launcher to the values
// of its settings resource. Windows would fold a name that breaks it into another name or open a
// device instead of a file, so two entries could alias one file or a write could reach a device.
#pragma once

#include "OnefilePlatform.h"

enum class FileNameProblem : uint8_t {
  none,
  empty,               // nothing between two separators, or a rooted name
  controlCharacter,    // a unit below U+0020
  reservedCharacter,   // one of < > : " / \ | ? * (":" also names drives and alternate streams)
  trailingDotOrSpace,  // Windows drops it, so "a." is "a" on disk; also "." and ".."
  deviceName,          // CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and COM/LPT with ¹ ² ³), with any extension
};

// True for a unit Windows does not allow anywhere in a file name.
bool isReservedNameUnit(WideUnit unit);

// The first problem of the `length` units at `name` (no separators in it); *at (when not null)
// receives the position of the offending unit for the two character problems.
FileNameProblem fileNameProblem(const WideUnit* name, size_t length, size_t* at);
