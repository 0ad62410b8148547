// The fast composite and preview passes against an oracle that follows the per-pixel rules one
// pixel at a time through blendPixel: seeded random layers, glow rasters and bounds (empty,
// partial, beyond the frame), every blend mode and two invalid ones, Softness 0 to above 1,
// Trans/Boost below, at and above 1, Show Effect Only on and off, interrupts at random rows,
// row gaps on both worlds; on one thread and several. Outputs start filled with a sentinel.
#include "composite/fast_composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "composite/blend.h"
#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;
using testing::noiseFrame;

struct Oracle {
  const HostFrame& input;
  HostFrame& output;
  int32_t stopAt;  // -1: never
};

// The composite pass, pixel by pixel.
int32_t oracleComposite(Oracle o, const Raster& glow, GlowBounds b, const CompositeControls& c) {
  const int32_t w = o.input.width, h = o.input.height;
  const double s = c.softness, r = s == 0 ? 1.0 : 1.0 / s, L = 255 * s, boost = c.boost;
  if (b.x0 < 0) b.x0 = 0;
  if (b.x1 > w - 1) b.x1 = w - 1;
  if (b.y0 < 0) b.y0 = 0;
  if (b.y1 > h - 1) b.y1 = h - 1;
  const bool empty = b.x0 > b.x1 || b.y0 > b.y1;
  for (int32_t row = 0; row < h; ++row) {
    if (row == o.stopAt) return 517;
    const int32_t y = h - 1 - row;
    for (int32_t x = 0; x < w; ++x) {
      PF_Pixel& out = o.output.at(x, row);
      const PF_Pixel& in = o.input.at(x, row);
      if (empty) {
        out = c.compositeOnOriginal ? in : PF_Pixel{0, 0, 0, 0};
        continue;
      }
      if (!c.compositeOnOriginal && (y < static_cast<int>(b.y0) || y > std::ceil(b.y1) ||
                                     x < static_cast<int>(b.x0) || x > std::ceil(b.x1))) {
        out = PF_Pixel{0, 0, 0, 0};
        continue;
      }
      RgbaPixel g = glow.rgbaRow(y)[x];
      int A = g.alpha;
      if (s < 1) {
        if (s == 0 && A > 0)
          A = 255;
        else if (A > L)
          A = 255;
        else
          A = std::min(255, static_cast<int>(A * r));
      }
      if (boost < 1) A = static_cast<int>(A * boost);
      if (boost > 1) {
        const int k = static_cast<int>((boost - 1) * 255);
        g.red = static_cast<uint8_t>(std::min(255, g.red + k));
        g.green = static_cast<uint8_t>(std::min(255, g.green + k));
        g.blue = static_cast<uint8_t>(std::min(255, g.blue + k));
      }
      g.alpha = static_cast<uint8_t>(A);
      if (c.compositeOnOriginal) {
        out = in;
        if (A != 0 && c.blendMode >= 1 && c.blendMode <= 8) blendPixel(c.blendMode, g, out);
      } else {
        out = PF_Pixel{static_cast<uint8_t>(A), g.red, g.green, g.blue};
      }
    }
  }
  return 0;
}

int32_t oraclePreview(Oracle o, const Raster& target, const PF_Rect& e, bool onLayer) {
  const int32_t w = o.input.width, h = o.input.height;
  for (int32_t row = 0; row < h; ++row) {
    if (row == o.stopAt) return 517;
    for (int32_t x = 0; x < w; ++x) {
      PF_Pixel& out = o.output.at(x, row);
      if (x < e.left || x > e.right || row < e.top || row > e.bottom) {
        out = PF_Pixel{0, 0, 0, 0};
        continue;
      }
      const RgbaPixel t{50, 200, 20, target.rgbaRow(h - 1 - row)[x].alpha};
      if (onLayer) {
        out = o.input.at(x, row);
        blendPixel(1, t, out);
      } else {
        out = PF_Pixel{t.alpha, 50, 200, 20};
      }
    }
  }
  return 0;
}

