// Target extraction: the glow engine's entry point. Walks the layer's rows from the top, writes
// the target of every pixel into the target raster and a coloured copy into the glow raster,
// widens the bounds, then runs the processing step (spread, inner or outer glow).
#pragma once

#include <cstdint>
#include "core/interrupt.h"
#include "core/pixel.h"
#include "core/raster.h"
#include "glow/glow_bounds.h"
#include "glow/render_settings.h"

namespace shimmerly {

// Returns 0 when it ran to the end, or the code that checkInterrupt delivered. targetBounds and
// sourceBounds may be the same record. glow may be null.
int32_t extractTarget(Raster& target, RenderSettings& settings, const PF_Pixel* source,
                      int64_t rowGapPixels, int32_t width, int32_t height, double pixelAspect,
                      bool lowQuality, GlowBounds& targetBounds, GlowBounds& sourceBounds,
                      const InterruptCheck& checkInterrupt, Raster* glow, int32_t colorSource,
                      RgbColor customColor);

}  // namespace shimmerly
