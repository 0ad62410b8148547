// The render's output passes computed fast: the composite pass (Softness, Trans/Boost and one of
// the eight blend modes, or the glow alone) and the Show Target preview. Output rows are written
// from the top in row bands over the render's threads; the host is asked once per output row,
// in order, on the calling thread, and a stop at row r leaves exactly rows 0 to r − 1 written.
// Host pixels are PF_Pixel (alpha, red, green, blue); the rasters are kind 1 of the frame's size.
#pragma once

#include <cstdint>
#include <functional>

#include "composite/composite_pass.h"
#include "core/fast_context.h"
#include "core/interrupt.h"

namespace shimmerly {

// Returns 0, or the code of the interrupt that stopped it.
int32_t fastCompositePass(const FrameView& frame, const Raster& glow, const GlowBounds& bounds,
                          const CompositeControls& controls, const InterruptCheck& interrupt,
                          const FastContext& context);

// A step the glow raster's rows still need, run on raster row y (its first pixel `row`) on the
// thread that composites the row, just before the row is read: the row's pixels are then still
// in that core's caches when the composite reads them, and so are the layer's.
using GlowRowFinish = std::function<void(int64_t y, uint32_t* row)>;

// Which last step of an inner or outer glow `finish` is, when the composite may take it itself:
// the edge glow's alpha (glow/edge_alpha.h) of each glow pixel's alpha and the alpha of the layer
// pixel under it, wherever the finish runs, and where it does not, glow pixels and layer pixels
// of alpha 0, which that alpha leaves as they are.
enum class EdgeFromLayer { kNone, kInner, kOuter };

// fastCompositePass over a glow raster whose every row takes `finish` first. With an edge step
// given, the Normal mode onto the layer instead takes the step pixel by pixel as it reads the
// glow, and leaves the raster's alphas as they are; every other output runs `finish`.
int32_t fastCompositePass(const FrameView& frame, Raster& glow, const GlowBounds& bounds,
                          const CompositeControls& controls, const InterruptCheck& interrupt,
                          const FastContext& context, const GlowRowFinish& finish,
                          EdgeFromLayer edge = EdgeFromLayer::kNone);

// The composite of a glow of one colour given by its alphas alone: glowAlpha holds one byte per
// pixel in raster rows, and every glow pixel of non-zero alpha has `colour` (red in the low
// byte). Onto the layer, the same output as fastCompositePass of the glow's words, whose pixels
// of zero alpha no blend mode shows; the glow alone (Show Effect Only) shows their colour too,
// and takes them as zero.
int32_t fastCompositeOfAlphas(const FrameView& frame, const uint8_t* glowAlpha, uint32_t colour,
                              const GlowBounds& bounds, const CompositeControls& controls,
                              const InterruptCheck& interrupt, const FastContext& context);

// extent: already clamped into the frame (host rows from the top).
int32_t fastPreviewPass(const FrameView& frame, const Raster& target, const PixelBox& extent,
                        bool compositeOnOriginal, const InterruptCheck& interrupt,
                        const FastContext& context);

}  // namespace shimmerly
