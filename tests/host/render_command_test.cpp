// Whole renders through an in-process host: the interrupt before any raster, the downsample
// factor, fixed-point sliders, the extent of the target preview, a transparent layer.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "../host/host_fixture.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

constexpr PF_Pixel kSentinel{0xEE, 0xDD, 0xCC, 0xBB};

bool samePixel(const PF_Pixel& a, const PF_Pixel& b) {
  return a.alpha == b.alpha && a.red == b.red && a.green == b.green && a.blue == b.blue;
}

class WholeRenderTest : public testing::InProcessHostTest {
 protected:
  void SetUp() override {
    InProcessHostTest::SetUp();
    host().start();
  }
  std::vector<PF_Pixel> renderFrame(HostFrame& input, const cli::FrameSettings& frame,
                                    PF_Err* err = nullptr) {
    HostFrame output = testing::solidFrame(input.width, input.height, kSentinel);
    PF_LayerDef out = output.world();
    PF_Err result = host().render(input.world(), out, frame);
    if (err)
      *err = result;
    else
      EXPECT_EQ(result, PF_Err_NONE);
    return output.pixels;
  }
  void setSlider(int32_t index, double value) { host().param(index).u.fs_d.value = value; }
};

TEST_F(WholeRenderTest, InterruptAtTheFirstCheckMakesNoRaster) {
  HostFrame input = testing::gradientFrame(16, 12);
  int progressCalls = 0, abortCalls = 0;
  host().progressHook = [&](int32_t current, int32_t total) -> PF_Err {
    ++progressCalls;
    EXPECT_EQ(current, 0);
    EXPECT_EQ(total, 0);
    return 77;
  };
  host().abortHook = [&]() -> PF_Err { return ++abortCalls, PF_Err_NONE; };
  const int64_t handlesBefore = cli::PluginHost::liveHandles();
  PF_Err err = 0;
  std::vector<PF_Pixel> out = renderFrame(input, {}, &err);
  EXPECT_EQ(err, 77);
  EXPECT_EQ(progressCalls, 1);
  EXPECT_EQ(abortCalls, 0);
  EXPECT_EQ(cli::PluginHost::liveHandles(), handlesBefore);
  for (const PF_Pixel& p : out) ASSERT_TRUE(samePixel(p, kSentinel));
}

TEST_F(WholeRenderTest, AbortAtARowStopsWithItsCodeAndReleasesRasters) {
  HostFrame input = testing::gradientFrame(16, 12);
  host().abortHook = []() -> PF_Err { return PF_Interrupt_CANCEL; };
  const int64_t handlesBefore = cli::PluginHost::liveHandles();
  PF_Err err = 0;
  renderFrame(input, {}, &err);
  EXPECT_EQ(err, PF_Interrupt_CANCEL);
  EXPECT_EQ(cli::PluginHost::liveHandles(), handlesBefore);
}

TEST_F(WholeRenderTest, DownsampleScalesTheGlowSize) {
  HostFrame input =
      testing::checkerFrame(24, 20, 5, PF_Pixel{255, 250, 240, 230}, PF_Pixel{0, 0, 0, 0});
  cli::FrameSettings half;
  half.downsampleX = {1, 2};
  setSlider(PARAM_GLOW_SIZE, 10);
  const std::vector<PF_Pixel> size10 = renderFrame(input, {});
  setSlider(PARAM_GLOW_SIZE, 20);
  const std::vector<PF_Pixel> size20 = renderFrame(input, {});
  const std::vector<PF_Pixel> size20Half = renderFrame(input, half);
  EXPECT_EQ(std::memcmp(size10.data(), size20Half.data(), size10.size() * 4), 0);
  EXPECT_NE(std::memcmp(size10.data(), size20.data(), size10.size() * 4), 0);
}

// An older host gets 16.16 sliders with the same defaults, and renders the same frame.
TEST_F(WholeRenderTest, FixedPointSlidersRenderLikeFloatOnes) {
  HostFrame input =
      testing::checkerFrame(20, 16, 4, PF_Pixel{255, 200, 100, 50}, PF_Pixel{0, 0, 0, 0});
  const std::vector<PF_Pixel> floatForm = renderFrame(input, {});
  host().setHostVersion(12, 9);
  host().paramsSetup();
  ASSERT_EQ(host().param(PARAM_GLOW_SIZE).param_type, PF_Param_FIX_SLIDER);
  const std::vector<PF_Pixel> fixedForm = renderFrame(input, {});
  EXPECT_EQ(std::memcmp(floatForm.data(), fixedForm.data(), floatForm.size() * 4), 0);
  EXPECT_NE(std::memcmp(floatForm.data(), input.pixels.data(), floatForm.size() * 4), 0);
}

TEST_F(WholeRenderTest, ShowTargetClampsTheExtentAndClearsOutsideIt) {
  HostFrame input = testing::solidFrame(8, 6, PF_Pixel{255, 90, 90, 90});
  host().param(PARAM_SHOW_TARGET).u.bd.value = 1;
  cli::FrameSettings frame;
  frame.extent = PF_Rect{5, -3, 40, 2};  // becomes columns 5..7, rows 0..2
  const std::vector<PF_Pixel> out = renderFrame(input, frame);
  for (int32_t r = 0; r < 6; ++r)
    for (int32_t x = 0; x < 8; ++x) {
      const PF_Pixel& p = out[r * 8 + x];
      if (x >= 5 && r <= 2)
        EXPECT_FALSE(samePixel(p, PF_Pixel{0, 0, 0, 0})) << x << "," << r;
      else
        EXPECT_TRUE(samePixel(p, PF_Pixel{0, 0, 0, 0})) << x << "," << r;
    }
}

TEST_F(WholeRenderTest, TransparentLayerUnderShowEffectOnlyIsTransparent) {
  HostFrame input = testing::solidFrame(9, 9, PF_Pixel{0, 255, 255, 255});
  host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = 1;
  for (const PF_Pixel& p : renderFrame(input, {})) ASSERT_TRUE(samePixel(p, PF_Pixel{0, 0, 0, 0}));
}

}  // namespace
}  // namespace shimmerly
