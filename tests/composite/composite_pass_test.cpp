// The reference output passes on hand-made glow and target rasters: softness, trans/boost,
// bounds, blend modes, the target preview, interrupts.
#include <gtest/gtest.h>

#include <ostream>

#include <cstring>
#include <vector>

#include "composite/blend.h"
#include "composite/composite_pass.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

constexpr PF_Pixel kSentinel{0xEE, 0xDD, 0xCC, 0xBB};

bool samePixel(const PF_Pixel& a, const PF_Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

InterruptCheck never() {
  return [](int32_t, int32_t, int32_t*) { return false; };
}

GlowBounds wholeFrame(int32_t width, int32_t height) {
  GlowBounds b;
  b.include(0, 0);
  b.include(width - 1, height - 1);
  return b;
}

class PassTest : public ::testing::Test {
 protected:
  void SetUp() override { fillAlphaReciprocals(); }
  // An output frame of the input's size with its own row gap, pre-filled with a sentinel.
  static HostFrame outputFor(const HostFrame& input, int32_t rowGap = 3) {
    return testing::solidFrame(input.width, input.height, kSentinel, rowGap);
  }
};

// The passes' view of two host worlds.
FrameView viewOf(const PF_LayerDef& in, PF_LayerDef& out) {
  return FrameView{in.data, in.rowbytes / 4, out.data, out.rowbytes / 4, in.width, in.height};
}
int32_t compositePass(const CompositeControls& controls, const Raster& glow, GlowBounds bounds,
                      const PF_LayerDef& in, PF_LayerDef& out, const InterruptCheck& interrupt) {
  return shimmerly::compositePass(controls, glow, bounds, viewOf(in, out), interrupt);
}
int32_t previewPass(bool onLayer, const Raster& target, const PF_Rect& e, const PF_LayerDef& in,
                    PF_LayerDef& out, const InterruptCheck& interrupt) {
  return shimmerly::previewPass(onLayer, target, PixelBox{e.left, e.right, e.top, e.bottom},
                                viewOf(in, out), interrupt);
}

// Pixel (x, row from the top) of a kind-1 raster.
RgbaPixel& at(Raster& raster, int32_t x, int32_t rowFromTop) {
  return raster.rgbaRow(raster.height() - 1 - rowFromTop)[x];
}

TEST_F(PassTest, ZeroGlowLeavesTheInputByteForByte) {
  HostFrame input = testing::noiseFrame(9, 7, 11, 0.25, 2);
  HostFrame output = outputFor(input);
  Raster glow(9, 7, kPixelRgba);
  for (int32_t r = 0; r < 7; ++r)
    for (int32_t x = 0; x < 9; ++x) at(glow, x, r) = RgbaPixel{200, 100, 50, 0};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.boost = 2.0;
  settings.softness = 0.0;
  for (int32_t mode = 1; mode <= 8; ++mode) {
    settings.blendMode = mode;
    ASSERT_EQ(compositePass(settings, glow, wholeFrame(9, 7), in, out, never()), 0);
    for (int32_t r = 0; r < 7; ++r)
      for (int32_t x = 0; x < 9; ++x)
        ASSERT_TRUE(samePixel(output.at(x, r), input.at(x, r))) << mode << " " << x << "," << r;
  }
}

TEST_F(PassTest, EmptyBoundsGiveTheInputOrTransparentBlack) {
  HostFrame input = testing::noiseFrame(6, 5, 3);
  HostFrame output = outputFor(input);
  Raster glow(6, 5, kPixelRgba);
  for (int32_t r = 0; r < 5; ++r) at(glow, 2, r) = RgbaPixel{255, 255, 255, 255};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.compositeOnOriginal = false;
  // Bounds that lie wholly to the right of the frame become empty once clamped.
  GlowBounds outside;
  outside.include(7, 1);
  outside.include(9, 3);
  for (const GlowBounds& bounds : {GlowBounds{}, outside}) {
    ASSERT_EQ(compositePass(settings, glow, bounds, in, out, never()), 0);
    for (int32_t r = 0; r < 5; ++r)
      for (int32_t x = 0; x < 6; ++x) ASSERT_TRUE(samePixel(output.at(x, r), PF_Pixel{0, 0, 0, 0}));
  }
  settings.compositeOnOriginal = true;
  ASSERT_EQ(compositePass(settings, glow, GlowBounds{}, in, out, never()), 0);
  for (int32_t r = 0; r < 5; ++r)
    for (int32_t x = 0; x < 6; ++x) ASSERT_TRUE(samePixel(output.at(x, r), input.at(x, r)));
}

struct SoftnessCase {
  double softness;
  int (*expected)(int alpha);
};

std::string softnessName(const ::testing::TestParamInfo<SoftnessCase>& info) {
  return "Percent" + std::to_string(static_cast<int>(info.param.softness * 100));
}

void PrintTo(const SoftnessCase& c, std::ostream* os) {
  *os << "softness " << c.softness;
}

class SoftnessTest : public PassTest, public ::testing::WithParamInterface<SoftnessCase> {};

// One row holding every glow alpha 0..255; Show Effect Only shows the shaped alpha.
TEST_P(SoftnessTest, ShapesEveryAlpha) {
  HostFrame input = testing::solidFrame(256, 1, PF_Pixel{255, 1, 2, 3});
  HostFrame output = outputFor(input);
  Raster glow(256, 1, kPixelRgba);
  for (int32_t x = 0; x < 256; ++x) at(glow, x, 0) = RgbaPixel{10, 20, 30, static_cast<uint8_t>(x)};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.softness = GetParam().softness;
  settings.compositeOnOriginal = false;
  ASSERT_EQ(compositePass(settings, glow, wholeFrame(256, 1), in, out, never()), 0);
  for (int32_t x = 0; x < 256; ++x) {
    const PF_Pixel& p = output.at(x, 0);
    ASSERT_EQ(p.alpha, GetParam().expected(x)) << "glow alpha " << x;
    ASSERT_EQ(p.red, 10);
    ASSERT_EQ(p.green, 20);
    ASSERT_EQ(p.blue, 30);
  }
}

INSTANTIATE_TEST_SUITE_P(Softness, SoftnessTest,
                         ::testing::Values(SoftnessCase{0.0, [](int a) { return a > 0 ? 255 : 0; }},
                                           SoftnessCase{
                                               0.5, [](int a) { return a <= 127 ? 2 * a : 255; }},
                                           SoftnessCase{1.0, [](int a) { return a; }}),
                         softnessName);

TEST_F(PassTest, SoftnessAndBoostShapeOnePixel) {
  HostFrame input = testing::solidFrame(1, 1, PF_Pixel{255, 0, 0, 0});
  HostFrame output = outputFor(input);
  Raster glow(1, 1, kPixelRgba);
  at(glow, 0, 0) = RgbaPixel{100, 150, 200, 100};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.softness = 50 * 0.01;
  settings.boost = 1 + 50 * 0.01;
  settings.compositeOnOriginal = false;
  ASSERT_EQ(compositePass(settings, glow, wholeFrame(1, 1), in, out, never()), 0);
  EXPECT_TRUE(samePixel(output.at(0, 0), PF_Pixel{200, 227, 255, 255}));
}

// The glow handed to the blend carries the shaped alpha and the boosted colour.
TEST_F(PassTest, BlendSeesTheShapedGlow) {
  HostFrame input = testing::solidFrame(1, 1, PF_Pixel{255, 40, 80, 120});
  HostFrame output = outputFor(input);
  Raster glow(1, 1, kPixelRgba);
  at(glow, 0, 0) = RgbaPixel{100, 150, 200, 60};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.softness = 0.5;
  settings.boost = 1.2;
  settings.blendMode = 1;
  ASSERT_EQ(compositePass(settings, glow, wholeFrame(1, 1), in, out, never()), 0);
  PF_Pixel expected = input.at(0, 0);
  const int lift = static_cast<int>((1.2 - 1) * 255);
  const RgbaPixel shaped{static_cast<uint8_t>(100 + lift), static_cast<uint8_t>(150 + lift),
                         static_cast<uint8_t>(200 + lift), 120};
  blendPixel(1, shaped, expected);
  EXPECT_TRUE(samePixel(output.at(0, 0), expected));
}

TEST_F(PassTest, TransBoostAtBothEnds) {
  HostFrame input = testing::noiseFrame(8, 4, 5);
  HostFrame output = outputFor(input);
  Raster glow(8, 4, kPixelRgba);
  for (int32_t r = 0; r < 4; ++r)
    for (int32_t x = 0; x < 8; ++x)
      at(glow, x, r) =
          RgbaPixel{static_cast<uint8_t>(x * 30), 7, 0, static_cast<uint8_t>(1 + x * 36)};
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.softness = 1.0;
  settings.boost = 1 + -100 * 0.01;
  settings.blendMode = 2;
  ASSERT_EQ(compositePass(settings, glow, wholeFrame(8, 4), in, out, never()), 0);
  for (int32_t r = 0; r < 4; ++r)
    for (int32_t x = 0; x < 8; ++x) ASSERT_TRUE(samePixel(output.at(x, r), input.at(x, r)));

  settings.boost = 1 + 100 * 0.01;
  settings.compositeOnOriginal = false;
  ASSERT_EQ(compositePass(settings, glow, wholeFrame(8, 4), in, out, never()), 0);
  for (int32_t r = 0; r < 4; ++r)
    for (int32_t x = 0; x < 8; ++x)
      ASSERT_TRUE(
          samePixel(output.at(x, r), PF_Pixel{static_cast<uint8_t>(1 + x * 36), 255, 255, 255}));
}

TEST_F(PassTest, BlendModeOutsideTheTableLeavesTheInput) {
  HostFrame input = testing::noiseFrame(5, 3, 8, 0.0);
  HostFrame output = outputFor(input, 0);
  Raster glow(5, 3, kPixelRgba);
  for (int32_t r = 0; r < 3; ++r)
    for (int32_t x = 0; x < 5; ++x) at(glow, x, r) = RgbaPixel{255, 0, 0, 255};
  PF_LayerDef in = input.world(), out = output.world();
  for (int32_t mode : {0, 9, -1}) {
    CompositeControls settings;
    settings.blendMode = mode;
    ASSERT_EQ(compositePass(settings, glow, wholeFrame(5, 3), in, out, never()), 0);
    for (int32_t r = 0; r < 3; ++r)
      for (int32_t x = 0; x < 5; ++x) ASSERT_TRUE(samePixel(output.at(x, r), input.at(x, r)));
  }
}

// Show Effect Only clears what lies outside the bounds, widened outward to whole pixels.
TEST_F(PassTest, EffectOnlyClearsOutsideTheBounds) {
  HostFrame input = testing::solidFrame(6, 6, PF_Pixel{255, 9, 9, 9});
  HostFrame output = outputFor(input);
  Raster glow(6, 6, kPixelRgba);
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t x = 0; x < 6; ++x) at(glow, x, r) = RgbaPixel{1, 2, 3, 4};
  GlowBounds bounds;  // raster rows 1.5..2.2 are host rows 2..4
  bounds.include(1.5, 1.5);
  bounds.include(2.2, 2.2);
  PF_LayerDef in = input.world(), out = output.world();
  CompositeControls settings;
  settings.softness = 1.0;
  settings.compositeOnOriginal = false;
  ASSERT_EQ(compositePass(settings, glow, bounds, in, out, never()), 0);
  for (int32_t r = 0; r < 6; ++r) {
    const int32_t y = 5 - r;
    for (int32_t x = 0; x < 6; ++x) {
      const bool inside = x >= 1 && x <= 3 && y >= 1 && y <= 3;
      ASSERT_TRUE(samePixel(output.at(x, r), inside ? PF_Pixel{4, 1, 2, 3} : PF_Pixel{0, 0, 0, 0}))
          << x << "," << r;
    }
  }
}

