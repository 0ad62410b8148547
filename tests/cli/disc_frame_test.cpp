// The built-in test frames: where their discs lie relative to the frame's borders, which is what
// the render benchmarks compare glow sizes on.
#include "cli/disc_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace shimmerly::cli {
namespace {

struct Extent {
  int32_t x0, y0, x1, y1;  // the opaque pixels' bounding box, inclusive
  int64_t opaque;
};

Extent extentOf(const std::vector<PF_Pixel>& pixels, int32_t width, int32_t height) {
  Extent e{width, height, -1, -1, 0};
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const PF_Pixel& p = pixels[static_cast<size_t>(y) * width + x];
      if (p.alpha == 0) continue;
      EXPECT_EQ(p.alpha, 255);
      e = {std::min(e.x0, x), std::min(e.y0, y), std::max(e.x1, x), std::max(e.y1, y),
           e.opaque + 1};
    }
  return e;
}

TEST(DiscFrame, DiscsInsideKeepClearOfEveryBorderAndCutOnesReachThemAll) {
  for (const auto& [width, height] : {std::pair{1920, 1080}, std::pair{3840, 2160}}) {
    SCOPED_TRACE(width);
    const Extent inside = extentOf(discFrame(width, height), width, height);
    EXPECT_GT(inside.x0, 0);
    EXPECT_GT(inside.y0, 0);
    EXPECT_LT(inside.x1, width - 1);
    EXPECT_LT(inside.y1, height - 1);
    const Extent cut = extentOf(discFrame(width, height, DiscGrid::kCutByEdges), width, height);
    EXPECT_EQ(cut.x0, 0);
    EXPECT_EQ(cut.y0, 0);
    EXPECT_EQ(cut.x1, width - 1);
    EXPECT_EQ(cut.y1, height - 1);
    // The same grid of discs, shifted: as much of the frame is opaque, give or take the
    // rounding of the cut discs.
    EXPECT_NEAR(static_cast<double>(cut.opaque), static_cast<double>(inside.opaque),
                0.02 * static_cast<double>(inside.opaque));
  }
}

TEST(DiscFrame, SmallFramesStillHoldDiscs) {
  for (DiscGrid grid : {DiscGrid::kInside, DiscGrid::kCutByEdges}) {
    const std::vector<PF_Pixel> frame = discFrame(40, 30, grid);
    ASSERT_EQ(frame.size(), 40u * 30u);
    EXPECT_GT(extentOf(frame, 40, 30).opaque, 0);
  }
  EXPECT_TRUE(discFrame(0, 0).empty());
}

}  // namespace
}  // namespace shimmerly::cli
