// Target extraction: target values of every type, colour sources, bounds, interruption, and
// the processing step with its Show Target refinement and pending spread.
#include "glow/extract.h"

#include <gtest/gtest.h>

#include <limits>

#include "glow/inner_outer_glow.h"
#include "glow/spread.h"
#include "glow_fixtures.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using shimmerly::testing::HostFrame;
using testing::at;
using testing::copyOf;
using testing::sameRaster;

constexpr RgbColor kCustom{9, 8, 7};

struct Extraction {
  Raster target, glow;
  GlowBounds bounds;
  RenderSettings settings;
  int32_t code = 0;
};

Extraction extract(const HostFrame& frame, RenderSettings settings, bool lowQuality,
                   bool withGlow = true, int32_t colorSource = 1,
                   const InterruptCheck& check = {}) {
  Extraction e{Raster(frame.width, frame.height, kPixelRgba),
               Raster(frame.width, frame.height, kPixelRgba), GlowBounds{}, settings, 0};
  e.code = extractTarget({e.target, e.settings, frame.pixels.data(), frame.rowGap, frame.width,
                          frame.height, 1.0, lowQuality, e.bounds, e.bounds, check,
                          withGlow ? &e.glow : nullptr, colorSource, kCustom});
  return e;
}

RenderSettings settingsFor(int32_t type, int32_t processing, double glowSize) {
  RenderSettings s;
  s.targetType = type;
  s.targetProcessing = processing;
  s.glowSize = glowSize;
  return s;
}

class ColourSourceTest : public ::testing::TestWithParam<int32_t> {};

// Any source but "This Layer" (2) takes the custom colour.
TEST_P(ColourSourceTest, WholeLayerTargetsEveryPixelWithItsColour) {
  const HostFrame frame = shimmerly::testing::noiseFrame(7, 5, 11, 0.3, 2);
  const Extraction e = extract(frame, settingsFor(1, 1, 0.0), true, true, GetParam());
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t x = 0; x < 7; ++x) {
      const PF_Pixel& s = frame.at(x, r);
      ASSERT_TRUE(testing::samePixel(at(e.target, x, 4 - r), RgbaPixel{0, 0, 0, 255}));
      const RgbaPixel want = GetParam() == 2
                                 ? RgbaPixel{s.red, s.green, s.blue, 255}
                                 : RgbaPixel{kCustom.red, kCustom.green, kCustom.blue, 255};
      ASSERT_TRUE(testing::samePixel(at(e.glow, x, 4 - r), want)) << x << "," << r;
    }
  EXPECT_EQ(e.bounds.x0, 0);
  EXPECT_EQ(e.bounds.x1, 6);
  EXPECT_EQ(e.bounds.y0, 0);
  EXPECT_EQ(e.bounds.y1, 4);
}

INSTANTIATE_TEST_SUITE_P(Sources, ColourSourceTest, ::testing::Values(1, 2, 0, 7));

TEST(ExtractTest, AlphaOfTransparentLayerFindsNothing) {
  const HostFrame frame = shimmerly::testing::solidFrame(6, 4, PF_Pixel{0, 200, 200, 200});
  const Extraction e = extract(frame, settingsFor(2, 1, 5.0), false);
  EXPECT_TRUE(sameRaster(e.target, Raster(6, 4, kPixelRgba)));
  EXPECT_TRUE(sameRaster(e.glow, Raster(6, 4, kPixelRgba)));
  // The spread of an empty box leaves a box far outside that covers no pixel.
  EXPECT_TRUE(regionOf(e.bounds, 6, 4).empty());
  EXPECT_EQ(e.bounds.x0, 1e20);
}

struct LuminanceCase {
  PF_Pixel pixel;
  int luminance;
};

class LuminanceTest : public ::testing::TestWithParam<LuminanceCase> {};

TEST_P(LuminanceTest, WindowSelectsExactlyTheLuminance) {
  const LuminanceCase c = GetParam();
  const HostFrame frame = shimmerly::testing::solidFrame(1, 1, c.pixel);
  for (int type : {3, 4})
    for (double dark : {c.luminance - 0.5, c.luminance + 0.0, c.luminance + 0.5}) {
      RenderSettings s = settingsFor(type, 1, 0.0);
      s.darkCutoff = dark;
      s.brightCutoff = c.luminance;
      const Extraction e = extract(frame, s, true);
      const int selected = type == 3 ? 255 : c.pixel.alpha;
      EXPECT_EQ(at(e.target, 0, 0).alpha, dark <= c.luminance ? selected : 0) << dark;
    }
}

