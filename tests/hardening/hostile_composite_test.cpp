// The composite pass, reference and fast, under Softness and Trans/Boost far beyond their
// ranges (a host may write anything into a slider): both forms agree byte for byte, and each
// value past a range end composites exactly as the range end does.
#include <gtest/gtest.h>

#include <limits>
#include <random>
#include <string>

#include "composite/blend.h"
#include "composite/composite_pass.h"
#include "composite/fast_composite.h"
#include "core/frame_memory.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// s and b as the render command forms them from the sliders; `end` is the range end that each
// value must act as.
struct Shaping {
  const char* name;
  double softness, boost;
  double endSoftness, endBoost;
};

const Shaping kShapings[] = {
    {"SoftnessNegative", -0.01, 1, 0, 1},
    {"SoftnessMinusInfinity", -kInf, 1, 0, 1},
    {"SoftnessReciprocalInfinite", 1e-309, 1, 0, 1},
    {"SoftnessTiny", 1e-300, 1, 0, 1},
    {"SoftnessAboveOne", 7.5, 1, 1, 1},
    {"SoftnessInfinite", kInf, 1, 1, 1},
    {"SoftnessNaN", kNaN, 1, 1, 1},
    {"BoostBelowMinus100", 0.8, -0.5, 0.8, 0},
    {"BoostHugeNegative", 0.8, -1e300, 0.8, 0},
    {"BoostMinusInfinity", 0.8, -kInf, 0.8, 0},
    {"BoostAbove100", 0.8, 2.5, 0.8, 2},
    {"BoostBeyondInt", 0.8, 1e7, 0.8, 2},
    {"BoostInfinite", 0.8, kInf, 0.8, 2},
    {"BoostNaN", 0.8, kNaN, 0.8, 1},
    {"BothWild", -kInf, kInf, 0, 2},
};

Raster randomGlow(std::mt19937& rng, int32_t w, int32_t h) {
  Raster glow(w, h, kPixelRgba);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = rng();
      glow.rgbaRow(y)[x] =
          RgbaPixel{static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8),
                    static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v % 3 == 0 ? 0 : v >> 24)};
    }
  return glow;
}

class ShapingTest : public ::testing::TestWithParam<Shaping> {
 protected:
  void SetUp() override { fillAlphaReciprocals(); }
  static InterruptCheck never() {
    return [](int32_t, int32_t, int32_t*) { return false; };
  }
  HostFrame reference(const HostFrame& input, const Raster& glow, double s, double b, int32_t mode,
                      bool onLayer) {
    HostFrame out = testing::solidFrame(input.width, input.height, PF_Pixel{7, 7, 7, 7}, 1);
    const FrameView view{input.pixels.data(), input.width + input.rowGap,
                         out.pixels.data(),   out.width + out.rowGap,
                         input.width,         input.height};
    CompositeControls c;
    c.softness = s;
    c.boost = b;
    c.blendMode = mode;
    c.compositeOnOriginal = onLayer;
    GlowBounds bounds;
    bounds.include(0, 0);
    bounds.include(input.width - 1, input.height - 1);
    EXPECT_EQ(compositePass(c, glow, bounds, view, never()), 0);
    return out;
  }
  HostFrame fast(const HostFrame& input, const Raster& glow, double s, double b, int32_t mode,
                 bool onLayer) {
    HostFrame out = testing::solidFrame(input.width, input.height, PF_Pixel{7, 7, 7, 7}, 1);
    const FrameView view{input.pixels.data(), input.width + input.rowGap,
                         out.pixels.data(),   out.width + out.rowGap,
                         input.width,         input.height};
    GlowBounds bounds;
    bounds.include(0, 0);
    bounds.include(input.width - 1, input.height - 1);
    EXPECT_EQ(fastCompositePass(view, glow, bounds, CompositeControls{s, b, mode, onLayer}, never(),
                                FastContext{nullptr, &memory_}),
              0);
    return out;
  }
  FrameMemory memory_;
};

void expectSame(const HostFrame& a, const HostFrame& b, const std::string& what) {
  ASSERT_EQ(a.pixels.size(), b.pixels.size());
  for (size_t i = 0; i < a.pixels.size(); ++i) {
    const PF_Pixel &p = a.pixels[i], &q = b.pixels[i];
    ASSERT_TRUE(p.alpha == q.alpha && p.red == q.red && p.green == q.green && p.blue == q.blue)
        << what << " at pixel " << i << ": " << int(p.alpha) << "," << int(p.red) << " vs "
        << int(q.alpha) << "," << int(q.red);
  }
}

TEST_P(ShapingTest, BeyondTheRangeActsAsItsEndInBothPasses) {
  const Shaping& c = GetParam();
  std::mt19937 rng(4242);
  const HostFrame input = testing::noiseFrame(19, 7, 9, 0.3, 2);
  const Raster glow = randomGlow(rng, 19, 7);
  for (int32_t mode : {0, 1, 2, 3, 4, 5, 6, 7, 8}) {
    for (bool onLayer : {true, false}) {
      const std::string what = std::string(c.name) + " mode " + std::to_string(mode) +
                               (onLayer ? " on layer" : " effect only");
      const HostFrame expected = reference(input, glow, c.endSoftness, c.endBoost, mode, onLayer);
      expectSame(reference(input, glow, c.softness, c.boost, mode, onLayer), expected,
                 what + " (reference)");
      expectSame(fast(input, glow, c.softness, c.boost, mode, onLayer), expected, what + " (fast)");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Controls, ShapingTest, ::testing::ValuesIn(kShapings),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shimmerly
