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

// One extraction: the layer and how to read it, the rasters and bounds to fill, and who may
// stop it.
struct ExtractionRequest {
  Raster& target;
  RenderSettings& settings;  // extraction may change glowSize
  const PF_Pixel* source;    // host pixels, top row first
  int64_t rowGapPixels;      // pixels between the end of one row and the start of the next
  int32_t width, height;
  double pixelAspect;
  bool lowQuality;
  GlowBounds& targetBounds;
  GlowBounds& sourceBounds;  // may be targetBounds itself
  const InterruptCheck& checkInterrupt;
  Raster* glow;         // null: no glow raster is written
  int32_t colorSource;  // ColorFrom code
  RgbColor customColor;
};

// Returns 0 when it ran to the end, or the code that checkInterrupt delivered.
int32_t extractTarget(const ExtractionRequest& request);

}  // namespace shimmerly
