// Which file names Windows keeps as they are. The packer refuses a folder entry that breaks these
// rules, and every reader of a payload (the launcher, the packer's extract) refuses a payload name
// with such a component: Windows would fold it into another name or open a device instead of a
// file, so two entries could alias one file or a write could reach a device.
#pragma once

#include "OnefilePlatform.h"

enum class NameComponentProblem : uint8_t {
  none,
  empty,               // nothing between two separators, or a rooted name
  controlCharacter,    // a unit below U+0020
  reservedCharacter,   // one of < > : " / \ | ? * (":" also names drives and alternate streams)
  trailingDotOrSpace,  // Windows drops them, so "a." is "a"; also "." and ".."
  deviceName,          // CON, PRN, AUX, NUL, COM0-9, LPT0-9 (and COM/LPT with ¹ ² ³), with any extension
};

// True for a unit Windows does not allow anywhere in a file name.
bool isReservedNameUnit(WideUnit unit);

// What is wrong with one component of a path (no separators in it), or `none`.
NameComponentProblem nameComponentProblem(const WideUnit* component, size_t length);