std::string passName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "Composite" : "Preview";
}

class InterruptRowTest : public PassTest, public ::testing::WithParamInterface<bool> {};

// A stop at row r returns the host's code with rows 0..r-1 written and the rest untouched.
TEST_P(InterruptRowTest, StopsAtTheRowWithRowsAboveWritten) {
  HostFrame input = testing::noiseFrame(4, 6, 2);
  HostFrame output = outputFor(input);
  Raster raster(4, 6, kPixelRgba);
  PF_LayerDef in = input.world(), out = output.world();
  std::vector<int32_t> asked;
  InterruptCheck stopAt3 = [&asked](int32_t row, int32_t total, int32_t* code) {
    asked.push_back(row);
    EXPECT_EQ(total, 6);
    if (row < 3) return false;
    *code = 1234;
    return true;
  };
  int32_t result;
  if (GetParam()) {
    result = compositePass(CompositeControls{}, raster, wholeFrame(4, 6), in, out, stopAt3);
  } else {
    result = previewPass(true, raster, PF_Rect{0, 0, 3, 5}, in, out, stopAt3);
  }
  EXPECT_EQ(result, 1234);
  EXPECT_EQ(asked, (std::vector<int32_t>{0, 1, 2, 3}));
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t x = 0; x < 4; ++x)
      ASSERT_EQ(samePixel(output.at(x, r), kSentinel), r >= 3) << x << "," << r;
}

