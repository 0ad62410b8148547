// Samples reduced to 8-bit straight RGBA: the 16-bit and float rounding against the nearest
// value worked out in doubles, every channel layout, associated colour divided by alpha, and the
// trip through associated floats and back for every colour and alpha.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "cli/sample_reduction.h"

namespace shimmerly::cli {
namespace {

TEST(SampleReduction, SixteenBitsGoToTheNearestValue) {
  for (uint32_t v = 0; v <= 65535; ++v) {
    const double exact = v * 255.0 / 65535.0;
    const auto reduced = reduce16(static_cast<uint16_t>(v));
    ASSERT_LE(std::fabs(reduced - exact), 0.5) << v;
  }
  EXPECT_EQ(reduce16(0), 0);
  EXPECT_EQ(reduce16(65535), 255);
  EXPECT_EQ(reduce16(128), 0);  // 128 / 257 = 0.498
  EXPECT_EQ(reduce16(129), 1);  // 0.502
}

TEST(SampleReduction, FloatsAreClampedThenRoundedHalfUp) {
  EXPECT_EQ(reduceFloat(std::numeric_limits<double>::quiet_NaN()), 0);
  EXPECT_EQ(reduceFloat(-0.25), 0);
  EXPECT_EQ(reduceFloat(7.0), 255);
  EXPECT_EQ(reduceFloat(std::numeric_limits<double>::infinity()), 255);
  EXPECT_EQ(reduceFloat(0.5), 128);             // 127.5 rounds up
  EXPECT_EQ(reduceFloat(0.5 / 255 - 1e-9), 0);  // just under one half
  EXPECT_EQ(reduceFloat(0.5 / 255 + 1e-9), 1);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(reduceFloat(static_cast<float>(v / 255.0)), v);
}

TEST(SampleReduction, ChannelLayouts) {
  uint8_t out[8];
  const uint8_t grey[2] = {10, 200};
  rgbaFrom8(grey, 2, {1, -1}, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 8),
            (std::vector<uint8_t>{10, 10, 10, 255, 200, 200, 200, 255}));
  const uint8_t greyAlpha[2] = {10, 70};  // two channels: the second is alpha
  rgbaFrom8(greyAlpha, 1, {2, -1}, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{10, 10, 10, 70}));
  const uint8_t rgb[3] = {1, 2, 3};
  rgbaFrom8(rgb, 1, {3, -1}, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 255}));
  // Alpha named first, then three colours and a depth channel that is dropped.
  const uint8_t five[5] = {40, 1, 2, 3, 99};
  rgbaFrom8(five, 1, {5, 0}, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{1, 2, 3, 40}));
  EXPECT_EQ(droppedChannels({5, 0}), 1);
  EXPECT_EQ(droppedChannels({4, 3}), 0);
  EXPECT_EQ(droppedChannels({3, -1}), 0);
  EXPECT_EQ(droppedChannels({2, -1}), 0);
  EXPECT_EQ(droppedChannels({7, 3}), 3);
  const uint16_t wide[4] = {65535, 32768, 257, 0};
  rgbaFrom16(wide, 1, {4, 3}, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{255, 128, 1, 0}));
}

TEST(SampleReduction, AssociatedColourIsDividedByAlpha) {
  // Half-transparent colour (1, 0.5, 0.25) premultiplied; colour under zero alpha is lost;
  // out-of-range and NaN samples clamp.
  const float samples[12] = {0.5f, 0.25f, 0.125f, 0.5f,  0.3f, 0.3f,
                             0.3f, 0.0f,  2.0f,   -1.0f, NAN,  1.0f};
  uint8_t out[12];
  rgbaFromFloat(samples, 3, {4, 3}, true, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 12),
            (std::vector<uint8_t>{255, 128, 64, 128, 0, 0, 0, 0, 255, 0, 0, 255}));
  rgbaFromFloat(samples, 1, {4, 3}, false, out);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 4), (std::vector<uint8_t>{128, 64, 32, 128}));
}

TEST(SampleReduction, AssociatedFloatsComeBackForEveryColourAndAlpha) {
  std::vector<uint8_t> rgba;
  for (int a = 1; a < 256; ++a)
    for (int c = 0; c < 256; ++c)
      rgba.insert(rgba.end(), {uint8_t(c), uint8_t(255 - c), uint8_t(c / 2), uint8_t(a)});
  const int64_t pixels = static_cast<int64_t>(rgba.size() / 4);
  std::vector<float> samples(rgba.size());
  associatedFromRgba(rgba.data(), pixels, samples.data());
  EXPECT_FLOAT_EQ(samples[4 * 255 * 256 - 4], 255 / 255.0f);  // c 255, a 255
  std::vector<uint8_t> back(rgba.size());
  rgbaFromFloat(samples.data(), pixels, {4, 3}, true, back.data());
  EXPECT_EQ(back, rgba);
}

TEST(SampleReduction, DescribesOnlyWhatIsLost) {
  EXPECT_EQ(describeReduction("", 0), "");
  EXPECT_EQ(describeReduction("16-bit", 0), "16-bit samples reduced to 8 bits");
  EXPECT_EQ(describeReduction("", 1), "1 channel past RGBA dropped");
  EXPECT_EQ(describeReduction("half-float", 2),
            "half-float samples reduced to 8 bits; 2 channels past RGBA dropped");
}

}  // namespace
}  // namespace shimmerly::cli
