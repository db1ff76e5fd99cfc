// Which system a packed executable is for: the Windows launcher (a PE image carrying its parts as
// resources) or the Linux launcher (an ELF image with its parts appended).
#pragma once

#include <optional>
#include <string>

#include "ByteView.h"

enum class PackTarget { windowsX86_64, linuxX86_64 };

constexpr PackTarget kDefaultTarget = PackTarget::windowsX86_64;

// "windows-x86_64" or "linux-x86_64", as --target takes it.
const char* targetName(PackTarget target);
std::optional<PackTarget> targetNamed(const std::string& name);

// The target an executable's first bytes show: the ELF signature for linux, "MZ" for windows;
// nothing for anything else.
std::optional<PackTarget> targetOfExecutable(ByteView image);
