// Inner and outer glow: the alpha rules, the radius-0 case, and what the save step leaves in
// the saved copy or in the red bytes.
#include "glow/inner_outer_glow.h"

#include <gtest/gtest.h>

#include <cmath>

#include "glow/spread.h"
#include "glow_fixtures.h"

namespace shimmerly {
namespace {

using testing::at;
using testing::copyOf;
using testing::noiseRaster;
using testing::sameRaster;

TEST(InnerOuterGlowTest, StretchAgreesWithTheRealForm) {
  for (int u = 0; u <= 255; ++u) {
    const int real = u > 216.75 ? 255 : static_cast<int>(u * 1.1764705882352942);
    ASSERT_EQ(stretchAlpha(u), real) << u;
  }
}

TEST(InnerOuterGlowTest, AlphaRules) {
  EXPECT_EQ(innerGlowAlpha(255, 255), 0);    // deep inside an opaque target
  EXPECT_EQ(innerGlowAlpha(128, 255), 149);  // u = 127
  EXPECT_EQ(innerGlowAlpha(0, 0), 0);
  EXPECT_EQ(outerGlowAlpha(200, 0), 235);
  for (int s = 217; s <= 255; ++s) EXPECT_EQ(outerGlowAlpha(s, 0), 255);
  for (int s = 0; s <= 255; s += 15) EXPECT_EQ(outerGlowAlpha(s, 255), 0);
}

class RadiusZeroTest : public ::testing::TestWithParam<std::pair<int, int>> {};

// Radius 0: no spread, s = o, so the inner glow is stretchAlpha((255 − o) × o div 255).
TEST_P(RadiusZeroTest, InnerGlowOfTheTargetItself) {
  const auto [o, want] = GetParam();
  for (bool withCopy : {true, false}) {
    Raster raster(5, 5, kPixelRgba);
    at(raster, 2, 2) = RgbaPixel{10, 20, 30, static_cast<uint8_t>(o)};
    Raster copy(5, 5, kPixelRgba);
    GlowBounds bounds{2, 2, 2, 2};
    innerGlow(raster, 0.0, bounds, false, withCopy ? &copy : nullptr);
    EXPECT_EQ(at(raster, 2, 2).alpha, want);
  }
}

INSTANTIATE_TEST_SUITE_P(Alphas, RadiusZeroTest,
                         ::testing::Values(std::pair{0, 0}, std::pair{255, 0}, std::pair{128, 74}));

TEST(InnerOuterGlowTest, EmptyBoundsChangeNothing) {
  Raster raster = noiseRaster(6, 6, 2), copy = noiseRaster(6, 6, 3);
  const Raster before = copyOf(raster), copyBefore = copyOf(copy);
  GlowBounds bounds;
  outerGlow(raster, 4.0, bounds, true, &copy);
  EXPECT_TRUE(sameRaster(raster, before));
  EXPECT_TRUE(sameRaster(copy, copyBefore));
  EXPECT_TRUE(bounds.empty());
}

// The saved copy holds the unspread pixels inside the region of the bounds passed in and is
// unchanged outside; without a copy the red bytes hold the unspread alpha and green and blue
// survive the alpha-only spread. Each alpha of the grown region follows the rule.
TEST(InnerOuterGlowTest, SaveStepAndRecompute) {
  for (bool inner : {true, false})
    for (bool withCopy : {true, false}) {
      Raster raster = noiseRaster(20, 16, 7);
      const Raster before = copyOf(raster);
      Raster copy = noiseRaster(20, 16, 8);
      const Raster copyBefore = copyOf(copy);
      GlowBounds bounds{5, 12, 4, 9};
      // The spread alone, to learn s.
      Raster spreadOnly = copyOf(raster);
      for (int32_t y = 4; y <= 9; ++y)
        for (int32_t x = 5; x <= 12; ++x)
          if (!withCopy) at(spreadOnly, x, y).red = at(spreadOnly, x, y).alpha;
      GlowBounds spreadBounds = bounds;
      spread(spreadOnly, 3.0f, spreadBounds, withCopy ? kSpreadAll : kSpreadAlpha, true);

      Raster* saved = withCopy ? &copy : nullptr;
      if (inner)
        innerGlow(raster, 3.0, bounds, true, saved);
      else
        outerGlow(raster, 3.0, bounds, true, saved);
      EXPECT_EQ(bounds.x0, 1);
      EXPECT_EQ(bounds.y1, 13);
      for (int32_t y = 0; y < 16; ++y)
        for (int32_t x = 0; x < 20; ++x) {
          const bool savedHere = x >= 5 && x <= 12 && y >= 4 && y <= 9;
          const bool grownHere = x >= 1 && x <= 16 && y >= 0 && y <= 13;
          const RgbaPixel p = at(raster, x, y), b = at(before, x, y);
          if (withCopy) {
            ASSERT_TRUE(testing::samePixel(at(copy, x, y), savedHere ? b : at(copyBefore, x, y)));
          } else {
            if (savedHere) {
              ASSERT_EQ(p.red, b.alpha);
            }
            ASSERT_EQ(p.green, b.green);
            ASSERT_EQ(p.blue, b.blue);
          }
          if (!grownHere) {
            ASSERT_TRUE(testing::samePixel(p, b));
            continue;
          }
          const int s = at(spreadOnly, x, y).alpha;
          const int o = withCopy ? at(copy, x, y).alpha : p.red;
          ASSERT_EQ(p.alpha, inner ? innerGlowAlpha(s, o) : outerGlowAlpha(s, o)) << x << "," << y;
        }
    }
}

}  // namespace
}  // namespace shimmerly