INSTANTIATE_TEST_SUITE_P(Passes, InterruptRowTest, ::testing::Bool(), passName);

std::string previewName(const ::testing::TestParamInfo<bool>& info) {
  return info.param ? "OnLayer" : "EffectOnly";
}

class PreviewTest : public PassTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PreviewTest, ShowsTheTargetInsideTheExtentOnly) {
  const bool onLayer = GetParam();
  HostFrame input = testing::noiseFrame(7, 6, 4, 0.2, 1);
  HostFrame output = outputFor(input);
  Raster target(7, 6, kPixelRgba);
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t x = 0; x < 7; ++x)
      at(target, x, r) = RgbaPixel{1, 2, 3, static_cast<uint8_t>(r * 40 + x * 5)};
  const PF_Rect extent{2, 1, 4, 3};  // inclusive
  PF_LayerDef in = input.world(), out = output.world();
  ASSERT_EQ(previewPass(onLayer, target, extent, in, out, never()), 0);
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t x = 0; x < 7; ++x) {
      const bool inside = x >= 2 && x <= 4 && r >= 1 && r <= 3;
      const uint8_t alpha = static_cast<uint8_t>(r * 40 + x * 5);
      PF_Pixel expected{0, 0, 0, 0};
      if (inside && onLayer) {
        expected = input.at(x, r);
        blendPixel(1, RgbaPixel{50, 200, 20, alpha}, expected);
      } else if (inside) {
        expected = PF_Pixel{alpha, 50, 200, 20};
      }
      ASSERT_TRUE(samePixel(output.at(x, r), expected)) << x << "," << r;
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, PreviewTest, ::testing::Bool(), previewName);

}  // namespace
}  // namespace shimmerly
