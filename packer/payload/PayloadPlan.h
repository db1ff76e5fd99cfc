// The payload cut into independent jobs from the files' names and sizes alone, before a byte of
// them is read: which files share a group, which have frames of their own, and the most the
// resource can grow to, so that a payload too large for an image is refused before any work.
//
// The cuts are exactly PayloadWriter's (a group ends where its data would pass kGroupDataTarget or
// its index kGroupIndexCapacity; a file over kGroupedFileLimit is a group of its own), so jobs
// compressed apart and written in order give the bytes PayloadWriter gives.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "PayloadWriter.h"

struct PlannedFile {
  std::u16string name;
  uint64_t size = 0;
};

enum class JobKind {
  group,     // grouped: small files, an index frame that records the data frame's length, the data
  ownGroup,  // grouped: one file over kGroupedFileLimit, the same two frames
  perFile,   // per-file: the record's frame, then the data's frame unless the file is empty
  end,       // the frame that ends the list (grouped: an empty index; per-file: the end marker)
  whole,     // single: every record and the end marker in one frame, which no thread can share
};

struct PayloadJob {
  JobKind kind;
  size_t first = 0;  // index of the job's first file
  size_t count = 0;
  uint64_t data_bytes = 0;  // of the job's files
};

struct PayloadPlan {
  PayloadLayout layout;
  std::string prefix;  // the resource's bytes before the first job: the header, a layout marker
  std::vector<PayloadJob> jobs;  // in payload order
  uint64_t data_bytes = 0;
  // The longest the resource can be: each frame at zstd's bound for its content, the prefix, the
  // trailing bytes. Compression never writes more, whatever the data.
  uint64_t resource_bound = 0;
};

// Only the layouts onefile-pack writes: grouped (version 2), single and per-file.
PayloadPlan planPayload(const std::vector<PlannedFile>& files, PayloadLayout layout);

