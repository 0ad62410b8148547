// The reference output passes (see composite_pass.h). Pixels are addressed directly: host
// pixels by pointer plus row gap (stride - width, in pixels), rasters by row (raster row
// height - 1 - r holds host row r).
#include "composite/composite_pass.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "composite/blend.h"

namespace shimmerly {
namespace {

constexpr RgbaPixel kPreviewColour{50, 200, 20, 0};

}  // namespace

int32_t compositePass(const CompositeControls& settings, const Raster& glow, GlowBounds bounds,
                      const FrameView& frame, const InterruptCheck& interrupt) {
  const int32_t width = frame.width;
  const int32_t height = frame.height;
  const int64_t inGap = frame.inputStride - width;
  const int64_t outGap = frame.outputStride - width;
  const bool onLayer = settings.compositeOnOriginal;
  const PF_Pixel* in = frame.input;
  PF_Pixel* out = frame.output;
  int32_t code = 0;

  if (bounds.x0 < 0) bounds.x0 = 0;
  if (bounds.x1 > width - 1) bounds.x1 = width - 1;
  if (bounds.y0 < 0) bounds.y0 = 0;
  if (bounds.y1 > height - 1) bounds.y1 = height - 1;

  if (bounds.empty()) {
    for (int32_t r = 0; r < height; ++r) {
      if (interrupt(r, height, &code)) return code;
      for (int32_t x = 0; x < width; ++x) out[x] = onLayer ? in[x] : PF_Pixel{0, 0, 0, 0};
      in += width + inGap;
      out += width + outGap;
    }
    return 0;
  }

  const int32_t bx0 = static_cast<int32_t>(std::trunc(bounds.x0));
  const int32_t bx1 = static_cast<int32_t>(std::ceil(bounds.x1));
  const int32_t by0 = static_cast<int32_t>(std::trunc(bounds.y0));
  const int32_t by1 = static_cast<int32_t>(std::ceil(bounds.y1));
  const double s = settings.softness;
  const double reciprocal = s == 0 ? 1.0 : 1.0 / s;
  const double limit = 255 * s;
  const double b = settings.boost;
  const int32_t mode = settings.blendMode;
  const bool blends = mode >= 1 && mode <= 8;
  // A lift of 255 already saturates every channel; larger boosts must not reach the conversion.
  const int32_t lift = b > 1 ? static_cast<int32_t>(std::trunc(std::min((b - 1) * 255, 255.0))) : 0;

  for (int32_t r = 0; r < height; ++r) {
    if (interrupt(r, height, &code)) return code;
    const int32_t y = height - 1 - r;
    const RgbaPixel* glowRow = glow.rgbaRow(y);
    const bool rowOutside = y < by0 || y > by1;
    for (int32_t x = 0; x < width; ++x) {
      if (!onLayer && (rowOutside || x < bx0 || x > bx1)) {
        out[x] = PF_Pixel{0, 0, 0, 0};
        continue;
      }
      RgbaPixel g = glowRow[x];
      int32_t a = g.alpha;
      // Zero alpha stays zero (a softness so small that its reciprocal is infinite must not
      // form 0 × ∞), a softness below 0 acts as 0, and a boost at or below -100 % removes the
      // glow: host values beyond the controls' ranges never convert a real out of range.
      if (s < 1 && a != 0) {
        if (s <= 0 || a > limit) {
          a = 255;
        } else {
          a = std::min(255, static_cast<int32_t>(std::trunc(a * reciprocal)));
        }
      }
      if (b < 1) {
        a = b > 0 ? static_cast<int32_t>(std::trunc(a * b)) : 0;
      } else if (b > 1) {
        g.red = static_cast<uint8_t>(std::min(255, g.red + lift));
        g.green = static_cast<uint8_t>(std::min(255, g.green + lift));
        g.blue = static_cast<uint8_t>(std::min(255, g.blue + lift));
      }
      // The blend sees the glow as shaped by softness and trans/boost.
      g.alpha = static_cast<uint8_t>(a);
      if (onLayer) {
        out[x] = in[x];
        if (a != 0 && blends) blendPixel(mode, g, out[x]);
      } else {
        out[x] = PF_Pixel{g.alpha, g.red, g.green, g.blue};
      }
    }
    in += width + inGap;
    out += width + outGap;
  }
  return 0;
}

int32_t previewPass(bool compositeOnOriginal, const Raster& target, const PixelBox& extent,
                    const FrameView& frame, const InterruptCheck& interrupt) {
  const int32_t width = frame.width;
  const int32_t height = frame.height;
  const int64_t inGap = frame.inputStride - width;
  const int64_t outGap = frame.outputStride - width;
  const PF_Pixel* in = frame.input;
  PF_Pixel* out = frame.output;
  int32_t code = 0;
  for (int32_t r = 0; r < height; ++r) {
    if (interrupt(r, height, &code)) return code;
    const RgbaPixel* targetRow = target.rgbaRow(height - 1 - r);
    const bool rowInside = r >= extent.y0 && r <= extent.y1;
    for (int32_t x = 0; x < width; ++x) {
      if (!rowInside || x < extent.x0 || x > extent.x1) {
        out[x] = PF_Pixel{0, 0, 0, 0};
        continue;
      }
      RgbaPixel t = kPreviewColour;
      t.alpha = targetRow[x].alpha;
      if (compositeOnOriginal) {
        out[x] = in[x];
        blendPixel(1, t, out[x]);
      } else {
        out[x] = PF_Pixel{t.alpha, t.red, t.green, t.blue};
      }
    }
    in += width + inGap;
    out += width + outGap;
  }
  return 0;
}

}  // namespace shimmerly
