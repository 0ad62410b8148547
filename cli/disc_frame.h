// The built-in test frame of `shimmerly bench` and of the benchmarks: opaque discs with colour
// gradients on a transparent layer, so that the default Layer Alpha target has edges. A grid of
// 12 × 8 cells (at least 8 pixels each), a disc of a third of the smaller cell side in each.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host_api.h"

namespace shimmerly::cli {

// Host pixels, top row first, rows without gaps.
std::vector<PF_Pixel> discFrame(int32_t width, int32_t height);

}  // namespace shimmerly::cli
