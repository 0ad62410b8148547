// Target extraction: the glow engine's entry point. Walks the layer's rows from the top, writes
// the target of every pixel into the target raster and a coloured copy into the glow raster,
// widens the bounds, then runs the processing step (spread, inner or outer glow).
#pragma once

#include <cstdint>
#include <functional>

#include "glow/glow_bounds.h"
#include "glow/render_settings.h"
#include "host/host_api.h"
#include "render/raster.h"

namespace shimmerly {

// Asked once per source row (row, rowCount, code): true means stop; the code to return has
// then been written.
using InterruptCheck = std::function<bool(int32_t row, int32_t rowCount, int32_t* code)>;

struct RgbColor {
  uint8_t red, green, blue;
};

// Returns 0 when it ran to the end, or the code that checkInterrupt delivered. targetBounds and
// sourceBounds may be the same record. glow may be null.
int32_t extractTarget(Raster& target, RenderSettings& settings, const PF_Pixel* source,
                      int64_t rowGapPixels, int32_t width, int32_t height, double pixelAspect,
                      bool lowQuality, GlowBounds& targetBounds, GlowBounds& sourceBounds,
                      const InterruptCheck& checkInterrupt, Raster* glow, int32_t colorSource,
                      RgbColor customColor);

}  // namespace shimmerly
