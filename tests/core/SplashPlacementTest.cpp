// Where the splash goes on the work area, and which image sizes get a pixel buffer at all.
#include <gtest/gtest.h>

#include <ctype.h>

#include <string>

#include "SplashPlacement.h"

namespace {

struct CentreCase {
  const char* name;
  SplashWorkArea area;
  int32_t width;
  int32_t height;
  SplashOrigin expected;
};

const CentreCase kCentreCases[] = {
    {"even differences", {0, 0, 800, 560}, 256, 256, {272, 152}},
    {"odd width difference drops the half pixel", {0, 0, 801, 600}, 256, 256, {272, 172}},
    {"wider than the work area, halved toward zero", {0, 0, 100, 100}, 203, 10, {-51, 45}},
    {"taller than the work area, halved toward zero", {0, 0, 800, 600}, 100, 701, {350, -50}},
    {"work area offset by task bars", {40, 30, 1320, 1054}, 100, 50, {630, 517}},
    {"negative left edge, one unit short", {-100, -100, 0, 0}, 101, 101, {-100, -100}},
    {"exact fit", {10, 20, 266, 276}, 256, 256, {10, 20}},
    {"empty work area centres on the origin", {0, 0, 0, 0}, 256, 256, {-128, -128}},
    {"edges too far apart for 32-bit differences", {INT32_MIN, 0, INT32_MAX, 2}, 1, 2, {-1, 0}},
};

class CentreTest : public testing::TestWithParam<CentreCase> {};

TEST_P(CentreTest, PlacesTheImage) {
  const CentreCase& c = GetParam();
  const SplashOrigin origin = centreSplash(c.area, c.width, c.height);
  EXPECT_EQ(origin.x, c.expected.x);
  EXPECT_EQ(origin.y, c.expected.y);
}

INSTANTIATE_TEST_SUITE_P(Table, CentreTest, testing::ValuesIn(kCentreCases),
                         [](const testing::TestParamInfo<CentreCase>& info) {
                           std::string name = info.param.name;
                           for (char& c : name)
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           return name;
                         });

struct LayoutCase {
  uint32_t width;
  uint32_t height;
  bool accepted;
  uint32_t stride;
  uint32_t size;
};

TEST(SplashPixelLayout, AcceptsOnlySizesThatFit32Bits) {
  const LayoutCase cases[] = {
      {256, 256, true, 1024, 262144},
      {1, 1, true, 4, 4},
      {0, 5, false, 0, 0},
      {5, 0, false, 0, 0},
      {16384, 65535, true, 65536, 4294901760u},  // the largest buffer of that width
      {16384, 65536, false, 0, 0},               // 4 GiB: wraps to 0
      {0x3FFFFFFF, 1, true, 0xFFFFFFFC, 0xFFFFFFFC},
      {0x40000000, 1, false, 0, 0},  // the row alone wraps to 0
      {65536, 65536, false, 0, 0},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
    SplashPixelLayout layout = {7, 7};
    ASSERT_EQ(splashPixelLayout(c.width, c.height, layout), c.accepted);
    if (!c.accepted) continue;
    EXPECT_EQ(layout.row_stride, c.stride);
    EXPECT_EQ(layout.buffer_size, c.size);
  }
}

}  // namespace
