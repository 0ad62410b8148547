// The render command and its two output passes. Pixels are addressed directly: host worlds by
// pointer plus row gap (rowbytes / 4 - width, in pixels), rasters by row (raster row
// height - 1 - r holds host row r). All pixel arithmetic is in 64-bit reals, truncating.
#include "render/render_command.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "glow/fast_extract.h"
#include "glow/render_settings.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "render/blend.h"
#include "render/fast_composite.h"
#include "render/render_engine.h"

namespace shimmerly {
namespace {

constexpr RgbaPixel kPreviewColour{50, 200, 20, 0};

// The custom colour as a kind-1 word without alpha (red in the low byte).
uint32_t customWordOf(RgbColor colour) {
  return colour.red | (static_cast<uint32_t>(colour.green) << 8) |
         (static_cast<uint32_t>(colour.blue) << 16);
}

int64_t rowGapOf(const PF_LayerDef& world, int32_t width) {
  return static_cast<int64_t>(world.rowbytes / 4) - width;
}

double ratio(const PF_RationalScale& scale) {
  // A zero denominator would make every size infinite; treat it as no scaling.
  if (scale.den == 0) return 1.0;
  return static_cast<double>(scale.num) / static_cast<double>(scale.den);
}

// The same frame on the fast kernels: rasters over working memory kept across frames (every
// pixel of them is written, so they need no clearing), the engine's threads, and the host still
// asked once per row in order on this thread.
PF_Err renderFast(RenderSettings& settings, const CompositeSettings& composite,
                  const PF_LayerDef& input, PF_LayerDef& output, const PF_Rect& extent,
                  bool lowQuality, double pixelAspect, int32_t colorSource, RgbColor customColor) {
  const int32_t width = input.width;
  const int32_t height = input.height;
  RenderEngine& engine = renderEngine();
  FrameMemory& memory = engine.memory();
  memory.beginFrame(width, height);
  const size_t bytes = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 4;
  Raster glow(width, height, kPixelRgba, memory.block(kSlotGlowRaster, bytes));
  Raster target(width, height, kPixelRgba, memory.block(kSlotTargetRaster, bytes));
  const FastContext context{engine.pool(), &memory};
  GlowBounds bounds;
  const InterruptCheck interrupt = [](int32_t current, int32_t total, int32_t* result) {
    return checkInterrupt(current, total, result);
  };
  // Onto the layer, no blend shows the colour of a glow pixel of zero alpha, so a glow of the
  // custom colour may come as its alphas alone: a quarter of the bytes to write and read back.
  const uint8_t* glowAlpha = nullptr;
  const bool alphasServe = composite.compositeOnOriginal && !settings.showTarget;
  int32_t code =
      fastExtractTarget(target, settings, input.data, rowGapOf(input, width), width, height,
                        pixelAspect, lowQuality, bounds, bounds, interrupt, &glow, colorSource,
                        customColor, context, alphasServe ? &glowAlpha : nullptr);
  if (code == 0) {
    const FrameView view{input.data, input.rowbytes / 4, output.data, output.rowbytes / 4, width,
                         height};
    const RowInterrupt rowInterrupt = [height](int32_t row, int32_t* result) {
      return checkInterrupt(row, height, result);
    };
    if (settings.showTarget) {
      code = fastPreviewPass(view, target, extent, composite.compositeOnOriginal, rowInterrupt,
                             context);
    } else {
      const CompositeControls controls{composite.softness, composite.boost, composite.blendMode,
                                       composite.compositeOnOriginal};
      code = glowAlpha ? fastCompositeOfAlphas(view, glowAlpha, customWordOf(customColor), bounds,
                                               controls, rowInterrupt, context)
                       : fastCompositePass(view, glow, bounds, controls, rowInterrupt, context);
    }
  }
  engine.noteFramePeak(memory.framePeakBytes());
  return code;
}

}  // namespace

bool checkInterrupt(int32_t current, int32_t total, int32_t* code) {
  PF_InData* in_data = pluginState().currentInData;
  if (!in_data) return false;
  PF_Err err = in_data->inter.progress(in_data->effect_ref, current, total);
  if (err == 0) err = in_data->inter.abort(in_data->effect_ref);
  if (err == 0) return false;
  *code = err;
  return true;
}

int32_t compositePass(const CompositeSettings& settings, const Raster& glow, GlowBounds bounds,
                      const PF_LayerDef& input, PF_LayerDef& output,
                      const InterruptCheck& interrupt) {
  const int32_t width = input.width;
  const int32_t height = input.height;
  const int64_t inGap = rowGapOf(input, width);
  const int64_t outGap = rowGapOf(output, width);
  const bool onLayer = settings.compositeOnOriginal;
  const PF_Pixel* in = input.data;
  PF_Pixel* out = output.data;
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

int32_t previewPass(bool compositeOnOriginal, const Raster& target, const PF_Rect& extent,
                    const PF_LayerDef& input, PF_LayerDef& output,
                    const InterruptCheck& interrupt) {
  const int32_t width = input.width;
  const int32_t height = input.height;
  const int64_t inGap = rowGapOf(input, width);
  const int64_t outGap = rowGapOf(output, width);
  const PF_Pixel* in = input.data;
  PF_Pixel* out = output.data;
  int32_t code = 0;
  for (int32_t r = 0; r < height; ++r) {
    if (interrupt(r, height, &code)) return code;
    const RgbaPixel* targetRow = target.rgbaRow(height - 1 - r);
    const bool rowInside = r >= extent.top && r <= extent.bottom;
    for (int32_t x = 0; x < width; ++x) {
      if (!rowInside || x < extent.left || x > extent.right) {
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

PF_Err render(PF_InData* in_data, PF_OutData*, PF_ParamDef* params[], PF_LayerDef* output) {
  const PF_LayerDef& input = params[PARAM_INPUT]->u.ld;
  const int32_t width = input.width;
  const int32_t height = input.height;

  RenderSettings settings;
  settings.targetType = params[PARAM_MASK]->u.pd.value;
  const int32_t style = params[PARAM_GLOW_STYLE]->u.pd.value;
  // Styles past the popup's three are unknown processings either way; the top two values keep
  // their value instead of overflowing.
  settings.targetProcessing = style < 2 || style > INT32_MAX - 2 ? style : style + 2;
  const double downsample = ratio(in_data->downsample_x);
  settings.glowSize = readSliderValue(params[PARAM_GLOW_SIZE]) * downsample;
  settings.brightCutoff = readSliderValue(params[PARAM_BRIGHT_CUTOFF]) * kPercentToByte;
  settings.darkCutoff = readSliderValue(params[PARAM_DARK_CUTOFF]) * kPercentToByte;
  settings.showTarget = params[PARAM_SHOW_TARGET]->u.bd.value != 0;

  CompositeSettings composite;
  composite.softness = readSliderValue(params[PARAM_SOFTNESS]) * kPercent;
  composite.boost = 1 + readSliderValue(params[PARAM_TRANS_BOOST]) * kPercent;
  composite.blendMode = params[PARAM_BLEND_MODE]->u.pd.value;
  composite.compositeOnOriginal = params[PARAM_SHOW_EFFECT_ONLY]->u.bd.value == 0;
  const int32_t colorSource = params[PARAM_GLOW_COLOR_FROM]->u.pd.value;
  const PF_Pixel& custom = params[PARAM_CUSTOM_COLOR]->u.cd.value;
  const RgbColor customColor{custom.red, custom.green, custom.blue};
  const bool lowQuality = in_data->quality == PF_Quality_LO;
  const double pixelAspect = ratio(in_data->pixel_aspect_ratio);

  PF_Rect extent;
  extent.left = std::max(0, std::min(width - 1, in_data->extent_hint.left));
  extent.right = std::max(0, std::min(width - 1, in_data->extent_hint.right));
  extent.top = std::max(0, std::min(height - 1, in_data->extent_hint.top));
  extent.bottom = std::max(0, std::min(height - 1, in_data->extent_hint.bottom));

  int32_t code = 0;
  if (checkInterrupt(0, 0, &code)) return code;
  fillAlphaReciprocals();

  if (renderEngine().fastPath())
    return renderFast(settings, composite, input, *output, extent, lowQuality, pixelAspect,
                      colorSource, customColor);

  // Raster releases its memory on every way out of this scope.
  Raster glow(width, height, kPixelRgba);
  Raster target(width, height, kPixelRgba);
  GlowBounds bounds;
  const InterruptCheck interrupt = [](int32_t current, int32_t total, int32_t* result) {
    return checkInterrupt(current, total, result);
  };
  code = extractTarget(target, settings, input.data, rowGapOf(input, width), width, height,
                       pixelAspect, lowQuality, bounds, bounds, interrupt, &glow, colorSource,
                       customColor);
  if (code != 0) return code;
  if (settings.showTarget)
    return previewPass(composite.compositeOnOriginal, target, extent, input, *output, interrupt);
  return compositePass(composite, glow, bounds, input, *output, interrupt);
}

}  // namespace shimmerly
