// Whether bytes are a PNG image that the splash screen can take: the signature, then a complete
// IHDR chunk with its CRC, a non-zero size and a valid combination of bit depth and colour type.
// The rest of the image is left to the decoder on the target.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// Empty when the header is sound, otherwise the reason it is not.
std::string pngHeaderProblem(const std::vector<uint8_t>& bytes);
