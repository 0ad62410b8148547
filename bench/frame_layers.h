// What a render's first step makes of a frame of host pixels, for the benchmarks that time the
// later steps alone: the glow raster of the layer's own colours, and the alphas that a
// custom-colour glow keeps instead. Both in raster rows (bottom row first), with the bounds of
// the pixels whose alpha is not zero.
#pragma once

#include <cstdint>
#include <vector>

#include "core/raster.h"
#include "glow/glow_bounds.h"
#include "host/host_api.h"

namespace shimmerly::bench {

// The frame's alphas, one byte per pixel.
inline std::vector<uint8_t> alphasOf(const std::vector<PF_Pixel>& frame, int32_t width,
                                     int32_t height, GlowBounds& bounds) {
  std::vector<uint8_t> alpha(static_cast<size_t>(width) * height);
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) {
      const uint8_t a = frame[static_cast<size_t>(r) * width + x].alpha;
      alpha[static_cast<size_t>(height - 1 - r) * width + x] = a;
      if (a != 0) bounds.include(x, height - 1 - r);
    }
  return alpha;
}

// The frame's pixels into the glow raster, zero where the alpha is zero.
inline void glowOf(const std::vector<PF_Pixel>& frame, int32_t width, int32_t height, Raster& glow,
                   GlowBounds& bounds) {
  for (int32_t r = 0; r < height; ++r)
    for (int32_t x = 0; x < width; ++x) {
      const PF_Pixel& p = frame[static_cast<size_t>(r) * width + x];
      RgbaPixel& out = glow.rgbaRow(height - 1 - r)[x];
      if (p.alpha == 0) {
        out = RgbaPixel{0, 0, 0, 0};
        continue;
      }
      out = RgbaPixel{p.red, p.green, p.blue, p.alpha};
      bounds.include(x, height - 1 - r);
    }
}

}  // namespace shimmerly::bench
