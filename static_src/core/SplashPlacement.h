// The splash image's place on the screen and the size of its pixel buffer: plain arithmetic, kept
// apart from the window code so that the host can check it.
#pragma once

#include "OnefilePlatform.h"

// The primary monitor's work area, edges as the system reports them (right and bottom exclusive).
struct SplashWorkArea {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

struct SplashOrigin {
  int32_t x;
  int32_t y;
};

// The top-left corner that centres an image of width by height on the work area. Each halving
// truncates toward zero: an odd difference loses its half pixel toward the left or top edge, and
// an image larger than the work area overhangs it on both sides by the same amount, give or take
// one pixel.
SplashOrigin centreSplash(const SplashWorkArea& area, int32_t width, int32_t height);

// A top-down 32-bit image: rows of width * 4 bytes without padding.
struct SplashPixelLayout {
  uint32_t row_stride;
  uint32_t buffer_size;
};

// False for an empty image and for one whose row or whole buffer does not fit the 32-bit sizes
// that the decoder's copy and the bitmap header take: such sizes would wrap and describe a buffer
// smaller than the image.
bool splashPixelLayout(uint32_t width, uint32_t height, SplashPixelLayout& layout);
