// The parts a Linux launcher carries behind its ELF image, found through the trailer at the end of
// the file (AppendedTrailer.h): the settings, the payload, and the file modes.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "AppendedTrailer.h"
#include "ByteView.h"

struct AppendedParts {
  ByteView settings;
  ByteView payload;
  ByteView modes;
};

// The parts in place in the image; `shown` names the executable in messages. Throws PackError
// with one line when there is no trailer, a trailer of a later layout, or regions that the reader
// refuses.
AppendedParts appendedPartsOf(ByteView image, const std::string& shown);

// The modes region for files in payload order: one bit per file, set for a program.
std::vector<uint8_t> modeBits(const std::vector<bool>& executable);

// Whether file number `index` of the payload (0: the program to start) is marked as a program.
bool isMarkedExecutable(const AppendedParts& parts, uint64_t index);
