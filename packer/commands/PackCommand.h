// onefile-pack pack: an application folder, and optionally a splash image, into a copy of the
// launcher stub as resources 27 and 28, with the application's identity (AppIdentity.h) as
// resource 29, its version resource, its icon and its manifest. For the Linux launcher the same
// settings and payload bytes, and the files' modes, follow the stub unchanged, found through a
// trailer (AppendedTrailer.h).
#pragma once

#include <filesystem>
#include <vector>

#include "PackRequest.h"

// Throws PackError at the first fault; the output is then untouched (no partial file) and no
// input has been changed. Memory stays bounded whatever the application's size: files are read,
// compressed and written in pieces, a few per thread at a time. A payload that could make the
// executable too large for Windows (ImageLimit.h) is refused before anything is read or written;
// the Linux launcher has no such limit (its trailer holds 64-bit offsets).
//
// For linux-x86_64: the options that only a PE image can carry (splash, subsystem, icon,
// manifest, description, copyright) are refused; a symbolic link in the folder is refused; a file
// is marked executable when the folder marks it (ownerMayExecute), and the program to start always
// is; the output gets mode 0755.
void packApplication(const PackRequest& request);

constexpr char kStubFileName[] = "onefile-launcher.exe";
constexpr char kLinuxStubFileName[] = "onefile-launcher";

// Where the tool looks for its stub when none is named, in this order: beside the tool (the
// Windows zip, and the host build tree for the Linux stub), in the data folder of an installed
// prefix (bin/onefile-pack beside lib/onefile/onefile-launcher.exe, as the Debian package has
// it), and in the build tree of the stub's system beside the tool's (../../windows/bin or
// ../../host/bin from the tool's directory). Each place once.
std::vector<std::filesystem::path> defaultStubPlaces(const std::filesystem::path& tool_directory,
                                                     PackTarget target = kDefaultTarget);

// The first of the default places that holds a file. Throws PackError naming every place it
// looked when none does.
std::filesystem::path locateDefaultStub(PackTarget target = kDefaultTarget);
