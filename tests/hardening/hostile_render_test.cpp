// Renders under hostile host input, through the in-process host: control values at and beyond
// every range end written straight into the parameter array (both slider forms), frames one
// pixel wide or high, frames whose byte counts overflow 32 bits, a glow far larger than the
// frame, and memory that runs out in the middle of a render.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "../host/host_fixture.h"
#include "engine/render_engine.h"
#include "host/params.h"
#include "host_memory.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();
constexpr PF_Pixel kSentinel{0xEE, 0xDD, 0xCC, 0xBB};

bool samePixel(const PF_Pixel& a, const PF_Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

// A render of input into a fresh output with a row gap of 3 sentinel pixels; the gap must stay.
class RenderHarness : public testing::InProcessHostTest {
 protected:
  HostFrame renderOf(const HostFrame& input, const cli::FrameSettings& frame = {}) {
    HostFrame in = input;  // the host's input world is read-only for the plug-in
    HostFrame output = testing::solidFrame(input.width, input.height, kSentinel, 3);
    std::fill(output.pixels.begin(), output.pixels.end(), kSentinel);  // the gaps too
    PF_LayerDef inWorld = in.world(), outWorld = output.world();
    EXPECT_EQ(host().render(inWorld, outWorld, frame), PF_Err_NONE);
    for (int32_t r = 0; r < output.height; ++r)
      for (int32_t g = 0; g < output.rowGap; ++g)
        EXPECT_TRUE(
            samePixel(output.pixels[static_cast<size_t>(r) * (output.width + 3) + output.width + g],
                      kSentinel));
    EXPECT_TRUE(std::equal(in.pixels.begin(), in.pixels.end(), input.pixels.begin(), samePixel));
    EXPECT_EQ(cli::PluginHost::liveHandles(), 0);
    return output;
  }
};

void expectSameFrame(const HostFrame& a, const HostFrame& b, const std::string& what) {
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  for (int32_t r = 0; r < a.height; ++r)
    for (int32_t x = 0; x < a.width; ++x)
      ASSERT_TRUE(samePixel(a.at(x, r), b.at(x, r))) << what << " at " << x << "," << r;
}

// ---- Controls beyond their ranges ----

enum class Kind { Popup, Checkbox, Slider };

// Every value of `beyond` must render exactly as `reference` does.
struct Equivalence {
  const char* name;
  int32_t index;
  Kind kind;
  double reference;
  std::vector<double> beyond;
};

std::ostream& operator<<(std::ostream& os, const Equivalence& e) {
  return os << e.name;
}

const Equivalence kEquivalences[] = {
    // Unknown target types select nothing, unknown styles leave the glow unspread, unknown
    // blend modes leave the input, and any colour source but the layer's is the custom colour.
    {"MaskUnknown", PARAM_MASK, Kind::Popup, 0, {-1, 9, 100, kIntMin, kIntMax}},
    {"GlowStyleUnknown",
     PARAM_GLOW_STYLE,
     Kind::Popup,
     0,
     {-1, 4, 100, kIntMin, kIntMax - 1, kIntMax}},
    {"ColorFromCustom", PARAM_GLOW_COLOR_FROM, Kind::Popup, 1, {0, -1, 3, kIntMin, kIntMax}},
    {"BlendModeUnknown", PARAM_BLEND_MODE, Kind::Popup, 0, {-1, 9, kIntMin, kIntMax}},
    {"PresetsPopupIgnored", PARAM_PRESETS, Kind::Popup, 1, {0, -1, 5, 10000, kIntMin, kIntMax}},
    {"ShowTargetOn", PARAM_SHOW_TARGET, Kind::Checkbox, 1, {-1, 2, kIntMin, kIntMax}},
    {"EffectOnlyOn", PARAM_SHOW_EFFECT_ONLY, Kind::Checkbox, 1, {-1, 2, kIntMin, kIntMax}},
    // Softness of 100 or more leaves the glow alpha alone; nothing also for NaN.
    {"SoftnessTop", PARAM_SOFTNESS, Kind::Slider, 100, {100.5, 1e9, 1e308, kInf, kNaN}},
    // Softness 0 or less (and so small that its reciprocal is infinite) makes every glow
    // pixel opaque and keeps transparent ones transparent.
    {"SoftnessBottom", PARAM_SOFTNESS, Kind::Slider, 0, {-1, -100, 1e-300, 1e-307, -1e308, -kInf}},
    // Trans/Boost of 100 or more turns the glow white; -100 or less removes it.
    {"BoostTop", PARAM_TRANS_BOOST, Kind::Slider, 100, {101, 1000, 1e7, 1e9, 1e308, kInf}},
    {"BoostBottom", PARAM_TRANS_BOOST, Kind::Slider, -100, {-101, -1000, -1e9, -1e308, -kInf}},
    {"BoostNaNIsNone", PARAM_TRANS_BOOST, Kind::Slider, 0, {kNaN}},
    // Cutoffs: luminance never leaves 0..255, so a window edge past the range acts as the end.
    {"BrightCutoffTop", PARAM_BRIGHT_CUTOFF, Kind::Slider, 100, {101, 1e9, 1e308, kInf}},
    {"BrightCutoffNothing", PARAM_BRIGHT_CUTOFF, Kind::Slider, -1, {-100, -1e308, -kInf, kNaN}},
    {"DarkCutoffBottom", PARAM_DARK_CUTOFF, Kind::Slider, 0, {-1, -100, -1e308, -kInf}},
    {"DarkCutoffNothing", PARAM_DARK_CUTOFF, Kind::Slider, 100, {101, 1e9, 1e308, kInf, kNaN}},
    {"GlowSizeNone", PARAM_GLOW_SIZE, Kind::Slider, -1, {-1000, -1e308, -kInf, kNaN}},
};

// The 16.16 form holds -32768 to 32768; larger magnitudes saturate, NaN has no form.
bool toFixed(double v, PF_Fixed& fixed) {
  if (std::isnan(v)) return false;
  if (v >= 32767.0) {
    fixed = kIntMax;
  } else if (v <= -32768.0) {
    fixed = kIntMin;
  } else {
    fixed = static_cast<PF_Fixed>(v * 65536.0);
  }
  return true;
}

class BeyondRangeTest : public RenderHarness,
                        public ::testing::WithParamInterface<std::tuple<Equivalence, bool>> {
 protected:
  // Writes value into the control; false when the slider form cannot hold it.
  bool set(const Equivalence& e, double value, bool floatForm) {
    PF_ParamDef& p = host().param(e.index);
    switch (e.kind) {
      case Kind::Popup:
        p.u.pd.value = static_cast<int32_t>(value);
        return true;
      case Kind::Checkbox:
        p.u.bd.value = static_cast<int32_t>(value);
        return true;
      case Kind::Slider:
        if (floatForm) {
          p.u.fs_d.value = value;
          return true;
        }
        return toFixed(value, p.u.fd.value);
    }
    return false;
  }
};

TEST_P(BeyondRangeTest, RendersAsTheRangeEnd) {
  const auto& [e, floatForm] = GetParam();
  host().setHostVersion(floatForm ? 13 : 12, floatForm ? 0 : 9);
  host().start();
  if (e.index != PARAM_MASK) host().param(PARAM_MASK).u.pd.value = 3;  // Layer Brightness
  host().param(PARAM_GLOW_SIZE).u.fs_d.value = 3;
  host().param(PARAM_GLOW_SIZE).u.fd.value = 3 * 65536;
  host().param(PARAM_GLOW_COLOR_FROM).u.pd.value = 2;  // the layer's colours
  if (e.index == PARAM_GLOW_COLOR_FROM)
    host().param(PARAM_CUSTOM_COLOR).u.cd.value = {9, 200, 7, 90};

  const HostFrame input = testing::noiseFrame(13, 9, 5, 0.2, 2);
  for (const cli::FrameSettings& frame :
       {cli::FrameSettings{}, cli::FrameSettings{PF_Quality_LO, {1, 1}, {1, 1}, {1, 1}, {}}}) {
    ASSERT_TRUE(set(e, e.reference, floatForm));
    const HostFrame expected = renderOf(input, frame);
    expectSameFrame(renderOf(input, frame), expected, "the reference rendered again");
    for (double value : e.beyond) {
      if (!set(e, value, floatForm)) continue;
      expectSameFrame(renderOf(input, frame), expected, std::to_string(value));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Controls, BeyondRangeTest,
                         ::testing::Combine(::testing::ValuesIn(kEquivalences), ::testing::Bool()),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).name) +
                                  (std::get<1>(info.param) ? "Float" : "Fixed");
                         });