INSTANTIATE_TEST_SUITE_P(Colours, LuminanceTest,
                         ::testing::Values(LuminanceCase{{200, 255, 255, 255}, 255},
                                           LuminanceCase{{90, 0, 0, 255}, 36},
                                           LuminanceCase{{255, 255, 0, 0}, 76},
                                           LuminanceCase{{255, 0, 255, 0}, 149},
                                           LuminanceCase{{255, 248, 248, 248}, 255},
                                           LuminanceCase{{255, 247, 247, 247}, 254}));

TEST(ExtractTest, BrightnessAlwaysSpreadsAtLeastOne) {
  const HostFrame frame = shimmerly::testing::checkerFrame(12, 10, 3, PF_Pixel{255, 255, 255, 255},
                                                           PF_Pixel{255, 0, 0, 0});
  RenderSettings s = settingsFor(3, 1, 0.0);
  s.brightCutoff = 255;
  for (bool low : {true, false}) {
    const Extraction zero = extract(frame, s, low);
    EXPECT_EQ(zero.settings.glowSize, 1.0);
    RenderSettings one = s;
    one.glowSize = 1.0;
    const Extraction spreadOne = extract(frame, one, low);
    EXPECT_TRUE(sameRaster(zero.glow, spreadOne.glow));
    EXPECT_EQ(zero.bounds.x0, low ? -2 : -3);  // one pass of reach 2 or three of reach 1
  }
}

TEST(ExtractTest, InterruptStopsBeforeTheRowAndReturnsTheCode) {
  const HostFrame frame = shimmerly::testing::solidFrame(4, 6, PF_Pixel{255, 1, 2, 3});
  for (int32_t stopRow : {0, 3}) {
    auto check = [stopRow](int32_t row, int32_t rows, int32_t* code) {
      EXPECT_EQ(rows, 6);
      if (row < stopRow) return false;
      *code = 517;
      return true;
    };
    const Extraction e = extract(frame, settingsFor(1, 1, 9.0), false, true, 1, check);
    EXPECT_EQ(e.code, 517);
    for (int32_t q = 0; q < 6; ++q) {
      const int want = 5 - q < stopRow ? 255 : 0;  // source row 5 − q, unspread
      EXPECT_EQ(at(e.target, 2, q).alpha, want);
      EXPECT_EQ(at(e.glow, 2, q).alpha, want);
    }
  }
}

TEST(ExtractTest, ShapesWithoutGeometry) {
  const HostFrame frame = shimmerly::testing::solidFrame(5, 4, PF_Pixel{255, 9, 9, 9});
  for (bool low : {true, false}) {
    EXPECT_TRUE(sameRaster(extract(frame, settingsFor(5, 1, 0), low).target, Raster(5, 4, 1)));
    const Extraction square = extract(frame, settingsFor(7, 1, 0), low);
    Raster want(5, 4, kPixelRgba);
    if (low) at(want, 0, 3).alpha = 255;  // column 0 of the top row
    EXPECT_TRUE(sameRaster(square.target, want));
  }
}

TEST(ExtractTest, CircleOfRadiiTenAndTwenty) {
  const HostFrame frame = shimmerly::testing::solidFrame(101, 101, PF_Pixel{255, 9, 9, 9});
  RenderSettings s = settingsFor(5, 1, 0);
  s.shapeRadiusX = 10;
  s.shapeRadiusY = 20;
  s.shapeCentreX = s.shapeCentreY = 50;
  const Extraction low = extract(frame, s, true), high = extract(frame, s, false);
  auto value = [](const Extraction& e, int x, int sourceRow) {
    return int{at(e.target, x, 100 - sourceRow).alpha};
  };
  for (int i = 38; i <= 62; ++i) EXPECT_EQ(value(low, i, 50), i >= 40 && i <= 60 ? 255 : 0) << i;
  for (int r = 28; r <= 72; ++r) EXPECT_EQ(value(low, 50, r), r >= 30 && r <= 70 ? 255 : 0) << r;
  for (auto [x, r] : {std::pair{40, 50}, {60, 50}, {50, 30}, {50, 70}})
    EXPECT_EQ(value(high, x, r), 0);
  EXPECT_EQ(value(high, 50, 50), 255);
  s.shapeCentreY = 50.5;  // source row 70 lies 19.5 from the centre: w = 0.5
  EXPECT_EQ(value(extract(frame, s, false), 50, 70), 127);
}

