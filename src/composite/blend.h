// The eight blend modes that put one glow pixel onto one host pixel in place, in 8-bit integers
// at their ends and double-precision reals in between, with each mode's own order of rounding,
// clamping and division by alpha.
#pragma once

#include <cstdint>

#include "core/pixel.h"
#include "core/raster.h"

namespace shimmerly {

// Fills alphaReciprocals (entry 0 = 0, entry i = 1 / i) if it is not filled yet. Safe to call
// from several threads; the render calls it before any pixel work.
void fillAlphaReciprocals();
// The 512-entry table; filled on first use.
const double* alphaReciprocals();

// Divides P's colour by its alpha (no change for alpha 0 or 255).
void unmultiplyPixel(PF_Pixel& pixel);
// Blends glow onto pixel by mode 1..8 (Normal, Screen, Multiply, Overlay, Add, Magic Glue 1-3).
void blendPixel(int32_t mode, const RgbaPixel& glow, PF_Pixel& pixel);

}  // namespace shimmerly
