// The glow spread: hand-computed single pixels and uniform regions, a direct-summing oracle on
// seeded noise (borders included), and properties of bounds and untouched pixels.
#include "glow/spread.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "core/errors.h"
#include "glow_fixtures.h"
#include "host/plugin_state.h"

namespace shimmerly {
namespace {

using testing::at;
using testing::copyOf;
using testing::noiseRaster;
using testing::sameRaster;
using testing::solidRaster;

GlowBounds box(double x0, double x1, double y0, double y1) {
  return GlowBounds{x0, x1, y0, y1};
}

void expectBounds(const GlowBounds& b, double x0, double x1, double y0, double y1) {
  EXPECT_EQ(b.x0, x0);
  EXPECT_EQ(b.x1, x1);
  EXPECT_EQ(b.y0, y0);
  EXPECT_EQ(b.y1, y1);
}

// One box pass computed by summing every box directly, without tables.
Raster directBoxSpread(const Raster& in, float x, const GlowBounds& grown) {
  Raster out = copyOf(in);
  const int64_t B = static_cast<int64_t>(x), r = B / 2, w = in.width(), h = in.height();
  const double f = (x - 2.0 * r) * 0.5;
  auto average = [&](int64_t px, int64_t py, int64_t reach, double colour[3], int& alpha) {
    const int64_t X0 = std::max<int64_t>(px - reach - 1, 0), X1 = std::min(px + reach, w - 1);
    const int64_t Y0 = std::max<int64_t>(py - reach - 1, 0), Y1 = std::min(py + reach, h - 1);
    uint64_t sum[3] = {0, 0, 0}, alphaSum = 0, n = 0;
    for (int64_t yy = Y0 + 1; yy <= Y1; ++yy)
      for (int64_t xx = X0 + 1; xx <= X1; ++xx) {
        const RgbaPixel& p = at(in, xx, yy);
        if (p.alpha == 0) continue;
        sum[0] += p.red, sum[1] += p.green, sum[2] += p.blue, alphaSum += p.alpha, ++n;
      }
    const int64_t area = (X1 - X0) * (Y1 - Y0);
    for (int c = 0; c < 3; ++c) colour[c] = n ? std::trunc(sum[c] * (1.0 / n) + 0.001) : 0;
    alpha = area ? static_cast<int>(alphaSum * (1.0 / area)) : 0;
  };
  const PixelBox region = regionOf(grown, in.width(), in.height());
  for (int64_t py = region.y0; py <= region.y1; ++py)
    for (int64_t px = region.x0; px <= region.x1; ++px) {
      double ci[3], co[3];
      int ai, ao;
      average(px, py, r, ci, ai);
      average(px, py, r + 1, co, ao);
      uint8_t* colour[3] = {&at(out, px, py).red, &at(out, px, py).green, &at(out, px, py).blue};
      double alpha;
      for (int c = 0; c < 3; ++c)
        *colour[c] = static_cast<uint8_t>(ai == 0   ? co[c]
                                          : ao == 0 ? ci[c]
                                                    : std::trunc(ci[c] * (1 - f) + co[c] * f));
      alpha = ai == 0 ? ao * f : ao == 0 ? ai * (1 - f) : ai * (1 - f) + ao * f;
      at(out, px, py).alpha = static_cast<uint8_t>(alpha);
    }
  return out;
}

struct OracleCase {
  int32_t w, h;
  float x;
};

class SpreadOracleTest : public ::testing::TestWithParam<OracleCase> {};

TEST_P(SpreadOracleTest, BoxPassMatchesDirectSumsEverywhere) {
  const OracleCase c = GetParam();
  for (uint32_t seed = 1; seed <= 3; ++seed) {
    Raster raster = noiseRaster(c.w, c.h, seed * 101 + c.w);
    // Bounds touching every border on odd seeds, an inner box otherwise.
    GlowBounds bounds = seed % 2 ? box(0, c.w - 1, 0, c.h - 1) : box(c.w / 3, c.w / 2, 1, c.h / 2);
    GlowBounds expected = bounds;
    expected.include(bounds.x0 - (int64_t(c.x) + 1), bounds.y0 - (int64_t(c.x) + 1));
    expected.include(expected.x1 + (int64_t(c.x) + 1), expected.y1 + (int64_t(c.x) + 1));
    const Raster want = directBoxSpread(raster, c.x, expected);
    boxSpread(raster, c.x, bounds, kSpreadAll);
    ASSERT_TRUE(sameRaster(raster, want)) << "seed " << seed;
    expectBounds(bounds, expected.x0, expected.x1, expected.y0, expected.y1);
  }
}

INSTANTIATE_TEST_SUITE_P(SizesAndRadii, SpreadOracleTest,
                         ::testing::Values(OracleCase{1, 1, 1.0f}, OracleCase{1, 9, 2.5f},
                                           OracleCase{13, 1, 3.0f}, OracleCase{17, 11, 1.0f},
                                           OracleCase{17, 11, 1.75f}, OracleCase{23, 19, 6.0f},
                                           OracleCase{23, 19, 7.3f}, OracleCase{9, 8, 40.0f},
                                           OracleCase{40, 33, 12.9f}));

TEST(SpreadTest, NoRadiusChangesNothing) {
  for (float x : {0.0f, -3.0f, std::numeric_limits<float>::quiet_NaN()})
    for (bool low : {true, false}) {
      Raster raster = noiseRaster(8, 8, 5);
      const Raster before = copyOf(raster);
      GlowBounds bounds = box(2, 5, 2, 5);
      spread(raster, x, bounds, kSpreadAll, low);
      EXPECT_TRUE(sameRaster(raster, before));
      expectBounds(bounds, 2, 5, 2, 5);
    }
}

TEST(SpreadTest, SingleRedPixelAtRadiusTwo) {
  Raster raster(11, 11, kPixelRgba);
  at(raster, 5, 5) = RgbaPixel{255, 0, 0, 255};
  GlowBounds bounds = box(5, 5, 5, 5);
  boxSpread(raster, 2.0f, bounds, kSpreadAll);
  for (int32_t y = 0; y < 11; ++y)
    for (int32_t x = 0; x < 11; ++x) {
      const int d = std::max(std::abs(x - 5), std::abs(y - 5));
      const RgbaPixel p = at(raster, x, y);
      // 3 × 3: alpha trunc(255 × R[9]); rest of 5 × 5: outer colour, alpha 0.
      const RgbaPixel want = d <= 1   ? RgbaPixel{255, 0, 0, 28}
                             : d == 2 ? RgbaPixel{255, 0, 0, 0}
                                      : RgbaPixel{0, 0, 0, 0};
      ASSERT_TRUE(testing::samePixel(p, want)) << x << "," << y;
    }
  expectBounds(bounds, 2, 8, 2, 8);
}

TEST(SpreadTest, RadiusOneBlendsThePixelWithItsNeighbourhood) {
  Raster raster(7, 7, kPixelRgba);
  at(raster, 3, 3) = RgbaPixel{0, 255, 0, 255};
  GlowBounds bounds = box(3, 3, 3, 3);
  boxSpread(raster, 1.0f, bounds, kSpreadAll);
  // trunc(255 × 0.5 + trunc(255 / 9) × 0.5) = trunc(127.5 + 14)
  EXPECT_EQ(at(raster, 3, 3).alpha, 141);
  EXPECT_EQ(at(raster, 3, 3).green, 255);
}

// A uniform opaque colour keeps its colour through every pass and every border, and loses only
// the alpha truncation units: 7 × 7 boxes give 254, one unit per pass.
TEST(SpreadTest, UniformOpaqueRegionKeepsItsColour) {
  const RgbaPixel colour{201, 77, 13, 255};
  Raster low = solidRaster(30, 30, colour);
  GlowBounds bounds = box(0, 29, 0, 29);
  boxSpread(low, 6.0f, bounds, kSpreadAll);
  EXPECT_EQ(at(low, 15, 15).alpha, 254);

  Raster high = solidRaster(30, 30, colour);
  GlowBounds highBounds = box(0, 29, 0, 29);
  const float pass = 10.0f * 0.6666667f;
  ASSERT_GT(pass, 20.0f / 3.0f);
  Raster workspaceSums = makeSumTable(30, 30), workspaceCounts = makeCountTable(30, 30);
  ReciprocalTable reciprocals;
  for (int expected : {254, 253, 252}) {
    boxSpread(high, pass, highBounds, kSpreadAll, {&workspaceSums, &workspaceCounts, &reciprocals});
    EXPECT_EQ(at(high, 15, 15).alpha, expected);
  }
  Raster smooth = solidRaster(30, 30, colour);
  GlowBounds smoothBounds = box(0, 29, 0, 29);
  smoothSpread(smooth, 10.0f, smoothBounds, kSpreadAll);
  EXPECT_TRUE(sameRaster(smooth, high));
  for (const Raster* r : {&low, &high})
    for (int32_t y = 0; y < 30; ++y)
      for (int32_t x = 0; x < 30; ++x) {
        const RgbaPixel p = at(*r, x, y);
        ASSERT_TRUE(p.red == 201 && p.green == 77 && p.blue == 13 && p.alpha >= 245)
            << x << "," << y << " alpha " << +p.alpha;
      }
}

TEST(SpreadTest, BoundsGrowByEachPassReach) {
  Raster raster = noiseRaster(10, 10, 3);
  GlowBounds low = box(4, 5, 4, 5), high = box(4, 5, 4, 5), empty;
  spread(raster, 3.0f, low, kSpreadAll, true);
  expectBounds(low, 0, 9, 0, 9);
  spread(raster, 3.0f, high, kSpreadAll, false);
  expectBounds(high, -5, 14, -5, 14);
  const Raster before = copyOf(raster);
  spread(raster, 3.0f, empty, kSpreadAll, false);
  EXPECT_TRUE(sameRaster(raster, before));
  EXPECT_TRUE(regionOf(empty, 10, 10).empty());
}

// Pixels of column 0 and row 0 never enter a box; outside the grown bounds nothing is written;
// bounds larger than needed change no pixel inside the needed region; alpha-only keeps colour.
TEST(SpreadTest, BoxesAndRegionsTouchOnlyWhatTheyShould) {
  for (uint32_t seed = 1; seed <= 4; ++seed) {
    for (bool low : {true, false}) {
      const float x = 1.5f + seed * 1.7f;
      Raster a = noiseRaster(25, 21, seed), b = copyOf(a);
      for (int32_t y = 0; y < 21; ++y) at(b, 0, y) = RgbaPixel{9, 9, 9, uint8_t(y * 7)};
      for (int32_t i = 0; i < 25; ++i) at(b, i, 0) = RgbaPixel{1, 2, 3, uint8_t(i * 5)};
      GlowBounds all = box(0, 24, 0, 20), allToo = all;
      spread(a, x, all, kSpreadAll, low);
      spread(b, x, allToo, kSpreadAll, low);
      ASSERT_TRUE(sameRaster(a, b));

      // Content only inside the tight bounds, and a sentinel colour of alpha 0 elsewhere.
      Raster tight = noiseRaster(25, 21, seed + 50);
      for (int32_t y = 0; y < 21; ++y)
        for (int32_t i = 0; i < 25; ++i)
          if (i < 8 || i > 10 || y < 7 || y > 9) at(tight, i, y) = RgbaPixel{7, 7, 7, 0};
      Raster loose = copyOf(tight), alphaOnly = copyOf(tight);
      const Raster before = copyOf(tight);
      GlowBounds tightBounds = box(8, 10, 7, 9), looseBounds = box(6, 13, 5, 9),
                 alphaBounds = tightBounds;
      spread(tight, x, tightBounds, kSpreadAll, low);
      spread(loose, x, looseBounds, kSpreadAll, low);
      spread(alphaOnly, x, alphaBounds, kSpreadAlpha, low);
      const PixelBox region = regionOf(tightBounds, 25, 21);
      for (int32_t y = 0; y < 21; ++y)
        for (int32_t i = 0; i < 25; ++i) {
          const bool inside = i >= region.x0 && i <= region.x1 && y >= region.y0 && y <= region.y1;
          const Raster& want = inside ? loose : before;
          ASSERT_TRUE(testing::samePixel(at(tight, i, y), at(want, i, y))) << i << "," << y;
          ASSERT_EQ(at(alphaOnly, i, y).alpha, at(tight, i, y).alpha);
          ASSERT_EQ(at(alphaOnly, i, y).green, at(before, i, y).green);
        }
    }
  }
}

TEST(SpreadTest, HugeRadiiAreCappedAndCoverTheRaster) {
  EXPECT_EQ(spreadRadius(std::numeric_limits<double>::quiet_NaN()), 0.0f);
  EXPECT_EQ(spreadRadius(1e300), kMaxSpreadRadius);
  EXPECT_EQ(spreadRadius(std::numeric_limits<double>::infinity()), kMaxSpreadRadius);
  EXPECT_EQ(spreadRadius(2.5), 2.5f);
  for (bool low : {true, false}) {
    Raster capped = noiseRaster(9, 7, 8), infinite = copyOf(capped);
    GlowBounds a = box(3, 4, 3, 4), b = a;
    spread(capped, kMaxSpreadRadius, a, kSpreadAll, low);
    spread(infinite, std::numeric_limits<float>::infinity(), b, kSpreadAll, low);
    EXPECT_TRUE(sameRaster(capped, infinite));
    // Every box covers the raster (but column 0 and row 0), so alpha is one value throughout.
    for (int32_t y = 0; y < 7; ++y)
      for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(at(capped, x, y).alpha, at(capped, 8, 6).alpha);
  }
}

TEST(SpreadTest, FailedTableAllocationLeavesRasterAndBounds) {
  Raster raster = noiseRaster(6, 6, 4);
  const Raster before = copyOf(raster);
  PF_UtilCallbacks utils{};
  utils.host_new_handle = [](uint64_t) -> PF_Handle { return nullptr; };
  utils.host_lock_handle = [](PF_Handle h) -> void* { return h; };
  utils.host_unlock_handle = [](PF_Handle) {};
  utils.host_dispose_handle = [](PF_Handle) {};
  PF_InData inData{};
  inData.utils = &utils;
  PF_InData* saved = pluginState().currentInData;
  pluginState().currentInData = &inData;
  GlowBounds bounds = box(1, 2, 1, 2);
  EXPECT_THROW(spread(raster, 4.0f, bounds, kSpreadAll, false), BadAllocation);
  pluginState().currentInData = saved;
  EXPECT_TRUE(sameRaster(raster, before));
  expectBounds(bounds, 1, 2, 1, 2);
}

TEST(ReciprocalTableTest, GrowsByTheGrowableArrayRule) {
  ReciprocalTable table;
  table.fill(5);
  EXPECT_EQ(table.room(), 5);
  EXPECT_EQ(table.growthStep(), 10);
  table.fill(6);  // room for exactly 6, old entries copied
  EXPECT_EQ(table.room(), 6);
  table.reserve(100);
  EXPECT_EQ(table.room(), 100);
  EXPECT_EQ(table.growthStep(), 25);
  table.reserve(50);  // below the room: unchanged
  table.fill(3);
  EXPECT_EQ(table.room(), 100);
  EXPECT_EQ(table.size(), 6);
  EXPECT_EQ(table[0], 0.0);
  for (int k = 1; k < 6; ++k) EXPECT_EQ(table[k], 1.0 / k);
}

}  // namespace
}  // namespace shimmerly
