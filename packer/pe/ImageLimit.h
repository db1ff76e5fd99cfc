// How large a packed executable may be. The PE format keeps file offsets, section sizes and the
// image size (SizeOfImage) in 32-bit fields, so no image passes 4 GiB; the Windows loader goes
// further and refuses an image file of 2 GiB or more (it takes those fields as signed), so the
// packer keeps every offset and address, in the file and in memory, at or below 2^31 - 1.
#pragma once

#include <stdint.h>

#include <string>

constexpr uint64_t kImageLimit = 0x7FFFFFFF;

// Empty when an executable whose other parts take `rest_bytes` (the larger of its file length and
// its size in memory without the payload) has room for a payload of up to `payload_bound` bytes,
// with `padding` for the alignment of the section that holds it; else the one-line reason, which
// names both sizes.
std::string imageLimitProblem(uint64_t rest_bytes, uint64_t payload_bound, uint64_t padding);
