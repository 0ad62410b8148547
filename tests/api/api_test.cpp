// The public library (include/shimmerly/shimmerly.h) in process: its frames against the
// plug-in's own render of the same controls, row strides and in-place rendering, every error
// with the output left untouched, renders from several threads at once, and the preset library.
#include <shimmerly/shimmerly.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../host/host_fixture.h"
#include "host/params.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

// A random RGBA image, packed rows.
std::vector<uint8_t> randomImage(std::mt19937& rng, int w, int h) {
  std::vector<uint8_t> p(static_cast<size_t>(w) * h * 4);
  for (size_t i = 0; i < p.size(); i += 4) {
    const uint32_t v = rng();
    std::memcpy(&p[i], &v, 4);
    if (rng() % 4 == 0) p[i + 3] = 0;
    if (rng() % 5 == 0) p[i + 3] = 255;
  }
  return p;
}

Controls randomControls(std::mt19937& rng) {
  const auto real = [&rng](double lo, double hi) {
    return lo + (hi - lo) * std::uniform_real_distribution<double>(0, 1)(rng);
  };
  Controls c;
  c.mask = 1 + static_cast<int>(rng() % 8);
  c.brightCutoff = real(0, 100);
  c.darkCutoff = real(0, 100);
  c.showTarget = rng() % 6 == 0;
  c.glowStyle = 1 + static_cast<int>(rng() % 3);
  c.glowSize = rng() % 4 == 0 ? real(0, 1000) : real(0, 30);
  c.softness = real(0, 100);
  c.colorFrom = 1 + static_cast<int>(rng() % 2);
  for (uint8_t& v : c.color) v = static_cast<uint8_t>(rng());
  c.transBoost = real(-100, 100);
  c.blend = 1 + static_cast<int>(rng() % 8);
  c.effectOnly = rng() % 4 == 0;
  return c;
}

std::vector<uint8_t> rendered(const std::vector<uint8_t>& in, int w, int h, const Controls& c,
                              const RenderOptions& o = {}) {
  std::vector<uint8_t> out(in.size(), 0xA5);
  render(ConstImageView(in.data(), w, h, int64_t{w} * 4), ImageView{out.data(), w, h, w * 4}, c, o);
  return out;
}

// The same frame through the plug-in, driven by an in-process host as `shimmerly render` drives
// it: the controls written into the parameters, the options into the frame settings.
class AgainstPluginTest : public testing::InProcessHostTest {
 protected:
  void SetUp() override {
    InProcessHostTest::SetUp();
    host().start();
  }
  std::vector<uint8_t> pluginRender(const std::vector<uint8_t>& rgba, int w, int h,
                                    const Controls& c, bool lowQuality) {
    HostFrame input = testing::solidFrame(w, h, PF_Pixel{0, 0, 0, 0});
    for (size_t i = 0; i < input.pixels.size(); ++i)
      input.pixels[i] = PF_Pixel{rgba[i * 4 + 3], rgba[i * 4], rgba[i * 4 + 1], rgba[i * 4 + 2]};
    HostFrame output = testing::solidFrame(w, h, PF_Pixel{1, 2, 3, 4});
    host().param(PARAM_MASK).u.pd.value = c.mask;
    host().param(PARAM_BRIGHT_CUTOFF).u.fs_d.value = c.brightCutoff;
    host().param(PARAM_DARK_CUTOFF).u.fs_d.value = c.darkCutoff;
    host().param(PARAM_SHOW_TARGET).u.bd.value = c.showTarget;
    host().param(PARAM_GLOW_STYLE).u.pd.value = c.glowStyle;
    host().param(PARAM_GLOW_SIZE).u.fs_d.value = c.glowSize;
    host().param(PARAM_SOFTNESS).u.fs_d.value = c.softness;
    host().param(PARAM_GLOW_COLOR_FROM).u.pd.value = c.colorFrom;
    host().param(PARAM_CUSTOM_COLOR).u.cd.value = PF_Pixel{255, c.color[0], c.color[1], c.color[2]};
    host().param(PARAM_TRANS_BOOST).u.fs_d.value = c.transBoost;
    host().param(PARAM_BLEND_MODE).u.pd.value = c.blend;
    host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = c.effectOnly;
    cli::FrameSettings frame;
    frame.quality = lowQuality ? PF_Quality_LO : PF_Quality_HI;
    PF_LayerDef in = input.world(), out = output.world();
    EXPECT_EQ(host().render(in, out, frame), PF_Err_NONE);
    std::vector<uint8_t> result(rgba.size());
    for (size_t i = 0; i < output.pixels.size(); ++i) {
      const PF_Pixel p = output.pixels[i];
      result[i * 4] = p.red;
      result[i * 4 + 1] = p.green;
      result[i * 4 + 2] = p.blue;
      result[i * 4 + 3] = p.alpha;
    }
    return result;
  }
};

