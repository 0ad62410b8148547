// Fast extraction (with its processing step, inner and outer glow) against the reference
// extraction, byte for byte: seeded random layers with row gaps, every target type and
// processing value, both colour sources, shapes, cutoffs, Show Target, both qualities, glow
// sizes from 0 to beyond the layer, glow raster present or not, bounds shared or separate, and
// interrupts at random rows; on one thread and several. The fast rasters start filled with a
// sentinel, the reference ones zero, so every pixel the fast path must write is checked.
#include "glow/fast_extract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "glow/inner_outer_glow.h"
#include "glow/luminance.h"
#include "glow_fixtures.h"
#include "presets/glow_unit.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::at;
using testing::HostFrame;
using testing::noiseFrame;

Raster sentinelRaster(int32_t w, int32_t h) {
  Raster raster(w, h, kPixelRgba);
  std::memset(raster.pixels(), 0xA5, static_cast<size_t>(w) * h * 4);
  return raster;
}

// Rows of raster rows from `fromRow` up (the rows an interrupted extraction wrote) compared.
::testing::AssertionResult sameRows(const Raster& a, const Raster& b, int32_t fromRow) {
  for (int32_t y = fromRow; y < a.height(); ++y)
    if (std::memcmp(a.rgbaRow(y), b.rgbaRow(y), static_cast<size_t>(a.width()) * 4) != 0)
      return ::testing::AssertionFailure() << "raster row " << y << " differs";
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult sameBounds(const GlowBounds& a, const GlowBounds& b) {
  if (std::memcmp(&a, &b, sizeof a) == 0) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "bounds (" << a.x0 << ", " << a.x1 << ", " << a.y0 << ", " << a.y1 << ") vs (" << b.x0
         << ", " << b.x1 << ", " << b.y0 << ", " << b.y1 << ")";
}

HostFrame randomLayer(std::mt19937& rng, int32_t w, int32_t h) {
  HostFrame frame = noiseFrame(w, h, rng(), (rng() % 4) * 0.25, rng() % 3);
  // Often only a rectangle of the layer is visible, so that bounds and borders matter.
  if (rng() % 2) {
    const int32_t x0 = rng() % w, x1 = x0 + rng() % (w - x0);
    const int32_t r0 = rng() % h, r1 = r0 + rng() % (h - r0);
    for (int32_t r = 0; r < h; ++r)
      for (int32_t x = 0; x < w; ++x)
        if (x < x0 || x > x1 || r < r0 || r > r1) frame.at(x, r).alpha = 0;
  }
  return frame;
}

RenderSettings randomSettings(std::mt19937& rng, int32_t w, int32_t h) {
  RenderSettings s;
  s.targetType = static_cast<int32_t>(rng() % 10);  // 0 and 9 select nothing
  const int32_t processing[] = {1, 1, 4, 5, 0, 2, 3};
  s.targetProcessing = processing[rng() % 7];
  if (s.targetType >= 5 && rng() % 2) {
    s.shapeRadiusX = rng() % 40 * 0.5;
    s.shapeRadiusY = rng() % 40 * 0.5;
    s.shapeSkew = (rng() % 5) * 0.1 - 0.2;
    s.shapeCentreX = rng() % (w + 1);
    s.shapeCentreY = rng() % (h + 1);
  }
  switch (rng() % 5) {
    case 0:
      s.glowSize = 0;
      break;
    case 1:
      s.glowSize = std::max(w, h) + rng() % 100;
      break;
    default:
      s.glowSize = rng() % 3000 / 100.0;
  }
  s.darkCutoff = rng() % 256 * 2.5500000000000003 / 2.55;
  s.brightCutoff = rng() % 256;
  s.showTarget = rng() % 4 == 0;
  return s;
}

struct Setup {
  const char* name;
  KernelIsa isa;
  int threads;
};

class FastExtractTest : public ::testing::TestWithParam<Setup> {
 protected:
  void SetUp() override {
    if (setKernelIsa(GetParam().isa) != GetParam().isa) GTEST_SKIP() << "not on this processor";
    if (GetParam().threads > 1) pool_ = std::make_unique<RenderPool>(GetParam().threads);
  }
  void TearDown() override { setKernelIsa(detectedKernelIsa()); }

  // The glow raster of the layer's colours from the fast extraction (with its processing step)
  // against the reference's, both with a glow raster and a target raster.
  ::testing::AssertionResult layerGlowMatchesReference(const HostFrame& layer,
                                                       const RenderSettings& settings, bool low) {
    const int32_t w = layer.width, h = layer.height;
    Raster expectedTarget(w, h, kPixelRgba), expectedGlow(w, h, kPixelRgba);
    RenderSettings expectedSettings = settings, actualSettings = settings;
    GlowBounds expectedBounds, actualBounds;
    extractTarget({expectedTarget,
                   expectedSettings,
                   layer.pixels.data(),
                   layer.rowGap,
                   w,
                   h,
                   1.0,
                   low,
                   expectedBounds,
                   expectedBounds,
                   {},
                   &expectedGlow,
                   ColorFrom::Layer,
                   {}});
    Raster actualTarget = sentinelRaster(w, h), actualGlow = sentinelRaster(w, h);
    memory_.beginFrame(w, h);
    fastExtractTarget({actualTarget,
                       actualSettings,
                       layer.pixels.data(),
                       layer.rowGap,
                       w,
                       h,
                       1.0,
                       low,
                       actualBounds,
                       actualBounds,
                       {},
                       &actualGlow,
                       ColorFrom::Layer,
                       {}},
                      {pool_.get(), &memory_});
    return sameRows(actualGlow, expectedGlow, 0);
  }

  std::unique_ptr<RenderPool> pool_;
  FrameMemory memory_;
};

TEST_P(FastExtractTest, MatchesReferenceOnRandomLayersAndSettings) {
  std::mt19937 rng(4242u + GetParam().threads);
  for (int i = 0; i < 300; ++i) {
    const int32_t w = 1 + rng() % 64, h = 1 + rng() % 64;
    const HostFrame layer = randomLayer(rng, w, h);
    const RenderSettings settings = randomSettings(rng, w, h);
    const bool low = rng() % 2, withGlow = rng() % 8 != 0, shared = rng() % 4 != 0;
    const double aspect = rng() % 3 == 0 ? 0.9 : 1.0;
    const int32_t colorSource = 1 + rng() % 3;
    const RgbColor custom{uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    // An interrupt at a random row in one case out of six.
    const int32_t stopAt = rng() % 6 == 0 ? static_cast<int32_t>(rng() % h) : -1;
    std::vector<int32_t> expectedPolls, actualPolls;
    auto checker = [&](std::vector<int32_t>& polls) {
      return InterruptCheck([&polls, stopAt](int32_t row, int32_t, int32_t* code) {
        polls.push_back(row);
        if (row != stopAt) return false;
        *code = 517;
        return true;
      });
    };

    Raster expectedTarget(w, h, kPixelRgba), expectedGlow(w, h, kPixelRgba);
    RenderSettings expectedSettings = settings;
    GlowBounds expectedA, expectedB;
    const InterruptCheck expectedCheck = checker(expectedPolls);
    const int32_t expectedCode =
        extractTarget({expectedTarget, expectedSettings, layer.pixels.data(), layer.rowGap, w, h,
                       aspect, low, expectedA, shared ? expectedA : expectedB, expectedCheck,
                       withGlow ? &expectedGlow : nullptr, colorSource, custom});

    Raster actualTarget = sentinelRaster(w, h);
    Raster actualGlow = sentinelRaster(w, h);
    if (!withGlow) std::memset(actualGlow.pixels(), 0, static_cast<size_t>(w) * h * 4);
    RenderSettings actualSettings = settings;
    GlowBounds actualA, actualB;
    memory_.beginFrame(w, h);
    const InterruptCheck actualCheck = checker(actualPolls);
    const int32_t actualCode =
        fastExtractTarget({actualTarget, actualSettings, layer.pixels.data(), layer.rowGap, w, h,
                           aspect, low, actualA, shared ? actualA : actualB, actualCheck,
                           withGlow ? &actualGlow : nullptr, colorSource, custom},
                          {pool_.get(), &memory_});

    const std::string what = "case " + std::to_string(i) + ": " + std::to_string(w) + "x" +
                             std::to_string(h) + " type " + std::to_string(settings.targetType) +
                             " processing " + std::to_string(settings.targetProcessing) + " size " +
                             std::to_string(settings.glowSize) + (low ? " low" : " high") +
                             " stop " + std::to_string(stopAt);
    ASSERT_EQ(actualCode, expectedCode) << what;
    ASSERT_EQ(actualPolls, expectedPolls) << what;
    const int32_t firstRow = stopAt < 0 ? 0 : h - stopAt;  // rows the extraction reached
    // With a glow raster and no Show Target the render reads only the glow: the target raster
    // is then left as it was, unless the processing value still spreads it.
    const int32_t processing = settings.targetProcessing;
    const bool targetUnread =
        withGlow && !settings.showTarget &&
        (processing == TargetProcessing::None || processing == TargetProcessing::InnerGlow ||
         processing == TargetProcessing::OuterGlow);
    if (targetUnread) {
      ASSERT_TRUE(sameRows(actualTarget, sentinelRaster(w, h), h)) << what;
    } else {
      ASSERT_TRUE(sameRows(actualTarget, expectedTarget, firstRow)) << what;
    }
    if (withGlow) {
      ASSERT_TRUE(sameRows(actualGlow, expectedGlow, firstRow)) << what;
    }
    ASSERT_TRUE(sameBounds(actualA, expectedA)) << what;
    ASSERT_TRUE(sameBounds(actualB, expectedB)) << what;
    ASSERT_EQ(actualSettings.glowSize, expectedSettings.glowSize) << what;
  }
}

// The luminance key against the double-precision luminance for every colour: key div 1000
// (capped at 255) where the key is 0 or no multiple of 1000, else that or one less. And the key
// windows against the doubles' window test for every colour, at the windows whose bounds fall on
// the colour's own luminance or beside it, and an empty one.
TEST(LuminanceTest, KeysGiveTheDoublesLuminanceForEveryColour) {
  int64_t multiples = 0, unsure = 0;
  for (int red = 0; red < 256; ++red)
    for (int green = 0; green < 256; ++green)
      for (int blue = 0; blue < 256; ++blue) {
        const int32_t key = luminanceKeyOf(red, green, blue);
        const int l = luminanceOf(red, green, blue);
        const int whole = std::min(key / 1000, 255);
        if (key != 0 && key % 1000 == 0) {
          ++multiples;
          ASSERT_TRUE(l == whole || l == std::min(key / 1000 - 1, 255))
              << red << " " << green << " " << blue;
        } else {
          ASSERT_EQ(l, whole) << red << " " << green << " " << blue;
        }
        const int32_t windows[][2] = {{l, 255},
                                      {l + 1, 255},
                                      {0, l},
                                      {0, l - 1},
                                      {l, l},
                                      {l - 1, l + 1},
                                      {std::max(l - 1, 0), std::min(l + 1, 255)},
                                      {200, 100}};
        for (const auto& bounds : windows) {
          const int32_t low = std::clamp(bounds[0], 0, 256), high = std::clamp(bounds[1], -1, 255);
          const LuminanceWindow window = LuminanceWindow::of(low, high);
          if (window.unsure(key)) {
            ASSERT_TRUE(key != 0 && key % 1000 == 0) << red << " " << green << " " << blue;
            ++unsure;
            continue;
          }
          ASSERT_EQ(window.inside(key), low <= l && l <= high)
              << red << " " << green << " " << blue << " in " << low << " to " << high;
        }
      }
  EXPECT_GT(multiples, 0);
  EXPECT_GT(unsure, 0);
}

// The brightness masks of the extraction against the reference where the luminance matters
// most: the colours whose sum is near a whole number, each at its own luminance as the window's
// lowest and one above its highest (one side of it in, the other out), and frames of random
// colours at random cutoffs. A processing value outside the menu leaves the glow raster
// unspread, so it shows every pixel's mask: a spread would show none of a one-row frame, whose
// only row no box reaches.
TEST_P(FastExtractTest, BrightnessMasksMatchReferenceAtWholeLuminances) {
  auto extractBoth = [&](const HostFrame& layer, RenderSettings settings) {
    settings.targetProcessing = 0;
    settings.glowSize = 4;
    return layerGlowMatchesReference(layer, settings, false);
  };
  for (int32_t whole = 1; whole <= 262; ++whole) {
    std::vector<PF_Pixel> colours;
    for (int32_t red = 0; red < 256; ++red)
      for (int32_t green = 0; green < 256; ++green) {
        const int32_t rest = 1000 * whole - 587 * green - 299 * red;
        if (rest >= 0 && rest % 144 == 0 && rest / 144 < 256)
          colours.push_back(PF_Pixel{255, uint8_t(red), uint8_t(green), uint8_t(rest / 144)});
      }
    if (colours.empty()) continue;
    HostFrame frame = testing::solidFrame(static_cast<int32_t>(colours.size()), 1, PF_Pixel{});
    frame.pixels = colours;
    // The whole luminance as the window's lowest, and one above its highest.
    RenderSettings settings;
    settings.targetType = TargetType::Brightness;
    settings.darkCutoff = whole;
    settings.brightCutoff = 255;
    ASSERT_TRUE(extractBoth(frame, settings)) << "luminance " << whole << " as dark cutoff";
    settings.targetType = TargetType::BrightnessAlpha;
    settings.darkCutoff = 0;
    settings.brightCutoff = whole - 1;
    ASSERT_TRUE(extractBoth(frame, settings)) << "luminance " << whole << " above bright cutoff";
  }
  std::mt19937 rng(2024u);
  HostFrame layer = testing::solidFrame(512, 32, PF_Pixel{});
  for (int i = 0; i < 16; ++i) {
    for (PF_Pixel& px : layer.pixels) {
      const uint32_t v = rng();
      px = PF_Pixel{uint8_t(v | 1), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    }
    RenderSettings settings;
    settings.targetType = i % 2 ? TargetType::Brightness : TargetType::BrightnessAlpha;
    settings.darkCutoff = rng() % 256 * (i % 4 < 2 ? 1.0 : 2.55 / 2.55000001);
    settings.brightCutoff = settings.darkCutoff + rng() % 60;
    ASSERT_TRUE(extractBoth(layer, settings)) << "frame " << i;
  }
}

// Inner and outer glows of the layer's colours recompute the target values from the source
// row by row, in stretches: frames wider than a stretch, with the visible part starting at a
// random column, for every target type that takes the recomputation, both qualities and both
// sides.
TEST_P(FastExtractTest, LayerEdgeGlowsMatchReferenceOnWideFrames) {
  std::mt19937 rng(77u + GetParam().threads);
  const int32_t types[] = {TargetType::None,       TargetType::Alpha,
                           TargetType::Brightness, TargetType::BrightnessAlpha,
                           TargetType::Circle,     TargetType::SquareAlpha};
  for (int i = 0; i < 24; ++i) {
    const int32_t w = 1030 + rng() % 700, h = 3 + rng() % 6;
    const HostFrame layer = randomLayer(rng, w, h);
    RenderSettings settings;
    settings.targetType = types[i % 6];
    settings.targetProcessing =
        i / 6 % 2 ? TargetProcessing::InnerGlow : TargetProcessing::OuterGlow;
    settings.glowSize = i % 3 == 0 ? 0 : rng() % 1200 / 100.0;
    settings.darkCutoff = rng() % 128;
    settings.brightCutoff = 128 + rng() % 128;
    settings.shapeRadiusX = 300 + rng() % 400;
    settings.shapeRadiusY = 2 + rng() % 4;
    settings.shapeCentreX = rng() % w;
    settings.shapeCentreY = rng() % h;
    ASSERT_TRUE(layerGlowMatchesReference(layer, settings, i / 12 == 1))
        << "case " << i << ": " << w << "x" << h << " type " << settings.targetType;
  }
}

// The row form of the edge glow's alpha against the per-pixel rules, for every pair of spread
// and kept alpha, the kept one read from its own word or from the spread word's low byte, the
// result written beside or over the spread words; colour bytes pass through.
TEST_P(FastExtractTest, EdgeAlphaRowMatchesThePixelRulesForEveryPair) {
  const int64_t n = 256 * 256;
  std::vector<uint32_t> spread(n), keep(n), out(n);
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t s = static_cast<uint32_t>(i >> 8), o = static_cast<uint32_t>(i & 0xFF);
    spread[i] = (s << 24) | (static_cast<uint32_t>(i * 2654435761u) & 0x00FFFF00u) | o;
    keep[i] = (o << 24) | static_cast<uint32_t>(i * 40503u & 0x00FFFFFFu);
  }
  for (const bool inner : {false, true})
    for (const bool ownWord : {false, true})
      for (const bool inPlace : {false, true}) {
        std::vector<uint32_t> row = spread;
        uint32_t* dest = inPlace ? row.data() : out.data();
        // Skips the first and last few columns, which must stay as they were.
        const int64_t x0 = 3, x1 = n - 4;
        if (!inPlace) std::fill(out.begin(), out.end(), 0xA5A5A5A5u);
        fastEdgeAlphaRow(inner, row.data(), ownWord ? row.data() : keep.data(), ownWord ? 0 : 24,
                         dest, x0, x1);
        for (int64_t i = 0; i < n; ++i) {
          const uint32_t before = inPlace ? spread[i] : 0xA5A5A5A5u;
          if (i < x0 || i > x1) {
            ASSERT_EQ(dest[i], before) << i;
            continue;
          }
          const int s = static_cast<int>(spread[i] >> 24), o = static_cast<int>(i & 0xFF);
          const int alpha = inner ? innerGlowAlpha(s, o) : outerGlowAlpha(s, o);
          ASSERT_EQ(dest[i], (spread[i] & 0x00FFFFFFu) | (static_cast<uint32_t>(alpha) << 24))
              << (inner ? "inner" : "outer") << " s " << s << " o " << o;
        }
      }
}

INSTANTIATE_TEST_SUITE_P(Setups, FastExtractTest,
                         ::testing::Values(Setup{"generic_1", KernelIsa::kGeneric, 1},
                                           Setup{"avx2_2", KernelIsa::kAvx2, 2},
                                           Setup{"avx512_1", KernelIsa::kAvx512, 1},
                                           Setup{"avx512_3", KernelIsa::kAvx512, 3},
                                           Setup{"neon_1", KernelIsa::kNeon, 1},
                                           Setup{"neon_3", KernelIsa::kNeon, 3}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shimmerly
