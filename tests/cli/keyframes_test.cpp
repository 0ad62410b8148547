// Keyframed control values: splitting, linear interpolation, holding outside the keys, colours.
#include "cli/keyframes.h"

#include <gtest/gtest.h>

#include <string>

namespace shimmerly::cli {
namespace {

double number(std::string_view text) {
  return std::stod(std::string(text));
}

TEST(Keyframes, PlainValueIsConstant) {
  ScalarTrack track = ScalarTrack::parse("22.5", number);
  EXPECT_FALSE(track.animated());
  EXPECT_EQ(track.valueAt(-5), 22.5);
  EXPECT_EQ(track.valueAt(1000), 22.5);
}

TEST(Keyframes, LinearBetweenAndHeldOutside) {
  ScalarTrack track = ScalarTrack::parse("0@10,100@20,50@40", number);
  EXPECT_TRUE(track.animated());
  EXPECT_EQ(track.valueAt(0), 0);
  EXPECT_EQ(track.valueAt(10), 0);
  EXPECT_EQ(track.valueAt(13), 30);
  EXPECT_EQ(track.valueAt(15), 50);
  EXPECT_EQ(track.valueAt(20), 100);
  EXPECT_EQ(track.valueAt(30), 75);
  EXPECT_EQ(track.valueAt(40), 50);
  EXPECT_EQ(track.valueAt(1000), 50);
}

TEST(Keyframes, KeysAtTheirFramesGiveTheirValuesExactly) {
  ScalarTrack track = ScalarTrack::parse("0.1@1,0.7@48,0.3@49", number);
  EXPECT_EQ(track.valueAt(1), 0.1);
  EXPECT_EQ(track.valueAt(48), 0.7);
  EXPECT_EQ(track.valueAt(49), 0.3);
  double mid = track.valueAt(24);
  EXPECT_GT(mid, 0.1);
  EXPECT_LT(mid, 0.7);
}

TEST(Keyframes, OrderOfWritingDoesNotMatter) {
  ScalarTrack a = ScalarTrack::parse("60@48, 10@1", number);
  ScalarTrack b = ScalarTrack::parse("10@1,60@48", number);
  for (Frame f = 0; f < 50; ++f) EXPECT_EQ(a.valueAt(f), b.valueAt(f)) << f;
}

TEST(Keyframes, SingleKeyIsStillKeyframed) {
  ScalarTrack track = ScalarTrack::parse("30@5", number);
  EXPECT_TRUE(track.animated());
  EXPECT_EQ(track.valueAt(1), 30);
}

class BadKeyframes : public ::testing::TestWithParam<const char*> {};

TEST_P(BadKeyframes, AreRefused) {
  EXPECT_THROW(ScalarTrack::parse(GetParam(), number), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Texts, BadKeyframes,
                         ::testing::Values("10@1,20", "10@1,20@1", "10@x", "10@-1", "10@",
                                           "10@1.5"));

TEST(Keyframes, ValueErrorsOfTheControlPassThrough) {
  auto ranged = [](std::string_view text) {
    double v = number(text);
    if (v > 100) throw std::invalid_argument("out of range");
    return v;
  };
  EXPECT_THROW(ScalarTrack::parse("10@1,200@5", ranged), std::invalid_argument);
}

TEST(Keyframes, ColoursInterpolateEachChannelRoundingToNearest) {
  ColorTrack track = ColorTrack::parse("FF0000@1,0000FF@3", parseHexColor);
  EXPECT_EQ(track.valueAt(1), (Rgb8{255, 0, 0}));
  EXPECT_EQ(track.valueAt(2), (Rgb8{128, 0, 128}));
  EXPECT_EQ(track.valueAt(3), (Rgb8{0, 0, 255}));
  EXPECT_EQ(track.valueAt(9), (Rgb8{0, 0, 255}));
  ColorTrack ramp = ColorTrack::parse("#102030@0,0x1030F0@4", parseHexColor);
  EXPECT_EQ(ramp.valueAt(1), (Rgb8{16, 36, 96}));
  EXPECT_EQ(ramp.valueAt(3), (Rgb8{16, 44, 192}));
}

TEST(Keyframes, HexColoursAreCheckedStrictly) {
  EXPECT_EQ(parseHexColor("ff8800"), (Rgb8{255, 136, 0}));
  for (const char* bad : {"FF00", "GG0000", "FF00001", "", "-F0000", "FF 000"})
    EXPECT_THROW(parseHexColor(bad), std::invalid_argument) << bad;
}

}  // namespace
}  // namespace shimmerly::cli