TEST_F(AgainstPluginTest, RandomFramesAndControlsGiveThePluginsBytes) {
  std::mt19937 rng(2026);
  for (int i = 0; i < 120; ++i) {
    const int w = 1 + static_cast<int>(rng() % 70), h = 1 + static_cast<int>(rng() % 50);
    const std::vector<uint8_t> in = randomImage(rng, w, h);
    const Controls c = randomControls(rng);
    RenderOptions o;
    o.lowQuality = rng() % 3 == 0;
    o.threads = 1 + static_cast<int>(rng() % 3);
    ASSERT_EQ(rendered(in, w, h, c, o), pluginRender(in, w, h, c, o.lowQuality))
        << "case " << i << ": " << w << "x" << h << " mask " << c.mask << " style " << c.glowStyle
        << " size " << c.glowSize << " blend " << c.blend;
  }
}

// Rows `rowBytes` apart, starting `offset` bytes into their buffer, around the packed image.
struct StridedImage {
  std::vector<uint8_t> buffer;
  int64_t rowBytes, offset;
  uint8_t* pixels() { return buffer.data() + offset; }
};
StridedImage strided(const std::vector<uint8_t>& packed, int w, int h, int64_t rowBytes,
                     int64_t offset) {
  StridedImage s{std::vector<uint8_t>(static_cast<size_t>(rowBytes * h + offset + 8), 0x3C),
                 rowBytes, offset};
  for (int y = 0; y < h; ++y)
    std::memcpy(s.pixels() + y * rowBytes, &packed[static_cast<size_t>(y) * w * 4],
                static_cast<size_t>(w) * 4);
  return s;
}

TEST(ApiRowsTest, StridesOffsetsAndInPlaceGiveThePackedResult) {
  std::mt19937 rng(7);
  for (int i = 0; i < 30; ++i) {
    const int w = 1 + static_cast<int>(rng() % 40), h = 1 + static_cast<int>(rng() % 30);
    const std::vector<uint8_t> packed = randomImage(rng, w, h);
    const Controls c = randomControls(rng);
    const std::vector<uint8_t> expected = rendered(packed, w, h, c);
    for (const int64_t pad : {int64_t{0}, int64_t{4}, int64_t{3}, int64_t{64}}) {
      for (const int64_t offset : {int64_t{0}, int64_t{1}}) {
        const int64_t rowBytes = int64_t{w} * 4 + pad;
        StridedImage in = strided(packed, w, h, rowBytes, offset);
        StridedImage out =
            strided(std::vector<uint8_t>(packed.size(), 0x77), w, h, rowBytes, offset);
        const std::vector<uint8_t> outBefore = out.buffer;
        render(ConstImageView(in.pixels(), w, h, rowBytes), ImageView{out.pixels(), w, h, rowBytes},
               c);
        for (int y = 0; y < h; ++y) {
          ASSERT_EQ(std::memcmp(out.pixels() + y * rowBytes, &expected[size_t(y) * w * 4], w * 4),
                    0)
              << "case " << i << " pad " << pad << " offset " << offset << " row " << y;
          // The bytes between rows are the caller's: never written.
          for (int64_t g = w * 4; g < rowBytes && y < h - 1; ++g)
            ASSERT_EQ(out.pixels()[y * rowBytes + g], outBefore[offset + y * rowBytes + g]);
        }
        // In place: the output is the input's own memory.
        render(ConstImageView(in.pixels(), w, h, rowBytes), ImageView{in.pixels(), w, h, rowBytes},
               c);
        for (int y = 0; y < h; ++y)
          ASSERT_EQ(std::memcmp(in.pixels() + y * rowBytes, &expected[size_t(y) * w * 4], w * 4), 0)
              << "in place, case " << i << " pad " << pad << " offset " << offset;
      }
    }
  }
}

