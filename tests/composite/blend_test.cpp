// Blend modes over single pixels with hand-computed results, and the reciprocal table.
#include "composite/blend.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace shimmerly {
namespace {

PF_Pixel host(int a, int r, int g, int b) {
  return PF_Pixel{uint8_t(a), uint8_t(r), uint8_t(g), uint8_t(b)};
}

void expectPixel(const PF_Pixel& p, int a, int r, int g, int b) {
  EXPECT_EQ(p.alpha, a);
  EXPECT_EQ(p.red, r);
  EXPECT_EQ(p.green, g);
  EXPECT_EQ(p.blue, b);
}

class TakesGlowOverTransparentTest : public ::testing::TestWithParam<int> {};

TEST_P(TakesGlowOverTransparentTest, TransparentHostBecomesTheGlowPixel) {
  PF_Pixel p = host(0, 200, 100, 50);
  blendPixel(GetParam(), RgbaPixel{10, 20, 30, 77}, p);
  expectPixel(p, 77, 10, 20, 30);
}

// Normal, Multiply, Overlay and Add end early over a transparent host pixel.
INSTANTIATE_TEST_SUITE_P(Modes, TakesGlowOverTransparentTest, ::testing::Values(1, 3, 4, 5));

TEST(BlendTest, NormalOpaqueGlowReplacesColour) {
  for (int a : {1, 77, 128, 254, 255}) {
    PF_Pixel p = host(a, 3, 200, 90);
    blendPixel(1, RgbaPixel{10, 250, 0, 255}, p);
    expectPixel(p, 255, 10, 250, 0);
  }
}

TEST(BlendTest, NormalHalfGlowOverOpaque) {
  // red trunc(100 × (1 − c) + 10 × c + 0.5) with c = 128/255.
  PF_Pixel p = host(255, 100, 100, 100);
  blendPixel(1, RgbaPixel{10, 20, 30, 128}, p);
  expectPixel(p, 255, 55, 60, 65);
}

TEST(BlendTest, ScreenOfOpaqueBlackGivesTheGlow) {
  PF_Pixel p = host(255, 0, 0, 0);
  blendPixel(2, RgbaPixel{17, 128, 240, 255}, p);
  expectPixel(p, 255, 17, 128, 240);
}

TEST(BlendTest, MultiplyByOpaqueBlackIsBlackAndByNothingIsIdentity) {
  PF_Pixel p = host(255, 200, 100, 50);
  blendPixel(3, RgbaPixel{0, 0, 0, 255}, p);
  expectPixel(p, 255, 0, 0, 0);
  PF_Pixel q = host(255, 200, 100, 50);
  blendPixel(3, RgbaPixel{9, 9, 9, 0}, q);
  expectPixel(q, 255, 200, 100, 50);
}

TEST(BlendTest, Overlay128TakesTheMultiplyingForm) {
  // 128 × 255 × k2 = 256, clamped to 255.
  PF_Pixel p = host(255, 128, 128, 128);
  blendPixel(4, RgbaPixel{255, 255, 255, 255}, p);
  EXPECT_EQ(p.red, 255);
  EXPECT_EQ(p.alpha, 255);
}

TEST(BlendTest, OverlayChannelAboveAlphaIsLimitedNotWrapped) {
  // Overlay's first colour step gives red 252 under alpha 251: unmultiplying gives 256, which
  // must stay 255 rather than wrap to 0.
  PF_Pixel p = host(21, 128, 16, 190);
  blendPixel(4, RgbaPixel{255, 244, 167, 251}, p);
  EXPECT_EQ(p.alpha, 251);
  EXPECT_EQ(p.red, 255);
}

TEST(BlendTest, AddOfOpaquePixelsSumsAndClamps) {
  for (int v : {0, 1, 100, 128, 200, 255}) {
    PF_Pixel p = host(255, v, 255 - v, 60);
    blendPixel(5, RgbaPixel{100, 30, 250, 255}, p);
    expectPixel(p, 255, std::min(255, v + 100), std::min(255, 255 - v + 30), 255);
  }
}

// Each Magic Glue mode is its steps applied one after the other.
TEST(BlendTest, MagicGluesChainTheirSteps) {
  const std::vector<std::vector<int>> steps = {{2, 3}, {2, 4, 3}, {3, 2}};
  for (int mode = 6; mode <= 8; ++mode)
    for (const PF_Pixel start :
         {host(200, 90, 180, 30), host(0, 5, 6, 7), host(255, 129, 128, 3)}) {
      const RgbaPixel g{140, 60, 250, 170};
      PF_Pixel chained = start, glued = start;
      for (int step : steps[mode - 6]) blendPixel(step, g, chained);
      blendPixel(mode, g, glued);
      expectPixel(glued, chained.alpha, chained.red, chained.green, chained.blue);
    }
}

TEST(BlendTest, UnmultiplyTruncates) {
  PF_Pixel p = host(128, 64, 64, 64);
  unmultiplyPixel(p);
  expectPixel(p, 128, 127, 127, 127);
  PF_Pixel opaque = host(255, 1, 2, 3);
  unmultiplyPixel(opaque);
  expectPixel(opaque, 255, 1, 2, 3);
}

TEST(BlendTest, ReciprocalsAreFilledOnceForConcurrentRenders) {
  std::vector<std::thread> threads;
  std::vector<int> bad(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &bad] {
      fillAlphaReciprocals();
      const double* table = alphaReciprocals();
      if (table[0] != 0.0) ++bad[t];
      for (int i = 1; i < 512; ++i)
        if (table[i] != 1.0 / i) ++bad[t];
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(bad, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace shimmerly