Raster randomGlow(std::mt19937& rng, int32_t w, int32_t h) {
  Raster glow(w, h, kPixelRgba);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = rng();
      RgbaPixel p{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
      if (rng() % 3 == 0) p.alpha = 0;
      glow.rgbaRow(y)[x] = p;
    }
  return glow;
}

// Rows made of stretches that each hold one kind of pixel: no glow, an opaque layer, a
// transparent layer, or noise. Real frames are mostly such stretches, and the passes may take
// each kind its own way.
void stretchesOfOneKind(std::mt19937& rng, HostFrame& input, Raster& glow) {
  for (int32_t r = 0; r < input.height; ++r) {
    int32_t x = 0;
    while (x < input.width) {
      const int32_t length = 1 + static_cast<int32_t>(rng() % 48);
      const uint32_t kind = rng() % 4;
      for (int32_t k = x; k < std::min(input.width, x + length); ++k) {
        if (kind == 0) glow.rgbaRow(input.height - 1 - r)[k].alpha = 0;
        if (kind == 1) input.at(k, r).alpha = 255;
        if (kind == 2) input.at(k, r).alpha = 0;
      }
      x += length;
    }
  }
}

HostFrame sentinelFrame(int32_t w, int32_t h, int32_t gap) {
  HostFrame f = testing::solidFrame(w, h, PF_Pixel{0xA5, 0xA5, 0xA5, 0xA5}, gap);
  return f;
}

// The fast passes' view of a frame read from `in` and written to `out`, both of in's size.
FrameView viewOf(const HostFrame& in, HostFrame& out) {
  return FrameView{in.pixels.data(),  in.width + in.rowGap,
                   out.pixels.data(), out.width + out.rowGap,
                   in.width,          in.height};
}

::testing::AssertionResult sameRows(const HostFrame& a, const HostFrame& b, int32_t rows) {
  for (int32_t r = 0; r < rows; ++r)
    for (int32_t x = 0; x < a.width; ++x)
      if (std::memcmp(&a.at(x, r), &b.at(x, r), 4) != 0) {
        const PF_Pixel p = a.at(x, r), q = b.at(x, r);
        return ::testing::AssertionFailure()
               << "at (" << x << ", row " << r << "): (" << +p.alpha << ", " << +p.red << ", "
               << +p.green << ", " << +p.blue << ") vs (" << +q.alpha << ", " << +q.red << ", "
               << +q.green << ", " << +q.blue << ")";
      }
  return ::testing::AssertionSuccess();
}

struct Setup {
  const char* name;
  KernelIsa isa;
  int threads;
};

class FastCompositeTest : public ::testing::TestWithParam<Setup> {
 protected:
  void SetUp() override {
    if (setKernelIsa(GetParam().isa) != GetParam().isa) GTEST_SKIP() << "not on this processor";
    if (GetParam().threads > 1) pool_ = std::make_unique<RenderPool>(GetParam().threads);
  }
  void TearDown() override { setKernelIsa(detectedKernelIsa()); }
  FastContext context() { return {pool_.get(), &memory_}; }
  // The composite of a 256 × 256 layer and glow, the glow's bounds the whole frame, against the
  // oracle.
  ::testing::AssertionResult wholeFrameMatchesOracle(const HostFrame& input, const Raster& glow,
                                                     const CompositeControls& controls);
  std::unique_ptr<RenderPool> pool_;
  FrameMemory memory_;
};

double coordinate(std::mt19937& rng, int32_t size) {
  return static_cast<double>(static_cast<int32_t>(rng() % (size + 20)) - 10) + (rng() % 2) * 0.5;
}