TEST_F(RenderHarness, AnyCustomColourExtentAndScaleRenders) {
  host().start();
  const HostFrame input = testing::gradientFrame(6, 5);
  const PF_Rect extents[] = {{kIntMin, kIntMin, kIntMax, kIntMax},
                             {kIntMax, kIntMax, kIntMin, kIntMin},
                             {-1, -1, -1, -1},
                             {6, 5, 6, 5},
                             {3, 2, 1, 0}};
  const PF_RationalScale scales[] = {{kIntMin, 1}, {kIntMax, 1}, {0, 0}, {1, 0xFFFFFFFFu}, {-3, 2}};
  int32_t n = 0;
  for (int32_t bytes : {0, -1, 0x7F80FF01, kIntMin}) {
    PF_Pixel colour;
    std::memcpy(&colour, &bytes, sizeof colour);
    host().param(PARAM_CUSTOM_COLOR).u.cd.value = colour;
    for (const PF_Rect& extent : extents) {
      for (const PF_RationalScale& scale : scales) {
        host().param(PARAM_SHOW_TARGET).u.bd.value = ++n % 2;
        cli::FrameSettings frame;
        frame.extent = extent;
        frame.downsampleX = scale;
        frame.pixelAspect = scale;
        renderOf(input, frame);
      }
    }
  }
}

