// The render's output passes computed fast: the composite pass (Softness, Trans/Boost and one of
// the eight blend modes, or the glow alone) and the Show Target preview. Output rows are written
// from the top in row bands over the render's threads; the host is asked once per output row,
// in order, on the calling thread, and a stop at row r leaves exactly rows 0 to r − 1 written.
// Host pixels are PF_Pixel (alpha, red, green, blue); the rasters are kind 1 of the frame's size.
#pragma once

#include <cstdint>
#include <functional>

#include "glow/fast_spread.h"
#include "host/host_api.h"

namespace shimmerly {

// Output frame geometry: the input's width and height; strides in pixels (rowbytes / 4).
struct FrameView {
  const PF_Pixel* input;
  int64_t inputStride;
  PF_Pixel* output;
  int64_t outputStride;
  int32_t width, height;
};

struct CompositeControls {
  double softness;        // s = Softness × 0.01
  double boost;           // b = 1 + Trans/Boost × 0.01
  int32_t blendMode;      // 1..8; others leave the input
  bool compositeOnLayer;  // Show Effect Only off
};

// Asked at the start of each output row r: true means stop, with the code written.
using RowInterrupt = std::function<bool(int32_t row, int32_t* code)>;

// Returns 0, or the code of the interrupt that stopped it.
int32_t fastCompositePass(const FrameView& frame, const Raster& glow, const GlowBounds& bounds,
                          const CompositeControls& controls, const RowInterrupt& interrupt,
                          const FastContext& context);

// The composite of a glow of one colour given by its alphas alone: glowAlpha holds one byte per
// pixel in raster rows, and every glow pixel of non-zero alpha has `colour` (red in the low
// byte). Onto the layer, the same output as fastCompositePass of the glow's words, whose pixels
// of zero alpha no blend mode shows; the glow alone (Show Effect Only) shows their colour too,
// and takes them as zero.
int32_t fastCompositeOfAlphas(const FrameView& frame, const uint8_t* glowAlpha, uint32_t colour,
                              const GlowBounds& bounds, const CompositeControls& controls,
                              const RowInterrupt& interrupt, const FastContext& context);

// extent: left', top', right', bottom' already clamped into the frame (host rows from the top).
int32_t fastPreviewPass(const FrameView& frame, const Raster& target, const PF_Rect& extent,
                        bool compositeOnLayer, const RowInterrupt& interrupt,
                        const FastContext& context);

}  // namespace shimmerly
