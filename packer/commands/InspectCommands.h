// The commands that read a packed executable: list, verify and extract. Each writes its report to
// `out` and throws PackError at the first fault.
#pragma once

#include <filesystem>
#include <ostream>

// The identity and extraction directory a start uses (from the settings resource, else the
// stub's compiled values), then each file of the payload and the totals.
void listPayload(const std::filesystem::path& executable, std::ostream& out);

// Checks the settings resource as the launcher reads it, decodes the whole payload and checks
// every entry's data against its stored checksum, and that the frame ends at the end marker.
void verifyPayload(const std::filesystem::path& executable, std::ostream& out);

// Writes the files below `directory` as the launcher does: a file whose content already has the
// stored checksum is left alone, every other one is written whole. Written data is checked
// against its stored checksum. Runs nothing.
void extractPayloadTo(const std::filesystem::path& executable, const std::filesystem::path& directory, std::ostream& out);