::testing::AssertionResult FastCompositeTest::wholeFrameMatchesOracle(
    const HostFrame& input, const Raster& glow, const CompositeControls& controls) {
  GlowBounds bounds;
  bounds.include(0, 0);
  bounds.include(255, 255);
  HostFrame expected = sentinelFrame(256, 256, 0), actual = sentinelFrame(256, 256, 0);
  oracleComposite({input, expected, -1}, glow, bounds, controls);
  const FrameView view{input.pixels.data(), 256, actual.pixels.data(), 256, 256, 256};
  if (fastCompositePass(view, glow, bounds, controls, {}, context()) != 0)
    return ::testing::AssertionFailure() << "the pass reported a failure";
  return sameRows(actual, expected, 256);
}

TEST_P(FastCompositeTest, CompositeMatchesOracle) {
  std::mt19937 rng(99u + GetParam().threads);
  const double softness[] = {0.0, 0.01, 0.5, 0.8, 0.99, 1.0, 1.5};
  const double boost[] = {0.0, 0.25, 1.0, 1.5, 2.0, 0.999};
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + rng() % (i % 3 == 0 ? 150 : 50), h = 1 + rng() % 50;
    HostFrame input = noiseFrame(w, h, rng(), 0.3, rng() % 2);
    Raster glow = randomGlow(rng, w, h);
    if (i % 2 == 0) stretchesOfOneKind(rng, input, glow);
    GlowBounds bounds;
    if (rng() % 6 != 0) {
      bounds.include(coordinate(rng, w), coordinate(rng, h));
      bounds.include(coordinate(rng, w), coordinate(rng, h));
    }
    const CompositeControls controls{softness[rng() % 7], boost[rng() % 6],
                                     static_cast<int32_t>(rng() % 10), rng() % 3 != 0};
    const int32_t stopAt = rng() % 5 == 0 ? static_cast<int32_t>(rng() % h) : -1;
    const int32_t gap = rng() % 2;
    HostFrame expected = sentinelFrame(w, h, gap), actual = sentinelFrame(w, h, gap);
    const int32_t expectedCode = oracleComposite({input, expected, stopAt}, glow, bounds, controls);
    std::vector<int32_t> polls;
    const FrameView view = viewOf(input, actual);
    const int32_t code = fastCompositePass(
        view, glow, bounds, controls,
        [&](int32_t row, int32_t, int32_t* c) {
          polls.push_back(row);
          if (row != stopAt) return false;
          *c = 517;
          return true;
        },
        context());
    const std::string what = "case " + std::to_string(i) + " mode " +
                             std::to_string(controls.blendMode) + " stop " + std::to_string(stopAt);
    ASSERT_EQ(code, expectedCode) << what;
    ASSERT_EQ(polls.size(), static_cast<size_t>(stopAt < 0 ? h : stopAt + 1)) << what;
    for (size_t k = 0; k < polls.size(); ++k) ASSERT_EQ(polls[k], static_cast<int32_t>(k));
    // Rows from the stop on keep the sentinel: nothing was written there.
    ASSERT_TRUE(sameRows(actual, expected, h)) << what;
  }
}