TEST(ExtractTest, SquareEdgesAreCoveredByTheirFraction) {
  const HostFrame frame = shimmerly::testing::solidFrame(11, 11, PF_Pixel{100, 9, 9, 9});
  RenderSettings s = settingsFor(7, 1, 0);
  s.shapeRadiusX = 2.5;
  s.shapeRadiusY = 1.5;
  s.shapeCentreX = s.shapeCentreY = 5;
  const Extraction e = extract(frame, s, false);
  auto value = [&e](int x, int sourceRow) { return int{at(e.target, x, 10 - sourceRow).alpha}; };
  EXPECT_EQ(value(5, 5), 255);
  EXPECT_EQ(value(7, 5), 127);  // u = 0.5, t = 1.5
  EXPECT_EQ(value(5, 6), 127);  // u = 2.5, t = 0.5
  EXPECT_EQ(value(7, 6), 63);   // u × t = 0.25
  EXPECT_EQ(value(8, 5), 0);
  s.targetType = 8;  // capped by the layer's alpha of 100
  const Extraction capped = extract(frame, s, false);
  EXPECT_EQ(at(capped.target, 5, 5).alpha, 100);
  EXPECT_EQ(at(capped.target, 7, 4).alpha, 63);
}

struct ProcessingCase {
  int32_t processing;
  bool showTarget, withGlow;
};

class ProcessingTest : public ::testing::TestWithParam<ProcessingCase> {};

// The processing table, checked against the steps applied by hand to the raw extraction.
TEST_P(ProcessingTest, FollowsTheProcessingTable) {
  const ProcessingCase c = GetParam();
  const HostFrame frame = shimmerly::testing::noiseFrame(24, 18, 5, 0.6);
  for (bool low : {true, false}) {
    RenderSettings s = settingsFor(4, c.processing, 3.5);
    s.brightCutoff = 200;
    s.darkCutoff = 40;
    s.showTarget = c.showTarget;
    // The raw extraction: no processing, a size that is neither 0 nor positive.
    RenderSettings rawSettings = s;
    rawSettings.targetProcessing = 0;
    rawSettings.glowSize = -1;
    rawSettings.showTarget = false;
    Extraction raw = extract(frame, rawSettings, low, true);
    const Extraction e = extract(frame, s, low, c.withGlow);

    Raster& processed = c.withGlow ? raw.glow : raw.target;
    double pending = 3.5;
    if (c.processing == 1 && c.withGlow) {
      spread(raw.glow, 3.5f, raw.bounds, kSpreadAll, low);
      pending = 0;
    } else if (c.processing == 4 || c.processing == 5) {
      Raster* saved = c.withGlow && !c.showTarget ? &raw.target : nullptr;
      (c.processing == 4 ? innerGlow : outerGlow)(processed, 3.5, raw.bounds, low, saved);
      pending = 0;
    }
    if (c.withGlow && c.showTarget) {
      spread(raw.target, 1.0f, raw.bounds, kSpreadAll, low);
      EXPECT_EQ(e.settings.glowSize, 1.0);
    }
    if (pending > 0) spread(raw.target, 3.5f, raw.bounds, kSpreadAlpha, low);
    EXPECT_TRUE(sameRaster(e.target, raw.target));
    if (c.withGlow) {
      EXPECT_TRUE(sameRaster(e.glow, raw.glow));
    }
    EXPECT_EQ(e.bounds.x0, raw.bounds.x0);
    EXPECT_EQ(e.bounds.y1, raw.bounds.y1);
  }
}

// 2 and 3 (Invert, EdgesOnly) are not built: like unknown values they leave the glow as
// extracted and the target takes the pending spread.
INSTANTIATE_TEST_SUITE_P(
    Table, ProcessingTest,
    ::testing::Values(ProcessingCase{1, false, true}, ProcessingCase{1, false, false},
                      ProcessingCase{1, true, true}, ProcessingCase{4, false, true},
                      ProcessingCase{4, true, true}, ProcessingCase{4, false, false},
                      ProcessingCase{5, false, true}, ProcessingCase{5, true, false},
                      ProcessingCase{2, false, true}, ProcessingCase{3, true, true},
                      ProcessingCase{9, false, true}));

TEST(ExtractTest, UnusableGlowSizesSpreadNothingOrEverything) {
  const HostFrame frame = shimmerly::testing::noiseFrame(9, 7, 3);
  const Extraction raw = extract(frame, settingsFor(1, 1, 0), false);
  const Extraction nan =
      extract(frame, settingsFor(1, 1, std::numeric_limits<double>::quiet_NaN()), false);
  EXPECT_TRUE(sameRaster(nan.glow, raw.glow));
  const Extraction huge = extract(frame, settingsFor(1, 1, 1e300), true);
  const Extraction capped = extract(frame, settingsFor(1, 1, kMaxSpreadRadius), true);
  EXPECT_TRUE(sameRaster(huge.glow, capped.glow));
}

}  // namespace
}  // namespace shimmerly
