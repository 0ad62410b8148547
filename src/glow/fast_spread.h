// The glow spread computed fast: the same box passes, the same integers and the same doubles in
// the same order as the summed-area spread, but from running column sums and row prefixes kept
// per row band, over the bounded region only, vectorised and spread over the render's threads.
// Kind-1 rasters, row 0 at the bottom; bounds grow exactly as the summed-area spread grows them.
#pragma once

#include <cstdint>

#include "glow/glow_bounds.h"
#include "render/raster.h"

namespace shimmerly {

class FrameMemory;
class RenderPool;

// What a fast kernel may use: threads (null: the calling thread only) and working memory kept
// across frames (required).
struct FastContext {
  RenderPool* pool = nullptr;
  FrameMemory* memory = nullptr;
};

// spread: one box pass of radius x in low quality, three passes of x × 0.6666667 otherwise.
// channels is the bit set red 1, green 2, blue 4, alpha 8.
void fastSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                bool lowQuality, const FastContext& context);
void fastBoxSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context);
void fastSmoothSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                      const FastContext& context);

}  // namespace shimmerly