TEST(ApiRowsTest, EmptyImagesRenderNothing) {
  std::vector<uint8_t> out(16, 0x42);
  render(ConstImageView(nullptr, 0, 5, 0), ImageView{nullptr, 0, 5, 0}, Controls{});
  render(ConstImageView(out.data(), 4, 0, 16), ImageView{out.data(), 4, 0, 16}, Controls{});
  EXPECT_EQ(out, std::vector<uint8_t>(16, 0x42));
}

// ---- Errors: each throws shimmerly::Error with one line naming the fault, output untouched ----

struct BadCall {
  const char* name;
  std::function<void(ConstImageView&, ImageView&, Controls&, RenderOptions&)> spoil;
  const char* mentions;  // a piece of the message
};

class ApiErrorTest : public ::testing::TestWithParam<BadCall> {};

TEST_P(ApiErrorTest, ThrowsOneLineAndWritesNothing) {
  std::vector<uint8_t> in(8 * 6 * 4, 0x80), out(8 * 6 * 4 + 64, 0x5A);
  ConstImageView inView(in.data(), 8, 6, 32);
  ImageView outView{out.data(), 8, 6, 32};
  Controls c;
  RenderOptions o;
  GetParam().spoil(inView, outView, c, o);
  const std::vector<uint8_t> before = out;
  try {
    render(inView, outView, c, o);
    FAIL() << "no error";
  } catch (const Error& e) {
    const std::string message = e.what();
    EXPECT_NE(message.find(GetParam().mentions), std::string::npos) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
  EXPECT_EQ(out, before);
}

const BadCall kBadCalls[] = {
    {"NullInput", [](auto& in, auto&, auto&, auto&) { in.pixels = nullptr; }, "null pixels"},
    {"NullOutput", [](auto&, auto& out, auto&, auto&) { out.pixels = nullptr; }, "null pixels"},
    {"ShortInputRows", [](auto& in, auto&, auto&, auto&) { in.rowBytes = 31; }, "rowBytes 31"},
    {"ShortOutputRows", [](auto&, auto& out, auto&, auto&) { out.rowBytes = 4; }, "rowBytes 4"},
    {"OutputOfAnotherSize", [](auto&, auto& out, auto&, auto&) { out.height = 5; }, "8x5"},
    {"NegativeSize", [](auto& in, auto& out, auto&, auto&) { in.width = out.width = -8; },
     "negative"},
    {"SideOverTheLimit",
     [](auto& in, auto& out, auto&, auto&) { in.width = out.width = int64_t{1} << 31; }, "limits"},
    {"TooManyPixels",
     [](auto& in, auto& out, auto&, auto&) { in.height = out.height = int64_t{1} << 30; },
     "limits"},
    {"Mask", [](auto&, auto&, auto& c, auto&) { c.mask = 9; }, "mask"},
    {"BrightCutoff", [](auto&, auto&, auto& c, auto&) { c.brightCutoff = 100.5; }, "brightCutoff"},
    {"DarkCutoff", [](auto&, auto&, auto& c, auto&) { c.darkCutoff = -1; }, "darkCutoff"},
    {"GlowStyle", [](auto&, auto&, auto& c, auto&) { c.glowStyle = 0; }, "glowStyle"},
    {"GlowSize", [](auto&, auto&, auto& c, auto&) { c.glowSize = 1000.5; }, "glowSize"},
    {"GlowSizeNaN", [](auto&, auto&, auto& c, auto&) { c.glowSize = std::nan(""); }, "glowSize"},
    {"Softness", [](auto&, auto&, auto& c, auto&) { c.softness = 101; }, "softness"},
    {"ColorFrom", [](auto&, auto&, auto& c, auto&) { c.colorFrom = 3; }, "colorFrom"},
    {"TransBoost", [](auto&, auto&, auto& c, auto&) { c.transBoost = -100.01; }, "transBoost"},
    {"Blend", [](auto&, auto&, auto& c, auto&) { c.blend = 0; }, "blend"},
    {"Threads", [](auto&, auto&, auto&, auto& o) { o.threads = -1; }, "threads"},
    {"Downsample", [](auto&, auto&, auto&, auto& o) { o.downsample = 0; }, "downsample"},
    {"PixelAspect",
     [](auto&, auto&, auto&, auto& o) { o.pixelAspect = std::numeric_limits<double>::infinity(); },
     "pixelAspect"},
};

INSTANTIATE_TEST_SUITE_P(Calls, ApiErrorTest, ::testing::ValuesIn(kBadCalls),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Threads ----

TEST(ApiThreadsTest, FourThreadsWithDifferentControlsEachGiveTheirSerialResult) {
  std::mt19937 rng(99);
  const int w = 180, h = 120;
  const std::vector<uint8_t> in = randomImage(rng, w, h);
  std::array<Controls, 4> controls;
  std::array<std::vector<uint8_t>, 4> serial;
  for (int t = 0; t < 4; ++t) {
    controls[t] = randomControls(rng);
    controls[t].glowSize = 3 + 9 * t;
    controls[t].showTarget = false;
    serial[t] = rendered(in, w, h, controls[t]);
  }
  // Sharing the default engine (they take turns), and each on an engine of its own.
  for (const bool ownEngines : {false, true}) {
    std::array<std::vector<uint8_t>, 4> results;
    std::array<bool, 4> same{};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
      threads.emplace_back([&, t] {
        Engine engine;
        bool all = true;
        for (int round = 0; round < 6; ++round) {
          std::vector<uint8_t> out(in.size());
          const ConstImageView from(in.data(), w, h, w * 4);
          const ImageView to{out.data(), w, h, w * 4};
          RenderOptions o;
          o.threads = 1 + (t + round) % 2;
          if (ownEngines)
            engine.render(from, to, controls[t], o);
          else
            render(from, to, controls[t], o);
          all = all && out == serial[t];
        }
        same[t] = all;
      });
    for (std::thread& thread : threads) thread.join();
    for (int t = 0; t < 4; ++t) EXPECT_TRUE(same[t]) << "thread " << t << " own " << ownEngines;
  }
}

TEST(ApiThreadsTest, OneEngineServesFramesOfChangingSizes) {
  std::mt19937 rng(5);
  Engine engine;
  for (int i = 0; i < 12; ++i) {
    const int w = 1 + static_cast<int>(rng() % 90), h = 1 + static_cast<int>(rng() % 60);
    const std::vector<uint8_t> in = randomImage(rng, w, h);
    const Controls c = randomControls(rng);
    std::vector<uint8_t> out(in.size());
    engine.render(ConstImageView(in.data(), w, h, w * 4), ImageView{out.data(), w, h, w * 4}, c);
    ASSERT_EQ(out, rendered(in, w, h, c)) << "frame " << i;
  }
}

// ---- Presets ----

class ApiPresetsTest : public testing::InProcessHostTest {};

TEST_F(ApiPresetsTest, NamesAndControlsOfTheSeededLibrary) {
  const std::vector<std::string> names = presetNames();
  ASSERT_FALSE(names.empty());
  EXPECT_NE(std::find(names.begin(), names.end(), "Moonlight"), names.end());
  // A name and the path of its file give the same controls.
  const Controls byName = presetControls("Moonlight");
  const std::string file =
      home().str() + "/Documents/Brindlex/Shimmerly/Shimmerly Presets/Moonlight.smr";
  const Controls byPath = presetControls(file);
  EXPECT_EQ(std::memcmp(&byName, &byPath, sizeof(Controls)), 0);
  EXPECT_FALSE(byName.mask == Controls{}.mask && byName.glowSize == Controls{}.glowSize &&
               byName.blend == Controls{}.blend && byName.color[0] == Controls{}.color[0]);
}

TEST_F(ApiPresetsTest, UnknownNamesAndDamagedFilesThrow) {
  presetNames();
  try {
    presetControls("No Such Look");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("no preset named \"No Such Look\""), std::string::npos);
    EXPECT_NE(std::string(e.what()).find("Moonlight"), std::string::npos) << e.what();
  }
  // A file that sets no name, and one whose stream ends inside the record.
  const std::string noName = home().str() + "/no name.smr";
  std::ofstream(noName) << " begin GlowUnit\n  TargetFeather 33.000000\n end GlowUnit\n";
  EXPECT_THROW(presetControls(noName), Error);
  const std::string cut = home().str() + "/cut.smr";
  std::ofstream(cut) << " begin GlowUnit\n  Name \"GlowUnit\"\n  **EndOfStream**\n";
  EXPECT_THROW(presetControls(cut), Error);
  EXPECT_THROW(presetControls(home().str() + "/missing.smr"), Error);
}

// The menus' words are the command line's: each word names its own entry, numbers run to the
// count, and anything else (signs, spaces, zero, past the count, other words) is refused with
// the control's name and what it takes.
TEST(ApiMenusTest, WordsAndNumbersNameTheEntries) {
  const std::pair<Menu, int> menus[] = {
      {Menu::Mask, 8}, {Menu::GlowStyle, 3}, {Menu::ColorFrom, 2}, {Menu::Blend, 8}};
  for (const auto& [menu, count] : menus) {
    EXPECT_EQ(menuCount(menu), count);
    const std::vector<std::string> words = menuWords(menu);
    ASSERT_FALSE(words.empty());
    for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(menuEntry(menu, words[i]), int(i + 1));
    for (int n = 1; n <= count; ++n) EXPECT_EQ(menuEntry(menu, std::to_string(n)), n);
    for (const std::string& bad :
         {std::string("0"), std::to_string(count + 1), std::string("+1"), std::string("-1"),
          std::string(" 1"), std::string("1 "), std::string("2x"), std::string(""),
          std::string("Screen"), std::string("99999999999999999999")})
      EXPECT_THROW(menuEntry(menu, bad), Error) << bad;
  }
  EXPECT_EQ(menuEntry(Menu::Blend, "magic-glue-2"), 7);
  EXPECT_EQ(menuEntry(Menu::GlowStyle, "front"), 1);
  try {
    menuEntry(Menu::Blend, "glow");
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_NE(std::string(e.what()).find("blend: expected normal, screen"), std::string::npos)
        << e.what();
    EXPECT_NE(std::string(e.what()).find("\"glow\""), std::string::npos) << e.what();
  }
}

// Changes on top of a preset: a control the host left at its default keeps the base's value,
// any other replaces it, the colour as one control.
TEST(ApiMenusTest, OverlaidControlsTakeOnlyTheChangedOnes) {
  Controls base;
  base.mask = 3;
  base.glowSize = 80;
  base.softness = 10;
  base.color[0] = 10;
  base.color[1] = 20;
  base.color[2] = 30;
  base.blend = 2;
  base.effectOnly = true;
  const Controls unchanged = overlaidControls(base, Controls{});
  EXPECT_EQ(std::memcmp(&unchanged, &base, sizeof(Controls)), 0);

  Controls changes;
  changes.glowSize = 5;
  changes.color[1] = 0;  // one channel changed: the whole colour is taken
  changes.transBoost = -50;
  const Controls out = overlaidControls(base, changes);
  EXPECT_EQ(out.glowSize, 5);
  EXPECT_EQ(out.transBoost, -50);
  EXPECT_EQ(out.color[0], 255);
  EXPECT_EQ(out.color[1], 0);
  EXPECT_EQ(out.color[2], 255);
  EXPECT_EQ(out.mask, 3);
  EXPECT_EQ(out.softness, 10);
  EXPECT_EQ(out.blend, 2);
  EXPECT_TRUE(out.effectOnly);
}

}  // namespace
}  // namespace shimmerly
