// Target extraction, reference form: one pass over the layer's rows from the top, deciding every
// pixel's target value (whole layer, alpha, luminance window, circle or square), writing the
// target and its coloured copy into the kind-1 rasters (row 0 at the bottom) and widening the
// bounds, then the processing step: the glow spread, or the inner or outer glow.
#include "glow/extract.h"

#include <algorithm>
#include <cmath>

#include "core/menu_codes.h"
#include "glow/inner_outer_glow.h"
#include "glow/shape_targets.h"
#include "glow/spread.h"

namespace shimmerly {

namespace {

// L = trunc(G × 0.587 + R × 0.299 + B × 0.144), limited to 255. The weights add up to 1.03, so
// white reaches 262 before the limit.
inline int luminance(int red, int green, int blue) {
  const int l = static_cast<int>(green * 0.587 + red * 0.299 + blue * 0.144);
  return std::min(l, 255);
}

// The processing step that follows the last row; returns the spread still pending for the
// target raster's alpha.
double runProcessing(Raster& target, RenderSettings& settings, bool lowQuality, GlowBounds& bounds,
                     Raster* glow) {
  const double size = settings.glowSize;
  double pending = size;
  switch (settings.targetProcessing) {
    case TargetProcessing::None:
      if (glow != nullptr) {
        spread(*glow, spreadRadius(size), bounds, kSpreadAll, lowQuality);
        pending = 0;
      }
      break;
    case TargetProcessing::InnerGlow:
    case TargetProcessing::OuterGlow: {
      const bool inner = settings.targetProcessing == TargetProcessing::InnerGlow;
      Raster& processed = glow != nullptr ? *glow : target;
      // With the glow raster processed, the target raster keeps the unspread copy unless it is
      // about to be shown; then the glow raster's red bytes hold the copy instead.
      Raster* savedCopy = glow != nullptr && !settings.showTarget ? &target : nullptr;
      if (inner)
        innerGlow(processed, size, bounds, lowQuality, savedCopy);
      else
        outerGlow(processed, size, bounds, lowQuality, savedCopy);
      pending = 0;
      break;
    }
    default:
      // Invert (2) and EdgesOnly (3) are not built into this engine (the controls can never
      // ask for them); like any unknown value they leave the glow raster as extracted and the
      // target raster's alpha receives the pending spread.
      break;
  }
  return pending;
}

}  // namespace

int32_t extractTarget(const ExtractionRequest& request) {
  // The request's fields under their own names, in the order ExtractionRequest declares them.
  const auto& [target, settings, source, rowGapPixels, width, height, pixelAspect, lowQuality,
               targetBounds, sourceBounds, checkInterrupt, glow, colorSource, customColor] =
      request;
  const int32_t type = settings.targetType;
  // The layer's own colour for "This Layer" (2); the custom colour for "Custom Color" (1) and,
  // since the control offers nothing else, for any other value a preset might bring.
  const bool layerColour = colorSource == ColorFrom::Layer;
  const bool targetHasPixels = target.width() > 0 && target.height() > 0;
  const bool glowHasPixels = glow != nullptr && glow->width() > 0 && glow->height() > 0;

  const PF_Pixel* in = source;
  for (int32_t r = 0; r < height; ++r) {
    const int32_t q = height - 1 - r;
    int32_t code = 0;
    if (checkInterrupt && checkInterrupt(r, height, &code)) return code;
    for (int32_t i = 0; i < width; ++i, ++in) {
      const int a = in->alpha;
      if (a != 0) sourceBounds.include(i, q);

      int v = 0;
      switch (type) {
        case TargetType::None:
          v = 255;
          break;
        case TargetType::Alpha:
          v = a;
          break;
        case TargetType::Brightness:
        case TargetType::BrightnessAlpha: {
          // A brightness target always gets at least a spread of 1.0.
          if (settings.glowSize == 0) settings.glowSize = 1.0;
          const int l = luminance(in->red, in->green, in->blue);
          if (settings.darkCutoff <= l && l <= settings.brightCutoff)
            v = type == TargetType::Brightness ? 255 : a;
          break;
        }
        case TargetType::Circle:
        case TargetType::CircleAlpha:
          v = circleValue(settings, i, r, pixelAspect, lowQuality,
                          type == TargetType::Circle ? 255 : a);
          break;
        case TargetType::Square:
        case TargetType::SquareAlpha:
          v = squareValue(settings, i, r, pixelAspect, lowQuality,
                          type == TargetType::Square ? 255 : a);
          break;
        default:
          break;
      }

      // Rasters of another size than the layer are addressed with clamped coordinates.
      if (targetHasPixels)
        *target.clampedRgbaAddress(i, q) = RgbaPixel{0, 0, 0, static_cast<uint8_t>(v)};
      if (v != 0) {
        targetBounds.include(i, q);
        if (glowHasPixels) {
          RgbaPixel colour =
              layerColour ? RgbaPixel{in->red, in->green, in->blue, 0}
                          : RgbaPixel{customColor.red, customColor.green, customColor.blue, 0};
          colour.alpha = static_cast<uint8_t>(v);
          *glow->clampedRgbaAddress(i, q) = colour;
        }
      }
    }
    in += rowGapPixels;
  }

  const double pending = runProcessing(target, settings, lowQuality, targetBounds, glow);

  // Show Target softens the hard luminance window of the displayed target by one pixel.
  if (glow != nullptr && settings.showTarget &&
      (type == TargetType::Brightness || type == TargetType::BrightnessAlpha)) {
    settings.glowSize = 1.0;
    spread(target, 1.0f, targetBounds, kSpreadAll, lowQuality);
  }
  if (pending > 0) spread(target, spreadRadius(pending), targetBounds, kSpreadAlpha, lowQuality);
  return 0;
}

}  // namespace shimmerly