// A glow of one colour given by its alphas, against the oracle on the same glow as words whose
// pixels of zero alpha hold the colour or zero at random: onto the layer the two must agree, the
// colour of those pixels unseen. Softness and Trans/Boost take any value of their sliders'
// ranges, so that the shaping in whole numbers is found for some and not for others; the glow
// alone takes pixels of zero alpha as zero.
TEST_P(FastCompositeTest, CompositeOfAlphasMatchesOracle) {
  std::mt19937 rng(321u + GetParam().threads);
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + rng() % (i % 3 == 0 ? 150 : 50), h = 1 + rng() % 50;
    HostFrame input = noiseFrame(w, h, rng(), 0.3, rng() % 2);
    const uint32_t colour = rng() % 4 == 0 ? 0xFFFFFFu : rng() & 0xFFFFFFu;
    const bool onLayer = rng() % 4 != 0;
    Raster glow = randomGlow(rng, w, h);
    if (i % 2 == 0) stretchesOfOneKind(rng, input, glow);
    std::vector<uint8_t> alpha(static_cast<size_t>(w) * h);
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x) {
        RgbaPixel& p = glow.rgbaRow(y)[x];
        alpha[static_cast<size_t>(y) * w + x] = p.alpha;
        const bool coloured = p.alpha != 0 || (onLayer && rng() % 2);
        p.red = coloured ? uint8_t(colour) : 0;
        p.green = coloured ? uint8_t(colour >> 8) : 0;
        p.blue = coloured ? uint8_t(colour >> 16) : 0;
      }
    GlowBounds bounds;
    if (rng() % 6 != 0) {
      bounds.include(coordinate(rng, w), coordinate(rng, h));
      bounds.include(coordinate(rng, w), coordinate(rng, h));
    }
    const double softness = (rng() % 1151) / 1000.0;
    const double boost = rng() % 5 == 0 ? 1.0 : (rng() % 2101) / 1000.0;
    const CompositeControls controls{softness, boost, static_cast<int32_t>(rng() % 10), onLayer};
    const int32_t stopAt = rng() % 5 == 0 ? static_cast<int32_t>(rng() % h) : -1;
    HostFrame expected = sentinelFrame(w, h, 1), actual = sentinelFrame(w, h, 1);
    const int32_t expectedCode = oracleComposite({input, expected, stopAt}, glow, bounds, controls);
    const FrameView view = viewOf(input, actual);
    const int32_t code = fastCompositeOfAlphas(
        view, alpha.data(), colour, bounds, controls,
        [&](int32_t row, int32_t, int32_t* c) {
          if (row != stopAt) return false;
          *c = 517;
          return true;
        },
        context());
    const std::string what = "case " + std::to_string(i) + " mode " +
                             std::to_string(controls.blendMode) + " softness " +
                             std::to_string(softness) + " boost " + std::to_string(boost);
    ASSERT_EQ(code, expectedCode) << what;
    ASSERT_TRUE(sameRows(actual, expected, h)) << what;
  }
}

// Every blend mode over every pair of layer and glow alpha: a 256 × 256 frame whose layer alpha
// is the column and glow alpha the row, with extreme and random colours, at softness and boost
// settings that keep, soften, fade and lift, with and without the shaping in whole numbers.
TEST_P(FastCompositeTest, EveryModeMatchesOracleForEveryPairOfAlphas) {
  std::mt19937 rng(77u + GetParam().threads);
  // Softness 14 % and Trans/Boost -65 % have no shaping in whole numbers: the doubles run.
  const double settings[][2] = {{1.0, 1.0}, {0.8, 1.0},       {0.37, 0.61},         {1.0, 1.83},
                                {0.0, 0.5}, {14 * 0.01, 1.0}, {1.0, 1 + -65 * 0.01}};
  for (int32_t mode = 1; mode <= 8; ++mode) {
    for (const auto& [softness, boost] : settings) {
      HostFrame input = testing::solidFrame(256, 256, PF_Pixel{0, 0, 0, 0});
      Raster glow(256, 256, kPixelRgba);
      for (int32_t r = 0; r < 256; ++r)
        for (int32_t x = 0; x < 256; ++x) {
          const uint32_t v = rng();
          const uint8_t pick = (v & 3) == 0 ? 255 : ((v & 3) == 1 ? 0 : uint8_t(v >> 8));
          input.at(x, r) = PF_Pixel{uint8_t(x), pick, uint8_t(v >> 16), uint8_t(v >> 24)};
          const uint32_t u = rng();
          glow.rgbaRow(255 - r)[x] = RgbaPixel{uint8_t(u), (u & 1) ? uint8_t(255) : uint8_t(u >> 8),
                                               uint8_t(u >> 16), uint8_t(r)};
        }
      ASSERT_TRUE(wholeFrameMatchesOracle(input, glow, {softness, boost, mode, true}))
          << "mode " << mode << " softness " << softness << " boost " << boost;
    }
  }
}

