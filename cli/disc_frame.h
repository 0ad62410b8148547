// The built-in test frame of `shimmerly bench` and of the benchmarks: opaque discs with colour
// gradients on a transparent layer, so that the default Layer Alpha target has edges. A grid of
// 12 × 8 cells (at least 8 pixels each), a disc of a third of the smaller cell side in each.
// The grid may be shifted by half a cell, so that the frame's sides cut the discs on them: then,
// where the frame is a whole number of cells (as 1920 × 1080 and 3840 × 2160 are), the layer
// reaches every border, and a glow of any size covers the whole frame.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::cli {

enum class DiscGrid { kInside, kCutByEdges };

// Host pixels, top row first, rows without gaps.
std::vector<PF_Pixel> discFrame(int32_t width, int32_t height, DiscGrid grid = DiscGrid::kInside);

}  // namespace shimmerly::cli
