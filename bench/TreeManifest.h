// The manifest of a bench tree, which the Windows-side tools check every extracted file against:
// one line per file, "size crc name", the program first, names with "\" between components, crc
// under the payload's checksum rule.
#pragma once

#include <string>

std::string manifestLine(const std::string& name, const std::string& data);
