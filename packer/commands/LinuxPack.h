// onefile-pack pack for the Linux launcher: the stub unchanged, then the settings, the payload,
// the files' modes and the trailer that finds them (AppendedTrailer.h). The settings and payload
// are the bytes a Windows launcher carries as resources 29 and 27 for the same folder and values.
#pragma once

#include <filesystem>

#include "PackRequest.h"

// As packApplication (PackCommand.h): refuses the options that only a PE image can carry and any
// symbolic link in the folder; marks a file executable when the folder does (ownerMayExecute),
// and always the program to start; gives the output mode 0755.
void packLinuxLauncher(const PackRequest& request, const std::filesystem::path& stub_path);
