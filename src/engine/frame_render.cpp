// One frame from request to pixels (see frame_render.h): the controls become the frame's
// RenderSettings and CompositeControls, target extraction fills the glow and target rasters,
// and the output pass writes the target preview, the glow alone, or the glow on the layer.
#include "engine/frame_render.h"

#include <algorithm>
#include <climits>
#include <cstddef>

#include "composite/blend.h"
#include "composite/fast_composite.h"
#include "core/frame_memory.h"
#include "core/menu_codes.h"
#include "core/units.h"
#include "engine/render_engine.h"
#include "glow/fast_extract.h"
#include "glow/frame_slots.h"
#include "glow/render_settings.h"

namespace shimmerly {
namespace {

// The custom colour as a kind-1 word without alpha (red in the low byte).
uint32_t customWordOf(RgbColor colour) {
  return colour.red | (static_cast<uint32_t>(colour.green) << 8) |
         (static_cast<uint32_t>(colour.blue) << 16);
}

int64_t clampInto(int64_t value, int32_t size) {
  return std::max<int64_t>(0, std::min<int64_t>(size - 1, value));
}

// Everything the passes take from one request, worked out once.
struct FramePlan {
  RenderSettings settings;
  CompositeControls composite;
  int32_t colorFrom;
  RgbColor customColor;
  PixelBox extent;           // clamped into the frame
  InterruptCheck interrupt;  // the request's, or one that never stops
};

FramePlan planOf(const FrameRequest& request) {
  const Controls& c = request.controls;
  FramePlan plan;
  plan.settings.targetType = c.mask;
  // Glow Style 1 stays 1 (no processing), 2 becomes 4 (In-Glow), 3 becomes 5 (Out-Glow). Styles
  // past the popup's three are unknown processings either way; the top two values keep their
  // value instead of overflowing.
  plan.settings.targetProcessing =
      c.glowStyle < 2 || c.glowStyle > INT32_MAX - 2 ? c.glowStyle : c.glowStyle + 2;
  plan.settings.glowSize = c.glowSize * request.downsample;
  plan.settings.brightCutoff = c.brightCutoff * kPercentToByte;
  plan.settings.darkCutoff = c.darkCutoff * kPercentToByte;
  plan.settings.showTarget = c.showTarget;
  plan.composite.softness = c.softness * kPercent;
  plan.composite.boost = 1 + c.transBoost * kPercent;
  plan.composite.blendMode = c.blend;
  plan.composite.compositeOnOriginal = !c.effectOnly;
  plan.colorFrom = c.colorFrom;
  plan.customColor = RgbColor{c.color[0], c.color[1], c.color[2]};
  const FrameView& f = request.frame;
  plan.extent =
      PixelBox{clampInto(request.extent.x0, f.width), clampInto(request.extent.x1, f.width),
               clampInto(request.extent.y0, f.height), clampInto(request.extent.y1, f.height)};
  plan.interrupt =
      request.interrupt ? request.interrupt : [](int32_t, int32_t, int32_t*) { return false; };
  return plan;
}

// The extraction of a planned frame into its target and glow rasters, widening one box.
ExtractionRequest extractionOf(FramePlan& plan, const FrameRequest& request, Raster& target,
                               Raster& glow, GlowBounds& bounds) {
  const FrameView& f = request.frame;
  return ExtractionRequest{target,
                           plan.settings,
                           f.input,
                           f.inputStride - f.width,
                           f.width,
                           f.height,
                           request.pixelAspect,
                           request.lowQuality,
                           bounds,
                           bounds,
                           plan.interrupt,
                           &glow,
                           plan.colorFrom,
                           plan.customColor};
}

// The frame on the fast kernels: rasters over working memory kept across frames (every pixel of
// them is written, so they need no clearing), the engine's threads, and the interrupt still
// asked once per row in order on this thread.
int32_t renderFast(RenderEngine& engine, FramePlan& plan, const FrameRequest& request) {
  const FrameView& frame = request.frame;
  const int32_t width = frame.width;
  const int32_t height = frame.height;
  FrameMemory& memory = engine.memory();
  memory.beginFrame(width, height);
  const size_t bytes = static_cast<size_t>(std::max(width, 0)) * std::max(height, 0) * 4;
  Raster glow(width, height, kPixelRgba, memory.block(kSlotGlowRaster, bytes));
  // The extraction leaves the target raster untouched unless the frame shows the target or
  // spreads it: the raster then takes no frame of memory.
  const bool targetUsed = fastExtractionUsesTargetRaster(plan.settings, true);
  Raster target(width, height, kPixelRgba,
                memory.block(kSlotTargetRaster, targetUsed ? bytes : size_t{64}));
  const FastContext context{engine.pool(), &memory};
  GlowBounds bounds;
  // Onto the layer, no blend shows the colour of a glow pixel of zero alpha, so a glow of the
  // custom colour may come as its alphas alone: a quarter of the bytes to write and read back.
  const uint8_t* glowAlpha = nullptr;
  const bool alphasServe = plan.composite.compositeOnOriginal && !plan.settings.showTarget;
  // An edge glow of the layer's colours finishes each glow row as the composite reads it.
  PendingEdgeGlow edge;
  int32_t code = fastExtractTarget(extractionOf(plan, request, target, glow, bounds), context,
                                   alphasServe ? &glowAlpha : nullptr, &edge);
  if (code == 0) {
    if (plan.settings.showTarget) {
      code = fastPreviewPass(frame, target, plan.extent, plan.composite.compositeOnOriginal,
                             plan.interrupt, context);
    } else {
      if (glowAlpha) {
        code = fastCompositeOfAlphas(frame, glowAlpha, customWordOf(plan.customColor), bounds,
                                     plan.composite, plan.interrupt, context);
      } else if (edge.pending) {
        // With the layer's alphas as target values, the Normal composite takes the step itself.
        const EdgeFromLayer fromLayer = edge.values.settings->targetType != TargetType::Alpha
                                            ? EdgeFromLayer::kNone
                                        : edge.inner ? EdgeFromLayer::kInner
                                                     : EdgeFromLayer::kOuter;
        code = fastCompositePass(
            frame, glow, bounds, plan.composite, plan.interrupt, context,
            [&edge](int64_t y, uint32_t* row) { finishEdgeRow(edge, y, row); }, fromLayer);
      } else {
        code = fastCompositePass(frame, glow, bounds, plan.composite, plan.interrupt, context);
      }
    }
  }
  engine.noteFramePeak(memory.framePeakBytes());
  return code;
}

// The frame on the literal reference kernels, on the calling thread.
int32_t renderReference(FramePlan& plan, const FrameRequest& request) {
  const FrameView& frame = request.frame;
  // Raster releases its memory on every way out of this scope.
  Raster glow(frame.width, frame.height, kPixelRgba);
  Raster target(frame.width, frame.height, kPixelRgba);
  GlowBounds bounds;
  const int32_t code = extractTarget(extractionOf(plan, request, target, glow, bounds));
  if (code != 0) return code;
  if (plan.settings.showTarget)
    return previewPass(plan.composite.compositeOnOriginal, target, plan.extent, frame,
                       plan.interrupt);
  return compositePass(plan.composite, glow, bounds, frame, plan.interrupt);
}

}  // namespace

int32_t renderFrame(RenderEngine& engine, const FrameRequest& request) {
  FramePlan plan = planOf(request);
  fillAlphaReciprocals();
  return engine.fastPath() ? renderFast(engine, plan, request) : renderReference(plan, request);
}

}  // namespace shimmerly
