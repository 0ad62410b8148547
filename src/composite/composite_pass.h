// The output passes of a frame, as the plain reference: the composite pass (Softness,
// Trans/Boost and one of the eight blend modes onto the layer, or the glow alone) and the
// Show Target preview. Host pixels are PF_Pixel (alpha, red, green, blue), rows from the top;
// the rasters are kind 1 of the frame's size, row 0 at the bottom. All pixel arithmetic is in
// 64-bit reals, truncating. The fast forms are in fast_composite.h.
#pragma once

#include <cstdint>

#include "core/interrupt.h"
#include "core/pixel.h"
#include "core/raster.h"
#include "glow/glow_bounds.h"

namespace shimmerly {

// A frame's host pixels: the input, and the output of the same width and height; strides are
// in pixels from one row to the next (a host's rowbytes / 4).
struct FrameView {
  const PF_Pixel* input;
  int64_t inputStride;
  PF_Pixel* output;
  int64_t outputStride;
  int32_t width, height;
};

// How the glow goes onto the layer.
struct CompositeControls {
  double softness = 0.8;            // s: Softness × 0.01
  double boost = 1.0;               // b: 1 + Trans/Boost × 0.01
  int32_t blendMode = 1;            // 1..8; any other value leaves the input in place
  bool compositeOnOriginal = true;  // false under Show Effect Only
};

// The composite pass over the frame: softness, trans/boost and blending of the glow raster
// within bounds (raster coordinates). Asks interrupt before each output row; returns 0 or the
// interrupt's code.
int32_t compositePass(const CompositeControls& controls, const Raster& glow, GlowBounds bounds,
                      const FrameView& frame, const InterruptCheck& interrupt);

// The show-target preview: the target raster's alpha in green (50, 200, 20) inside the extent
// (host pixels from the top, inclusive, already clamped into the frame), transparent black
// outside. Returns 0 or the interrupt's code.
int32_t previewPass(bool compositeOnOriginal, const Raster& target, const PixelBox& extent,
                    const FrameView& frame, const InterruptCheck& interrupt);

}  // namespace shimmerly
