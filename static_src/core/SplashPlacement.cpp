#include "SplashPlacement.h"

namespace {

// 32-bit operands, worked in 64 bits: the same result as 32-bit arithmetic wherever that does not
// overflow, and no undefined behaviour for edges far apart.
int32_t centredEdge(int32_t low, int32_t high, int32_t extent) {
  const int64_t slack = static_cast<int64_t>(high) - low - extent;
  return static_cast<int32_t>(low + slack / 2);  // C++ division truncates toward zero
}

}  // namespace

SplashOrigin centreSplash(const SplashWorkArea& area, int32_t width, int32_t height) {
  return SplashOrigin{centredEdge(area.left, area.right, width), centredEdge(area.top, area.bottom, height)};
}

bool splashPixelLayout(uint32_t width, uint32_t height, SplashPixelLayout& layout) {
  if (width == 0 || height == 0) return false;
  const uint64_t stride = static_cast<uint64_t>(width) * 4;
  const uint64_t size = stride * height;
  if (size > UINT32_MAX) return false;
  layout.row_stride = static_cast<uint32_t>(stride);
  layout.buffer_size = static_cast<uint32_t>(size);
  return true;
}
