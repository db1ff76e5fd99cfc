// The Linux launcher stub as the packer takes it: an ELF executable for x86-64, copied unchanged
// to the front of the packed file (AppendedTrailer.h). Nothing in it is edited, so only its header
// is checked.
#pragma once

#include <string>

#include "ByteView.h"

// Empty when the bytes begin as a 64-bit little-endian ELF executable (or position-independent
// executable) for x86-64; else why not, in a few words.
std::string elfStubProblem(ByteView image);
