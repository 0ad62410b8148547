// Whole renders through the in-process host, fast path against the literal reference kernels:
// seeded random layers and control settings (every mask, style, quality, blend mode, Show Target
// and Show Effect Only, softness, trans/boost, glow sizes from 0 to beyond the frame, downsample,
// extents), interrupts at random rows, on one thread and several; byte for byte, with the same
// host polls in the same order. Also: what global set-down releases.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "../host/host_fixture.h"
#include "engine/render_engine.h"
#include "host/params.h"
#include "support/images.h"

namespace shimmerly {
namespace {

using testing::HostFrame;

class FastRenderTest : public testing::InProcessHostTest,
                       public ::testing::WithParamInterface<int> {
 protected:
  void SetUp() override {
    InProcessHostTest::SetUp();
    host().start();
  }
  void TearDown() override {
    renderEngine().setFastPath(true);
    renderEngine().setThreadCount(0);
    InProcessHostTest::TearDown();
  }

  struct Result {
    PF_Err code;
    std::vector<PF_Pixel> pixels;
    std::vector<int32_t> polls;
  };

  Result renderWith(bool fast, HostFrame& input, const cli::FrameSettings& frame,
                    int32_t stopAtCall) {
    renderEngine().setFastPath(fast);
    HostFrame output = testing::solidFrame(input.width, input.height, PF_Pixel{1, 2, 3, 4}, 2);
    PF_LayerDef out = output.world();
    Result result;
    host().progressHook = [&](int32_t current, int32_t) -> PF_Err {
      result.polls.push_back(current);
      return static_cast<int32_t>(result.polls.size()) == stopAtCall ? 91 : 0;
    };
    result.code = host().render(input.world(), out, frame);
    result.pixels = output.pixels;
    return result;
  }

  // Random controls (the colour from the layer when layerColour, else either source) and frame
  // settings for a w × h layer.
  cli::FrameSettings randomSettings(std::mt19937& rng, int32_t w, int32_t h, bool layerColour) {
    auto popup = [&](int32_t index, int32_t choices) {
      host().param(index).u.pd.value = 1 + static_cast<int32_t>(rng() % choices);
    };
    auto slider = [&](int32_t index, double low, double high) {
      host().param(index).u.fs_d.value = low + (high - low) * (rng() % 1001) / 1000.0;
    };
    popup(PARAM_MASK, rng() % 5 == 0 ? 8 : 4);
    slider(PARAM_BRIGHT_CUTOFF, 40, 100);
    slider(PARAM_DARK_CUTOFF, 0, 60);
    host().param(PARAM_SHOW_TARGET).u.bd.value = rng() % 5 == 0;
    popup(PARAM_GLOW_STYLE, 3);
    slider(PARAM_GLOW_SIZE, 0, rng() % 4 == 0 ? 120 : 30);
    slider(PARAM_SOFTNESS, 0, 100);
    popup(PARAM_GLOW_COLOR_FROM, 2);
    if (layerColour) host().param(PARAM_GLOW_COLOR_FROM).u.pd.value = 2;
    host().param(PARAM_CUSTOM_COLOR).u.cd.value =
        PF_Pixel{255, uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    slider(PARAM_TRANS_BOOST, -100, 100);
    popup(PARAM_BLEND_MODE, 8);
    host().param(PARAM_SHOW_EFFECT_ONLY).u.bd.value = rng() % 3 == 0;

    cli::FrameSettings frame;
    frame.quality = rng() % 2 ? PF_Quality_HI : PF_Quality_LO;
    if (rng() % 4 == 0) frame.downsampleX = PF_RationalScale{1, 2};
    if (rng() % 3 == 0)
      frame.extent = PF_Rect{static_cast<int32_t>(rng() % w) - 2, static_cast<int32_t>(rng() % h),
                             static_cast<int32_t>(rng() % (w + 4)), h + 3};
    return frame;
  }

  // The fast render of a random layer and settings against the reference render: result code,
  // host polls and every byte. Stops at a random poll in one case out of five (polls span
  // extraction and output rows).
  void expectSameRender(std::mt19937& rng, int32_t w, int32_t h, bool layerColour,
                        const std::string& what) {
    HostFrame input = testing::noiseFrame(w, h, rng(), 0.2 + (rng() % 3) * 0.3, rng() % 2);
    const cli::FrameSettings frame = randomSettings(rng, w, h, layerColour);
    const int32_t stopAtCall = rng() % 5 == 0 ? 1 + static_cast<int32_t>(rng() % (2 * h + 1)) : -1;
    const Result expected = renderWith(false, input, frame, stopAtCall);
    const Result actual = renderWith(true, input, frame, stopAtCall);
    ASSERT_EQ(actual.code, expected.code) << what;
    ASSERT_EQ(actual.polls, expected.polls) << what;
    ASSERT_EQ(actual.pixels.size(), expected.pixels.size());
    ASSERT_EQ(std::memcmp(actual.pixels.data(), expected.pixels.data(),
                          actual.pixels.size() * sizeof(PF_Pixel)),
              0)
        << what << ": " << w << "x" << h;
  }
};

TEST_P(FastRenderTest, MatchesTheReferenceRender) {
  renderEngine().setThreadCount(GetParam());
  std::mt19937 rng(31u + GetParam());
  for (int i = 0; i < 200; ++i) {
    const int32_t w = 1 + rng() % 48, h = 1 + rng() % 48;
    ASSERT_NO_FATAL_FAILURE(expectSameRender(rng, w, h, false, "case " + std::to_string(i)));
  }
}

// The glow of the layer's own colours, which spreads all four channels: a thousand layers and
// settings per thread count, every mask, style, blend, quality and Show Target / Effect Only;
// one in eight a layer of up to 260 × 200, whose rows several threads' bands share.
TEST_P(FastRenderTest, LayerColourMatchesTheReferenceRender) {
  renderEngine().setThreadCount(GetParam());
  std::mt19937 rng(2028u + GetParam());
  for (int i = 0; i < 1000; ++i) {
    const bool large = rng() % 8 == 0;
    const int32_t w = 1 + rng() % (large ? 260 : 40), h = 1 + rng() % (large ? 200 : 40);
    ASSERT_NO_FATAL_FAILURE(
        expectSameRender(rng, w, h, true, "layer colour case " + std::to_string(i)));
  }
}

INSTANTIATE_TEST_SUITE_P(Threads, FastRenderTest, ::testing::Values(1, 2, 4),
                         [](const auto& info) { return std::to_string(info.param) + "_threads"; });

TEST_F(FastRenderTest, GlobalSetdownReleasesTheWorkingMemory) {
  HostFrame input = testing::noiseFrame(64, 48, 3);
  const Result first = renderWith(true, input, {}, -1);
  ASSERT_EQ(first.code, PF_Err_NONE);
  // Glow and target rasters at least, kept for the next frame of the same size.
  EXPECT_GE(renderEngine().lastFramePeakBytes(), size_t{2} * 64 * 48 * 4);
  EXPECT_GE(renderEngine().memory().heldBytes(), size_t{2} * 64 * 48 * 4);
  host().finish();
  EXPECT_EQ(renderEngine().memory().heldBytes(), 0u);
  EXPECT_EQ(renderEngine().lastFramePeakBytes(), 0u);
}

TEST_F(FastRenderTest, AnotherFrameSizeReleasesTheOldMemory) {
  HostFrame big = testing::noiseFrame(200, 150, 3), small = testing::noiseFrame(20, 15, 4);
  ASSERT_EQ(renderWith(true, big, {}, -1).code, PF_Err_NONE);
  ASSERT_EQ(renderWith(true, small, {}, -1).code, PF_Err_NONE);
  EXPECT_LT(renderEngine().memory().heldBytes(), size_t{200} * 150 * 4);
}

}  // namespace
}  // namespace shimmerly
