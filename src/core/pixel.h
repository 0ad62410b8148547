/* The effect's pixels and its one rectangle of whole pixels. A host pixel (PF_Pixel) holds the
 * bytes alpha, red, green, blue; a kind-1 raster pixel (RgbaPixel) holds red, green, blue,
 * alpha; both hold straight colour, not multiplied by alpha. PF_Pixel has plain C layout, as the
 * host interface records that carry it. */
#ifndef SHIMMERLY_CORE_PIXEL_H
#define SHIMMERLY_CORE_PIXEL_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  uint8_t alpha, red, green, blue;
} PF_Pixel;

#ifdef __cplusplus
}  // extern "C"

namespace shimmerly {

// A kind-1 raster pixel.
struct RgbaPixel {
  uint8_t red, green, blue, alpha;
};

// A colour without alpha, such as the custom glow colour.
struct RgbColor {
  uint8_t red, green, blue;
};

// Whole pixels from column x0 to x1 and row y0 to y1, all four inclusive, in the coordinates of
// whoever holds it (host rows from the top, or raster rows from the bottom). Empty while
// x0 > x1 or y0 > y1.
struct PixelBox {
  int64_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
  bool empty() const { return x0 > x1 || y0 > y1; }
};

}  // namespace shimmerly
#endif

#endif