// Every blend mode over a layer transparent or opaque throughout, where the rows take their
// blocks' own forms (Screen's table over a transparent layer, its undivided form over an opaque
// one): every pair of glow alpha (the row) and glow red (the column), random green and blue and
// random layer colours, at the same settings.
TEST_P(FastCompositeTest, EveryModeMatchesOracleOverClearAndOpaqueLayers) {
  std::mt19937 rng(78u + GetParam().threads);
  const double settings[][2] = {{1.0, 1.0}, {0.8, 1.0}, {0.37, 0.61}, {1.0, 1.83}, {0.0, 0.5}};
  for (const uint8_t layerAlpha : {uint8_t{0}, uint8_t{255}}) {
    for (int32_t mode = 1; mode <= 8; ++mode) {
      for (const auto& [softness, boost] : settings) {
        HostFrame input = testing::solidFrame(256, 256, PF_Pixel{0, 0, 0, 0});
        Raster glow(256, 256, kPixelRgba);
        for (int32_t r = 0; r < 256; ++r)
          for (int32_t x = 0; x < 256; ++x) {
            const uint32_t v = rng();
            input.at(x, r) = PF_Pixel{layerAlpha, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
            const uint32_t u = rng();
            glow.rgbaRow(255 - r)[x] =
                RgbaPixel{uint8_t(x), uint8_t(u), uint8_t(u >> 8), uint8_t(r)};
          }
        ASSERT_TRUE(wholeFrameMatchesOracle(input, glow, {softness, boost, mode, true}))
            << "layer alpha " << int{layerAlpha} << " mode " << mode << " softness " << softness
            << " boost " << boost;
      }
    }
  }
}

TEST_P(FastCompositeTest, PreviewMatchesOracle) {
  std::mt19937 rng(5u + GetParam().threads);
  for (int i = 0; i < 150; ++i) {
    const int32_t w = 1 + rng() % 50, h = 1 + rng() % 50;
    const HostFrame input = noiseFrame(w, h, rng(), 0.3, rng() % 2);
    const Raster target = randomGlow(rng, w, h);
    PF_Rect e{static_cast<int32_t>(rng() % w), static_cast<int32_t>(rng() % h), 0, 0};
    e.right = e.left + static_cast<int32_t>(rng() % (w - e.left));
    e.bottom = e.top + static_cast<int32_t>(rng() % (h - e.top));
    const bool onLayer = rng() % 2;
    const int32_t stopAt = rng() % 5 == 0 ? static_cast<int32_t>(rng() % h) : -1;
    HostFrame expected = sentinelFrame(w, h, 0), actual = sentinelFrame(w, h, 0);
    const int32_t expectedCode = oraclePreview({input, expected, stopAt}, target, e, onLayer);
    const FrameView view = viewOf(input, actual);
    const int32_t code = fastPreviewPass(
        view, target, PixelBox{e.left, e.right, e.top, e.bottom}, onLayer,
        [&](int32_t row, int32_t, int32_t* c) {
          if (row != stopAt) return false;
          *c = 517;
          return true;
        },
        context());
    ASSERT_EQ(code, expectedCode) << "case " << i;
    ASSERT_TRUE(sameRows(actual, expected, h)) << "case " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Setups, FastCompositeTest,
                         ::testing::Values(Setup{"generic_1", KernelIsa::kGeneric, 1},
                                           Setup{"avx2_2", KernelIsa::kAvx2, 2},
                                           Setup{"avx512_1", KernelIsa::kAvx512, 1},
                                           Setup{"avx512_3", KernelIsa::kAvx512, 3},
                                           Setup{"neon_1", KernelIsa::kNeon, 1},
                                           Setup{"neon_3", KernelIsa::kNeon, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shimmerly
