// What Windows can hold as one component of a path (a file or folder name), as a rule over
// UTF-16 units. The packer applies it to every name it packs and to the values that an
// extraction template turns into folder names; the launcher applies it to the values of its
// settings resource, so a value the packer would refuse never reaches a path.
#pragma once

#include "OnefilePlatform.h"

enum class FileNameProblem : uint8_t {
  none,
  empty,
  controlCharacter,    // a unit below U+0020
  reservedCharacter,   // one of < > : " / \ | ? *
  trailingDotOrSpace,  // Windows drops it, so the name on disk would differ
  deviceName,          // CON, PRN, AUX, NUL, COM1-9, LPT1-9, also with an extension ("nul.txt")
};

// The first problem of the `length` units at `name`; *at (when not null) receives the position of
// the offending unit for the two character problems.
FileNameProblem fileNameProblem(const WideUnit* name, size_t length, size_t* at);
