// Inner and outer glow over a kind-1 raster, reference form: a save pass over the region of the
// bounds as given, the glow spread, then a recompute pass over the region of the grown bounds.
// Colour is kept; only alpha is rewritten.
#include "glow/inner_outer_glow.h"

#include "glow/spread.h"

namespace shimmerly {

int stretchAlpha(int u) {
  return u >= 217 ? 255 : u * 20 / 17;
}

int innerGlowAlpha(int s, int o) {
  return o == 0 ? 0 : stretchAlpha((255 - s) * o / 255);
}

int outerGlowAlpha(int s, int o) {
  return o == 255 ? 0 : stretchAlpha((255 - o) * s / 255);
}

namespace {

enum class GlowSide { kInner, kOuter };

int edgeGlow(GlowSide side, Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
             Raster* savedCopy) {
  if (bounds.empty()) return 0;
  const int32_t w = raster.width(), h = raster.height();

  // Save the unspread target: the whole pixel into the copy, or its alpha into its red byte.
  const PixelBox saved = regionOf(bounds, w, h);
  for (int32_t y = saved.y0; y <= saved.y1; ++y) {
    RgbaPixel* row = raster.rgbaRow(y);
    for (int32_t x = saved.x0; x <= saved.x1; ++x) {
      if (savedCopy != nullptr)
        *savedCopy->clampedRgbaAddress(x, y) = row[x];
      else
        row[x].red = row[x].alpha;
    }
  }

  // With a copy the colours may spread too; without one the red bytes hold the saved alpha and
  // must survive, so only alpha spreads.
  spread(raster, spreadRadius(radius), bounds, savedCopy != nullptr ? kSpreadAll : kSpreadAlpha,
         lowQuality);

  const PixelBox grown = regionOf(bounds, w, h);
  for (int32_t y = grown.y0; y <= grown.y1; ++y) {
    RgbaPixel* row = raster.rgbaRow(y);
    for (int32_t x = grown.x0; x <= grown.x1; ++x) {
      RgbaPixel& p = row[x];
      const int s = p.alpha;
      const int o = savedCopy != nullptr ? savedCopy->clampedRgbaAddress(x, y)->alpha : p.red;
      p.alpha = static_cast<uint8_t>(side == GlowSide::kInner ? innerGlowAlpha(s, o)
                                                              : outerGlowAlpha(s, o));
    }
  }
  return 0;
}

}  // namespace

int innerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
              Raster* savedCopy) {
  return edgeGlow(GlowSide::kInner, raster, radius, bounds, lowQuality, savedCopy);
}

int outerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
              Raster* savedCopy) {
  return edgeGlow(GlowSide::kOuter, raster, radius, bounds, lowQuality, savedCopy);
}

}  // namespace shimmerly
