// Where a Linux launcher keeps its settings and payload: appended to the ELF image, found through
// a fixed-size trailer at the very end of the file. An ELF loader maps only what the program
// headers name, so the appended bytes cost nothing until the launcher maps them itself.
//
//   offset 0          s bytes   the launcher stub, an ELF image, unchanged
//   settings offset   n bytes   the settings, the same bytes as the Windows settings resource
//   payload offset    m bytes   the payload, the same bytes as the Windows payload resource
//   modes offset      k bytes   one bit per entry of the payload's list, in list order, lowest
//                               bit of the first byte first: set for a file that is executable
//   file length - 56  56 bytes  the trailer:
//     0   8  settings offset   unsigned 64-bit little-endian, as are the next five
//     8   8  settings length
//     16  8  payload offset
//     24  8  payload length
//     32  8  modes offset
//     40  8  modes length
//     48  4  layout            unsigned 32-bit little-endian: 1
//     52  4  "QOVL"            ASCII, no terminator
//
// The three regions lie in this order, do not overlap, begin at or after the stub's own bytes
// (settings offset > 0) and end at or before the trailer. A reader refuses anything else, so that
// no length taken from the file can reach past it.
#pragma once

#include "OnefilePlatform.h"

constexpr size_t kAppendedTrailerLength = 56;
constexpr uint32_t kAppendedLayout = 1;
constexpr uint8_t kAppendedMagic[4] = {'Q', 'O', 'V', 'L'};

struct AppendedRegion {
  uint64_t offset;
  uint64_t length;
};

struct AppendedTrailer {
  AppendedRegion settings;
  AppendedRegion payload;
  AppendedRegion modes;
};

enum class TrailerStatus : uint8_t {
  valid,
  missing,      // no magic at the end: not a launcher with appended data (or the file is too short)
  newerLayout,  // the magic is there but the layout is one this reader does not know
  outOfBounds,  // the regions are out of order, overlap or reach past the trailer
};

// Reads the last kAppendedTrailerLength bytes of a file of file_length bytes.
TrailerStatus readAppendedTrailer(const uint8_t* last_bytes, uint64_t file_length,
                                  AppendedTrailer& trailer);

// The trailer's bytes for the given regions, layout 1.
void writeAppendedTrailer(const AppendedTrailer& trailer, uint8_t (&bytes)[kAppendedTrailerLength]);

// True when entry number index (0 for the program to start) is marked executable. An index past
// the modes region is not executable.
bool isExecutableEntry(const uint8_t* modes, uint64_t modes_length, uint64_t index);
