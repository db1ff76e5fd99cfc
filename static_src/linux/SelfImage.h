// The launcher's own file and what is appended to it (AppendedTrailer.h): found through
// /proc/self/exe, mapped read-only once and used in place, never copied.
#pragma once

#include "OnefilePlatform.h"

struct SelfImage {
  bool found;  // a valid trailer: the three regions below are within the mapping
  const uint8_t* settings;
  uint64_t settings_length;
  const uint8_t* payload;
  uint64_t payload_length;
  const uint8_t* modes;
  uint64_t modes_length;
};

// Not found when the file cannot be opened or mapped, or has no trailer of a layout this launcher
// reads, or one whose regions do not fit; the caller then reports the missing payload.
SelfImage mapSelfImage();