// ---- Thin frames ----

// The host frame turned so that its raster is the transpose of the original's: host pixel
// (x, r) of a W × H frame goes to (H − 1 − r, W − 1 − x). Box spreads, bounds and the per-pixel
// passes treat columns and rows alike, so the render of the turned frame is the turned render.
HostFrame turned(const HostFrame& f) {
  HostFrame t = testing::solidFrame(f.height, f.width, PF_Pixel{0, 0, 0, 0});
  for (int32_t r = 0; r < f.height; ++r)
    for (int32_t x = 0; x < f.width; ++x) t.at(f.height - 1 - r, f.width - 1 - x) = f.at(x, r);
  return t;
}

struct ThinCase {
  int32_t width, height;
};

class ThinFrameTest : public RenderHarness,
                      public ::testing::WithParamInterface<std::tuple<ThinCase, int32_t, bool>> {};

TEST_P(ThinFrameTest, TurningTheFrameTurnsTheRender) {
  const auto& [size, style, low] = GetParam();
  host().start();
  host().param(PARAM_GLOW_STYLE).u.pd.value = style;
  host().param(PARAM_GLOW_SIZE).u.fs_d.value = 4.5;
  host().param(PARAM_GLOW_COLOR_FROM).u.pd.value = 2;
  cli::FrameSettings frame;
  frame.quality = low ? PF_Quality_LO : PF_Quality_HI;
  for (int32_t mask : {1, 2, 3}) {
    host().param(PARAM_MASK).u.pd.value = mask;
    for (int32_t effectOnly : {0, 1}) {
      host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = effectOnly;
      const HostFrame input = testing::noiseFrame(size.width, size.height, 17, 0.3);
      const HostFrame rendered = renderOf(input, frame);
      expectSameFrame(
          renderOf(turned(input), frame), turned(rendered),
          "mask " + std::to_string(mask) + " effect only " + std::to_string(effectOnly));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ThinFrameTest,
                         ::testing::Combine(::testing::Values(ThinCase{1, 1}, ThinCase{1, 23},
                                                              ThinCase{23, 1}, ThinCase{2, 17},
                                                              ThinCase{5, 3}),
                                            ::testing::Values(1, 2, 3), ::testing::Bool()),
                         [](const auto& info) {
                           const ThinCase& s = std::get<0>(info.param);
                           return std::to_string(s.width) + "x" + std::to_string(s.height) +
                                  "Style" + std::to_string(std::get<1>(info.param)) +
                                  (std::get<2>(info.param) ? "Low" : "High");
                         });

TEST_F(RenderHarness, EmptyFramesRenderNothing) {
  host().start();
  for (bool fast : {true, false}) {
    renderEngine().setFastPath(fast);
    for (int32_t showTarget : {0, 1})
      for (int32_t effectOnly : {0, 1})
        for (ThinCase size : {ThinCase{0, 0}, ThinCase{0, 7}, ThinCase{7, 0}}) {
          host().param(PARAM_SHOW_TARGET).u.bd.value = showTarget;
          host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = effectOnly;
          HostFrame input = testing::solidFrame(size.width, size.height, PF_Pixel{255, 1, 2, 3});
          renderOf(input);
        }
  }
  renderEngine().setFastPath(true);
}

// ---- A glow far larger than the frame ----

class HugeGlowTest : public RenderHarness,
                     public ::testing::WithParamInterface<std::tuple<int32_t, bool>> {};

TEST_P(HugeGlowTest, GlowSize1000CoversTheFrameEvenly) {
  const auto& [mask, low] = GetParam();
  host().start();
  host().param(PARAM_MASK).u.pd.value = mask;
  host().param(PARAM_GLOW_STYLE).u.pd.value = 1;  // Glow In Front: the spread alone
  host().param(PARAM_GLOW_SIZE).u.fs_d.value = 1000;
  host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = 1;
  host().param(PARAM_GLOW_COLOR_FROM).u.pd.value = 2;
  cli::FrameSettings frame;
  frame.quality = low ? PF_Quality_LO : PF_Quality_HI;
  const HostFrame output = renderOf(testing::noiseFrame(16, 11, 3, 0.3), frame);
  // Boxes of that reach clamp to the same rectangle at every pixel: one glow everywhere.
  for (int32_t r = 0; r < output.height; ++r)
    for (int32_t x = 0; x < output.width; ++x)
      ASSERT_TRUE(samePixel(output.at(x, r), output.at(0, 0))) << x << "," << r;
  EXPECT_NE(output.at(0, 0).alpha, 0);

  // Styles with an edge step, and a downsampled host, run on the same frame.
  for (int32_t style : {2, 3}) {
    host().param(PARAM_GLOW_STYLE).u.pd.value = style;
    frame.downsampleX = {1000, 1};
    renderOf(testing::noiseFrame(16, 11, 3, 0.3), frame);
  }
}

INSTANTIATE_TEST_SUITE_P(Masks, HugeGlowTest,
                         ::testing::Combine(::testing::Values(1, 2, 3, 4), ::testing::Bool()));

// ---- Memory ----

struct HugeFrame {
  int32_t width, height;
};

// Without the sanitizers such requests simply fail; under AddressSanitizer they must fail too
// instead of ending the process, as they would in a host.
extern "C" const char* __asan_default_options() {
  return "allocator_may_return_null=1";
}

// The reference path takes its rasters from the host's memory handles; the host here refuses
// anything above 64 MiB and records the largest request.
class HugeFrameTest : public testing::InProcessHostTest,
                      public ::testing::WithParamInterface<HugeFrame> {
 protected:
  void TearDown() override {
    renderEngine().setFastPath(true);
    testing::InProcessHostTest::TearDown();
  }
  // Worlds that claim the huge size over a few real pixels: nothing may be read or written
  // before the rasters exist.
  void expectBadAllocation(HugeFrame size) {
    std::vector<PF_Pixel> input(16, kSentinel), output(16, kSentinel);
    const int32_t rowbytes = size.width <= kIntMax / 4 ? size.width * 4 : kIntMax & ~3;
    PF_LayerDef in{size.width, size.height, rowbytes, input.data(), {1, 1}, 0};
    PF_LayerDef out = in;
    out.data = output.data();
    try {
      host().render(in, out);
      ADD_FAILURE() << "the render did not fail";
    } catch (const cli::PluginError& e) {
      EXPECT_EQ(e.code(), PF_Err_OUT_OF_MEMORY);
      EXPECT_STREQ(e.what(), "Unable to complete the operation. (*4)");
    }
    for (const PF_Pixel& p : output) EXPECT_TRUE(samePixel(p, kSentinel));
  }
};

TEST_P(HugeFrameTest, ReferencePathFailsAsBadAllocationWithTheFullByteCount) {
  const HugeFrame size = GetParam();
  host().start();
  renderEngine().setFastPath(false);
  testing::HostMemory memory(*host().inData().utils);
  memory.refuseAbove(uint64_t{64} << 20);
  expectBadAllocation(size);
  EXPECT_EQ(memory.largestRequest(), static_cast<uint64_t>(size.width) * size.height * 4);
  EXPECT_EQ(memory.liveHandles(), 0);
}

INSTANTIATE_TEST_SUITE_P(Sizes, HugeFrameTest,
                         ::testing::Values(HugeFrame{40000, 30000}, HugeFrame{65536, 65536},
                                           HugeFrame{46341, 46341}, HugeFrame{536870912, 2},
                                           HugeFrame{1, kIntMax}),
                         [](const auto& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

// The fast path keeps its rasters in working memory of its own, from the heap: frames whose
// byte counts no address space holds must fail the same way.
TEST_F(HugeFrameTest, FastPathFailsAsBadAllocation) {
  host().start();
  for (HugeFrame size :
       {HugeFrame{kIntMax, kIntMax}, HugeFrame{1 << 30, 1 << 30}, HugeFrame{kIntMax, 1 << 20}})
    expectBadAllocation(size);
  // And renders again afterwards.
  testing::HostFrame input = testing::noiseFrame(5, 4, 1);
  testing::HostFrame output = testing::solidFrame(5, 4, kSentinel);
  PF_LayerDef in = input.world(), out = output.world();
  EXPECT_EQ(host().render(in, out), PF_Err_NONE);
}

// Memory refused by the host in the middle of a render: the reference path, whose rasters and
// spread tables come from the host's memory handles.
class MidRenderFailureTest : public testing::InProcessHostTest,
                             public ::testing::WithParamInterface<std::tuple<int32_t, bool>> {
 protected:
  void TearDown() override {
    renderEngine().setFastPath(true);
    testing::InProcessHostTest::TearDown();
  }
};

TEST_P(MidRenderFailureTest, EveryRefusedRequestGivesOutOfMemoryAndLeaksNothing) {
  const auto& [style, low] = GetParam();
  host().start();
  host().param(PARAM_GLOW_STYLE).u.pd.value = style;
  host().param(PARAM_MASK).u.pd.value = 3;  // brightness: the target raster is spread too
  cli::FrameSettings frame;
  frame.quality = low ? PF_Quality_LO : PF_Quality_HI;
  HostFrame input = testing::noiseFrame(12, 9, 8);
  renderEngine().setFastPath(false);
  testing::HostMemory memory(*host().inData().utils);

  int64_t refused = 0;
  for (int64_t n = 1;; ++n) {
    HostFrame output = testing::solidFrame(12, 9, kSentinel);
    PF_LayerDef in = input.world(), out = output.world();
    memory.failRequest(n);
    const int64_t before = memory.refusals();
    PF_Err err = PF_Err_NONE;
    try {
      err = host().render(in, out, frame);
    } catch (const cli::PluginError& e) {
      err = e.code();
      EXPECT_STREQ(e.what(), "Unable to complete the operation. (*4)");
    }
    EXPECT_EQ(memory.liveHandles(), 0) << "request " << n;
    if (memory.refusals() == before) {
      EXPECT_EQ(err, PF_Err_NONE);
      break;
    }
    EXPECT_EQ(err, PF_Err_OUT_OF_MEMORY) << "request " << n;
    ++refused;
    ASSERT_LT(n, 100) << "the render never got through";
  }
  // Both rasters and the spread's working tables come from the host.
  EXPECT_GE(refused, 3);
}

INSTANTIATE_TEST_SUITE_P(StylesAndQualities, MidRenderFailureTest,
                         ::testing::Combine(::testing::Values(1, 2, 3), ::testing::Bool()));

}  // namespace
}  // namespace shimmerly
