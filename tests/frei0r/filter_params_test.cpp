// The frei0r filter's parameters: the doubles' units and their rounding back to 6 decimals, the
// defaults, every kind of value refused with one line while the parameter keeps its last good
// value, menus by word and number, presets with the changed parameters on top, and the hosts'
// frame layouts (ffmpeg 5.1's stride, MLT's slices).
#include "frei0r/filter_params.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <string>

#include "frei0r/host_layout.h"
#include "support/temp_dir.h"

namespace shimmerly::frei0r {
namespace {

// Every test's preset folder lives in a HOME of its own.
class FilterParams : public ::testing::Test {
 protected:
  void SetUp() override { setenv("HOME", home_.str().c_str(), 1); }
  testing::TempDir home_;
};

bool sameControls(const Controls& a, const Controls& b) {
  return a.mask == b.mask && a.brightCutoff == b.brightCutoff && a.darkCutoff == b.darkCutoff &&
         a.showTarget == b.showTarget && a.glowStyle == b.glowStyle && a.glowSize == b.glowSize &&
         a.softness == b.softness && a.colorFrom == b.colorFrom && a.color[0] == b.color[0] &&
         a.color[1] == b.color[1] && a.color[2] == b.color[2] && a.transBoost == b.transBoost &&
         a.blend == b.blend && a.effectOnly == b.effectOnly;
}

TEST_F(FilterParams, TableIsInTheHostsOrder) {
  const char* names[] = {"preset",      "mask",      "bright_cutoff", "dark_cutoff", "show_target",
                         "glow_style",  "glow_size", "softness",      "color_from",  "color",
                         "trans_boost", "blend",     "effect_only",   "quality"};
  ASSERT_EQ(kParamCount, 14);
  for (int i = 0; i < kParamCount; ++i) EXPECT_STREQ(paramInfo(i).name, names[i]) << i;
  EXPECT_EQ(paramInfo(kColor).kind, ParamKind::Color);
  EXPECT_EQ(paramInfo(kShowTarget).kind, ParamKind::Bool);
  EXPECT_EQ(paramInfo(kTransBoost).kind, ParamKind::Double);
}

TEST_F(FilterParams, UnitsMapBackToSixDecimals) {
  EXPECT_EQ(controlOfUnit(kGlowSize, 0.0225), 22.5);
  EXPECT_EQ(controlOfUnit(kGlowSize, 1.0), 1000.0);
  EXPECT_EQ(controlOfUnit(kTransBoost, 0.0), -100.0);
  EXPECT_EQ(controlOfUnit(kTransBoost, 0.5), 0.0);
  EXPECT_EQ(controlOfUnit(kSoftness, 0.333), 33.3);
  // A control with up to 6 decimals comes back exactly, as the command line parses its text.
  std::mt19937 rng(24);
  for (int n = 0; n < 20000; ++n) {
    const int index =
        std::array{kBrightCutoff, kDarkCutoff, kGlowSize, kSoftness, kTransBoost}[rng() % 5];
    const double low = index == kTransBoost ? -100 : 0;
    const double high = index == kGlowSize ? 1000 : 100;
    const int64_t micro = static_cast<int64_t>(rng() % static_cast<uint32_t>((high - low) * 1e6));
    const std::string text = std::to_string(low + static_cast<double>(micro) / 1e6);
    const double control = std::strtod(text.c_str(), nullptr);
    EXPECT_EQ(controlOfUnit(index, unitOfControl(index, control)), control) << text;
  }
}

TEST_F(FilterParams, DefaultsAreThePluginsOwn) {
  const FilterSettings s;
  EXPECT_TRUE(sameControls(s.controls(), Controls{}));
  EXPECT_FALSE(s.options().lowQuality);
  EXPECT_DOUBLE_EQ(s.number(kGlowSize), 0.022);
  EXPECT_DOUBLE_EQ(s.number(kTransBoost), 0.5);
  EXPECT_EQ(s.number(kShowTarget), 0.0);
  EXPECT_EQ(s.text(kMask), "alpha");
  EXPECT_EQ(s.text(kGlowStyle), "out");
  EXPECT_EQ(s.text(kBlend), "normal");
  EXPECT_EQ(s.text(kQuality), "high");
  EXPECT_EQ(s.text(kPreset), "");
  EXPECT_EQ(s.color()[0], 1.0f);
}

TEST_F(FilterParams, NumbersOutOfRangeKeepTheLastGoodValue) {
  FilterSettings s;
  ASSERT_EQ(s.setNumber(kGlowSize, 0.04), "");
  const double inf = std::numeric_limits<double>::infinity();
  for (double bad : {std::nan(""), inf, -inf, -0.001, 1.0000001, 1e308, -1e308}) {
    const std::string message = s.setNumber(kGlowSize, bad);
    EXPECT_EQ(message.rfind("shimmerly: glow_size: ", 0), 0u) << message;
    EXPECT_NE(message.find("0 to 1000 pixels"), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos);
    EXPECT_EQ(s.controls().glowSize, 40.0);
    EXPECT_EQ(s.number(kGlowSize), 0.04);
  }
  EXPECT_NE(s.setNumber(kTransBoost, 2).find("-100 to 100 percent"), std::string::npos);
  EXPECT_NE(s.setNumber(kShowTarget, std::nan("")), "");
  EXPECT_FALSE(s.controls().showTarget);
  EXPECT_EQ(s.setNumber(kShowTarget, 1.0), "");
  EXPECT_TRUE(s.controls().showTarget);
  // A number for a parameter that is no number, or no parameter at all.
  EXPECT_NE(s.setNumber(kMask, 0.5), "");
  EXPECT_NE(s.setNumber(-1, 0.5), "");
  EXPECT_NE(s.setNumber(kParamCount, 0.5), "");
  EXPECT_NE(s.setText(kGlowSize, "1"), "");
  EXPECT_NE(s.setColor(kBlend, 0, 0, 0), "");
}

TEST_F(FilterParams, ColoursRoundEachComponent) {
  FilterSettings s;
  ASSERT_EQ(s.setColor(kColor, 0.0, 0.5, 64.0 / 255.0), "");
  EXPECT_EQ(s.controls().color[0], 0);
  EXPECT_EQ(s.controls().color[1], 128);
  EXPECT_EQ(s.controls().color[2], 64);
  EXPECT_NE(s.setColor(kColor, 0.2, std::nan(""), 0.2), "");
  EXPECT_NE(s.setColor(kColor, 0.2, 0.2, 1.5), "");
  EXPECT_EQ(s.controls().color[1], 128);
  EXPECT_EQ(s.color()[1], 0.5f);
}

TEST_F(FilterParams, MenusTakeWordsAndNumbers) {
  FilterSettings s;
  EXPECT_EQ(s.setText(kMask, "brightness-alpha"), "");
  EXPECT_EQ(s.controls().mask, 4);
  EXPECT_EQ(s.setText(kMask, "7"), "");
  EXPECT_EQ(s.controls().mask, 7);
  EXPECT_EQ(s.setText(kBlend, "magic-glue-2"), "");
  EXPECT_EQ(s.controls().blend, 7);
  EXPECT_EQ(s.setText(kGlowStyle, "front"), "");
  EXPECT_EQ(s.controls().glowStyle, 1);
  EXPECT_EQ(s.setText(kColorFrom, "2"), "");
  EXPECT_EQ(s.controls().colorFrom, 2);
  for (const char* bad : {"", "0", "9", " 2", "2x", "-1", "Alpha", "brightness alpha"}) {
    const std::string message = s.setText(kMask, bad);
    EXPECT_EQ(message.rfind("shimmerly: mask: expected none, alpha", 0), 0u) << message;
    EXPECT_NE(message.find("keeping \"7\""), std::string::npos) << message;
    EXPECT_EQ(s.controls().mask, 7);
    EXPECT_EQ(s.text(kMask), "7");
  }
  EXPECT_NE(s.setText(kGlowStyle, nullptr), "");
  // A host's text with line breaks still gives one line.
  const std::string broken = s.setText(kBlend, "add\nscreen\r\x1b");
  EXPECT_EQ(broken.find_first_of("\n\r\x1b"), std::string::npos) << broken;
  EXPECT_NE(broken.find("add\\x0Ascreen\\x0D\\x1B"), std::string::npos) << broken;
  EXPECT_EQ(s.setText(kQuality, "low"), "");
  EXPECT_TRUE(s.options().lowQuality);
  EXPECT_EQ(s.setText(kQuality, "medium").rfind("shimmerly: quality: expected high or low", 0), 0u);
  EXPECT_TRUE(s.options().lowQuality);
}

TEST_F(FilterParams, ChangedParametersGoOnTopOfAPreset) {
  FilterSettings s;
  const Controls preset = presetControls("Amber Tint");
  ASSERT_EQ(s.setText(kPreset, "Amber Tint"), "");
  EXPECT_TRUE(sameControls(s.controls(), preset));
  ASSERT_EQ(s.setNumber(kGlowSize, 0.0125), "");
  ASSERT_EQ(s.setText(kBlend, "add"), "");
  Controls expected = preset;
  expected.glowSize = 12.5;
  expected.blend = 5;
  EXPECT_TRUE(sameControls(s.controls(), expected));
  // A parameter set back to its default leaves the preset's value, as GStreamer sets them all.
  ASSERT_EQ(s.setText(kBlend, "normal"), "");
  expected.blend = preset.blend;
  EXPECT_TRUE(sameControls(s.controls(), expected));
  // No preset: the parameters alone.
  ASSERT_EQ(s.setText(kPreset, ""), "");
  Controls alone;
  alone.glowSize = 12.5;
  EXPECT_TRUE(sameControls(s.controls(), alone));
}

TEST_F(FilterParams, BadPresetsAreRefusedOnceAndTheLastGoodOneKept) {
  FilterSettings s;
  ASSERT_EQ(s.setText(kPreset, "Moonlight"), "");
  const std::string unknown = s.setText(kPreset, "No Such Preset");
  EXPECT_EQ(unknown.rfind("shimmerly: preset: no preset named \"No Such Preset\"", 0), 0u)
      << unknown;
  EXPECT_NE(unknown.find("keeping \"Moonlight\""), std::string::npos) << unknown;
  EXPECT_TRUE(sameControls(s.controls(), presetControls("Moonlight")));
  // Set again, it gives the same line without another look for the preset.
  EXPECT_EQ(s.setText(kPreset, "No Such Preset"), unknown);

  const std::string damaged = (home_.path() / "damaged.smr").string();
  std::ofstream(damaged) << "\x01\x02 not a preset \xff";
  const std::string message = s.setText(kPreset, damaged.c_str());
  EXPECT_EQ(message.rfind("shimmerly: preset: ", 0), 0u) << message;
  EXPECT_NE(message.find("damaged.smr"), std::string::npos) << message;
  EXPECT_EQ(message.find('\n'), std::string::npos);
  EXPECT_EQ(s.text(kPreset), "Moonlight");
}

TEST(HostLayout, Ffmpeg51RoundsRowsUpToSixteenPixels) {
  const auto version = [](unsigned major, unsigned minor) {
    return major << 16 | minor << 8 | 100;
  };
  EXPECT_EQ(rowBytesForLibavfilter(version(8, 44), 24), 16 * 2 * 4);
  EXPECT_EQ(rowBytesForLibavfilter(version(8, 44), 37), 48 * 4);
  EXPECT_EQ(rowBytesForLibavfilter(version(8, 44), 32), 32 * 4);
  EXPECT_EQ(rowBytesForLibavfilter(version(8, 24), 37), 37 * 4);  // 5.0
  EXPECT_EQ(rowBytesForLibavfilter(version(9, 3), 37), 37 * 4);   // 6.0
  EXPECT_EQ(rowBytesForLibavfilter(version(10, 1), 37), 37 * 4);
  // Outside any host library: frei0r's packed rows.
  EXPECT_EQ(callerLayout(nullptr, 37).rowBytes, 37 * 4);
  int local = 0;
  EXPECT_FALSE(callerLayout(&local, 37).mlt);
}

TEST(HostLayout, SlicesOfOneFrameAreRecognised) {
  static uint8_t in[4 * 1000], out[4 * 1000];
  SliceWatch whole(400);
  // Whole frames, in the same buffers or in others.
  EXPECT_FALSE(whole.sliced(in, out));
  EXPECT_FALSE(whole.sliced(in, out));
  EXPECT_FALSE(whole.sliced(in + 400, out + 1200));
  EXPECT_FALSE(whole.sliced(in + 4, out + 4));
  // The second slice of a frame four slices high.
  SliceWatch sliced(400);
  EXPECT_FALSE(sliced.sliced(in + 800, out + 800));
  EXPECT_TRUE(sliced.sliced(in + 400, out + 400));
  EXPECT_TRUE(sliced.sliced(in, out + 4));  // it stays recognised
}

}  // namespace
}  // namespace shimmerly::frei0r
