// Fast target extraction and inner/outer glow (see fast_extract.h). Pixels are handled as 32-bit
// words: a host pixel (alpha, red, green, blue) has alpha in its low byte, so its colour shifted
// down by 8 is already a kind-1 colour (red, green, blue in the low three bytes). Every glow
// pixel is written, zero where the target is zero, so the rasters need no clearing beforehand.
#include "glow/fast_extract.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/menu_codes.h"
#include "core/render_threads.h"
#include "glow/edge_alpha.h"
#include "glow/frame_slots.h"
#include "glow/inner_outer_glow.h"
#include "glow/luminance.h"
#include "glow/shape_targets.h"
#include "glow/spread.h"

namespace shimmerly {

namespace {

// The pixels met by one worker grow a PixelBox of raster rows, a row at a time: columns first to
// last of raster row q.
void includeRow(PixelBox& box, int64_t first, int64_t last, int64_t q) {
  if (box.empty()) {
    box = {first, last, q, q};
    return;
  }
  box.x0 = std::min(box.x0, first);
  box.x1 = std::max(box.x1, last);
  box.y0 = std::min(box.y0, q);
  box.y1 = std::max(box.y1, q);
}

// Including the two corners gives the same bounds as including every point met, in any order.
void includeInto(const PixelBox& box, GlowBounds& bounds) {
  if (box.empty()) return;
  bounds.include(static_cast<double>(box.x0), static_cast<double>(box.y0));
  bounds.include(static_cast<double>(box.x1), static_cast<double>(box.y1));
}

struct ExtractPlan : TargetSource {
  bool layerColour;
  uint32_t customWord;   // custom colour as a kind-1 word without alpha
  uint32_t* target;      // null: the target raster is not read after the extraction
  uint8_t* targetAlpha;  // the target values as one byte per pixel, raster rows; or null
  uint32_t* glow;        // null when absent
};

// Target values of columns [c0, c1) of source row r into v[0] to v[c1 - c0 - 1], `in` being
// the row's first pixel. Inlined into each kernel, so that its loops take the kernel's
// instruction set.
SHIMMERLY_INLINE void targetRow(const ExtractPlan& p, int32_t r, int32_t c0, int32_t c1,
                                const uint32_t* __restrict in, uint8_t* __restrict v) {
  const RenderSettings& s = *p.settings;
  const int32_t w = c1 - c0;
  in += c0;
  switch (s.targetType) {
    case TargetType::None:
      std::memset(v, 255, static_cast<size_t>(w));
      break;
    case TargetType::Alpha:
      for (int32_t i = 0; i < w; ++i) v[i] = static_cast<uint8_t>(in[i]);
      break;
    case TargetType::Brightness:
    case TargetType::BrightnessAlpha: {
      const bool withAlpha = s.targetType == TargetType::BrightnessAlpha;
      const int32_t low = p.lumaLow, high = p.lumaHigh;
      const LuminanceWindow window = LuminanceWindow::of(low, high);
      auto valueIf = [&](uint32_t px, bool inside) SHIMMERLY_INLINE_LAMBDA {
        return inside ? (withAlpha ? static_cast<uint8_t>(px) : uint8_t{255}) : uint8_t{0};
      };
      auto keyOf = [](uint32_t px) SHIMMERLY_INLINE_LAMBDA {
        return luminanceKeyOf((px >> 8) & 0xFF, (px >> 16) & 0xFF, px >> 24);
      };
      int unsure = 0;
      for (int32_t i = 0; i < w; ++i) {
        const uint32_t px = in[i];
        const int32_t key = keyOf(px);
        unsure |= static_cast<int>(window.unsure(key));
        v[i] = valueIf(px, window.inside(key));
      }
      if (unsure) {
        // The row holds a pixel at one of the window's two unsure keys: those take the doubles.
        // They are few, so blocks of 16 are searched for them first, in vector lanes.
        constexpr int32_t kBlock = 16;
        for (int32_t b = 0; b < w; b += kBlock) {
          const int32_t e = std::min(w, b + kBlock);
          int some = 0;
          for (int32_t i = b; i < e; ++i) some |= static_cast<int>(window.unsure(keyOf(in[i])));
          if (!some) continue;
          for (int32_t i = b; i < e; ++i) {
            const uint32_t px = in[i];
            if (!window.unsure(keyOf(px))) continue;
            const int l = luminanceOf((px >> 8) & 0xFF, (px >> 16) & 0xFF, px >> 24);
            v[i] = valueIf(px, low <= l && l <= high);
          }
        }
      }
      break;
    }
    case TargetType::Circle:
    case TargetType::CircleAlpha:
    case TargetType::Square:
    case TargetType::SquareAlpha: {
      const bool circle = s.targetType <= TargetType::CircleAlpha;
      const bool full = s.targetType == TargetType::Circle || s.targetType == TargetType::Square;
      for (int32_t i = 0; i < w; ++i) {
        const int A = full ? 255 : static_cast<int>(in[i] & 0xFF);
        const int32_t column = c0 + i;
        v[i] = static_cast<uint8_t>(circle ? circleValue(s, column, r, p.aspect, p.lowQuality, A)
                                           : squareValue(s, column, r, p.aspect, p.lowQuality, A));
      }
      break;
    }
    default:
      std::memset(v, 0, static_cast<size_t>(w));
      break;
  }
}

// The first and last index in [0, n) whose value (after mask) is not zero, looked for a block
// of 16 at a time; first = n when there is none.
template <typename T>
SHIMMERLY_INLINE void nonZeroSpan(const T* v, uint32_t mask, int32_t n, int32_t& first,
                                  int32_t& last) {
  constexpr int32_t kBlock = 16;
  auto anyIn = [&](int32_t from) SHIMMERLY_INLINE_LAMBDA {
    uint32_t any = 0;
    for (int32_t k = 0; k < kBlock; ++k) any |= static_cast<uint32_t>(v[from + k]) & mask;
    return any != 0;
  };
  first = 0;
  while (first + kBlock <= n && !anyIn(first)) first += kBlock;
  while (first < n && (static_cast<uint32_t>(v[first]) & mask) == 0) ++first;
  if (first == n) return;
  last = n - 1;
  while (last + 1 - kBlock > first && !anyIn(last + 1 - kBlock)) last -= kBlock;
  while ((static_cast<uint32_t>(v[last]) & mask) == 0) --last;
}

SHIMMERLY_INLINE void extractRowsBody(const ExtractPlan& p, int32_t r0, int32_t r1, uint8_t* values,
                                      PixelBox& source, PixelBox& target) {
  const int32_t w = p.width;
  for (int32_t r = r0; r < r1; ++r) {
    const int64_t q = p.height - 1 - r;
    const uint32_t* __restrict in = p.source + r * p.stride;
    if (p.targetAlpha) values = p.targetAlpha + q * w;
    targetRow(p, r, 0, w, in, values);
    if (p.target) {
      uint32_t* __restrict trow = p.target + q * w;
      for (int32_t i = 0; i < w; ++i) trow[i] = static_cast<uint32_t>(values[i]) << 24;
    }
    if (p.glow) {
      uint32_t* __restrict grow = p.glow + q * w;
      if (p.layerColour) {
        for (int32_t i = 0; i < w; ++i)
          grow[i] = values[i] ? (in[i] >> 8) | (static_cast<uint32_t>(values[i]) << 24) : 0u;
      } else {
        const uint32_t colour = p.customWord;
        for (int32_t i = 0; i < w; ++i)
          grow[i] = values[i] ? colour | (static_cast<uint32_t>(values[i]) << 24) : 0u;
      }
    }
    // First and last columns with non-zero source alpha and non-zero target.
    int32_t first = 0, last = 0;
    nonZeroSpan(in, 0xFFu, w, first, last);
    if (first < w) includeRow(source, first, last, q);
    nonZeroSpan(values, 0xFFu, w, first, last);
    if (first < w) includeRow(target, first, last, q);
  }
}

// Each set's extraction: the same body, compiled for each set's vectors.
namespace generic {
void extractRows(const ExtractPlan& p, int32_t r0, int32_t r1, uint8_t* values, PixelBox& source,
                 PixelBox& target) {
  extractRowsBody(p, r0, r1, values, source, target);
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
void extractRows(const ExtractPlan& p, int32_t r0, int32_t r1, uint8_t* values, PixelBox& source,
                 PixelBox& target) {
  extractRowsBody(p, r0, r1, values, source, target);
}
#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
void extractRows(const ExtractPlan& p, int32_t r0, int32_t r1, uint8_t* values, PixelBox& source,
                 PixelBox& target) {
  extractRowsBody(p, r0, r1, values, source, target);
}
#include "core/isa_region_end.h"
#endif

using ExtractRows = void (*)(const ExtractPlan&, int32_t, int32_t, uint8_t*, PixelBox&, PixelBox&);
void extractRows(const ExtractPlan& p, int32_t r0, int32_t r1, uint8_t* values, PixelBox& source,
                 PixelBox& target) {
  isaForm<ExtractRows>(
      {SHIMMERLY_ISA_FORM(generic, extractRows), SHIMMERLY_ISA_FORM(avx2, extractRows),
       SHIMMERLY_ISA_FORM(avx512, extractRows)})(p, r0, r1, values, source, target);
}

// Each set's target values of part of a row, for the edge glows that recompute them.
namespace generic {
void targetValues(const ExtractPlan& p, int32_t r, int32_t c0, int32_t c1, uint8_t* v) {
  targetRow(p, r, c0, c1, p.source + r * p.stride, v);
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
void targetValues(const ExtractPlan& p, int32_t r, int32_t c0, int32_t c1, uint8_t* v) {
  targetRow(p, r, c0, c1, p.source + r * p.stride, v);
}
#include "core/isa_region_end.h"
#endif

void targetValues(const ExtractPlan& p, int32_t r, int32_t c0, int32_t c1, uint8_t* v) {
  using Form = void (*)(const ExtractPlan&, int32_t, int32_t, int32_t, uint8_t*);
  isaForm<Form>({SHIMMERLY_ISA_FORM(generic, targetValues),
                 SHIMMERLY_ISA_FORM(avx2, targetValues)})(p, r, c0, c1, v);
}

template <bool kInner, typename Keep>
SHIMMERLY_INLINE void edgeAlphaBody(const uint32_t* spread, const Keep* keep, int shift,
                                    uint32_t* out, int64_t x0, int64_t x1) {
  for (int64_t x = x0; x <= x1; ++x) {
    const uint32_t word = spread[x];
    const uint32_t alpha = edgeGlowAlpha<kInner>(word >> 24, (keep[x] >> shift) & 0xFFu);
    out[x] = (word & 0x00FFFFFFu) | (alpha << 24);
  }
}

// Each set's edge alphas; AVX-512 runs the AVX2 form.
template <typename Keep>
SHIMMERLY_INLINE void edgeAlphaForms(bool inner, const uint32_t* spread, const Keep* keep,
                                     int shift, uint32_t* out, int64_t x0, int64_t x1) {
  if (inner)
    edgeAlphaBody<true>(spread, keep, shift, out, x0, x1);
  else
    edgeAlphaBody<false>(spread, keep, shift, out, x0, x1);
}

namespace generic {
template <typename Keep>
void edgeAlpha(bool inner, const uint32_t* spread, const Keep* keep, int shift, uint32_t* out,
               int64_t x0, int64_t x1) {
  edgeAlphaForms(inner, spread, keep, shift, out, x0, x1);
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
template <typename Keep>
void edgeAlpha(bool inner, const uint32_t* spread, const Keep* keep, int shift, uint32_t* out,
               int64_t x0, int64_t x1) {
  edgeAlphaForms(inner, spread, keep, shift, out, x0, x1);
}
#include "core/isa_region_end.h"
#endif

template <typename Keep>
void edgeAlpha(bool inner, const uint32_t* spread, const Keep* keep, int shift, uint32_t* out,
               int64_t x0, int64_t x1) {
  using Form = void (*)(bool, const uint32_t*, const Keep*, int, uint32_t*, int64_t, int64_t);
  isaForm<Form>(
      {SHIMMERLY_ISA_FORM(generic, edgeAlpha<Keep>), SHIMMERLY_ISA_FORM(avx2, edgeAlpha<Keep>)})(
      inner, spread, keep, shift, out, x0, x1);
}

// The edge glow's alphas with the kept alphas as bytes.
void edgeAlphaRowFromBytes(bool inner, const uint32_t* spread, const uint8_t* keep, uint32_t* out,
                           int64_t x0, int64_t x1) {
  edgeAlpha(inner, spread, keep, 0, out, x0, x1);
}

// Glow pixels of raster rows [y0, y1) from the target values: the colour with the value as
// alpha, or zero where the value is zero.
void glowFromTargetValues(Raster& glow, const uint8_t* values, uint32_t colour, int64_t y0,
                          int64_t y1) {
  wordsOfAlpha(reinterpret_cast<uint32_t*>(glow.pixels()), values, colour, glow.width(), y0, y1);
}

enum class GlowSide { kInner, kOuter };

// What an edge glow keeps of the raster before its spread, and what the raster holds.
struct EdgeGlowInput {
  Raster* savedCopy = nullptr;  // a copy the raster's pixels are saved to, or null
  // The one colour of the raster's pixels, when the caller knows them all to share one.
  std::optional<uint32_t> uniformColour;
  // The raster's alphas as bytes (raster rows), kept by the caller; they are all the edge glow
  // needs of a saved copy, which is then neither made nor read.
  const uint8_t* savedAlpha = nullptr;
  // The raster itself is not written yet; it holds uniformColour wherever savedAlpha is not zero
  // and zero elsewhere.
  bool rasterFromSavedAlpha = false;
  // The raster's alphas are the target values of this extraction, which the edge glow then
  // recomputes from the source a row at a time instead of keeping a copy: no saved copy is made
  // or read.
  const ExtractPlan* targetFromSource = nullptr;
  // With targetFromSource: where the last step is left to the caller, or null to take it here.
  PendingEdgeGlow* pending = nullptr;
};

// The edge glow's alphas of raster row y, columns [x0, x1], with the kept alphas o recomputed
// from the source row: read straight from the source words for an alpha target, else made a
// stretch at a time on the stack.
void edgeAlphaRowFromSource(bool inner, const ExtractPlan& p, int64_t y, const uint32_t* spread,
                            uint32_t* out, int64_t x0, int64_t x1) {
  const int32_t r = static_cast<int32_t>(p.height - 1 - y);
  if (p.settings->targetType == TargetType::Alpha) {
    fastEdgeAlphaRow(inner, spread, p.source + r * p.stride, 0, out, x0, x1);
    return;
  }
  constexpr int64_t kStretch = 512;
  uint8_t values[kStretch];
  for (int64_t c = x0; c <= x1; c += kStretch) {
    const int64_t count = std::min(kStretch, x1 + 1 - c);
    targetValues(p, r, static_cast<int32_t>(c), static_cast<int32_t>(c + count), values);
    edgeAlphaRowFromBytes(inner, spread + c, values, out + c, 0, count - 1);
  }
}

int fastEdgeGlow(GlowSide side, Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
                 const EdgeGlowInput& input, const FastContext& context) {
  Raster* const savedCopy = input.savedCopy;
  const std::optional<uint32_t> uniformColour = input.uniformColour;
  const uint8_t* const savedAlpha = input.savedAlpha;
  const bool rasterFromSavedAlpha = input.rasterFromSavedAlpha;
  const ExtractPlan* const fromSource = input.targetFromSource;
  if (bounds.empty()) {
    // Nothing to spread: the raster is what the values describe.
    if (rasterFromSavedAlpha)
      glowFromTargetValues(raster, savedAlpha, *uniformColour, 0, raster.height());
    return 0;
  }
  const int32_t w = raster.width(), h = raster.height();
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  uint32_t* saved = savedCopy ? reinterpret_cast<uint32_t*>(savedCopy->pixels()) : nullptr;
  auto overRows = [&](const PixelBox& g, auto&& rowWork) {
    if (g.empty()) return;
    runRowBands(context.pool, g.y1 - g.y0 + 1, [&](int64_t begin, int64_t end, int) {
      for (int64_t y = g.y0 + begin; y < g.y0 + end; ++y) rowWork(static_cast<int32_t>(y));
    });
  };

  const PixelBox before = regionOf(bounds, w, h);
  if (!savedAlpha && !fromSource)
    overRows(before, [&](int32_t y) {
      uint32_t* row = pixels + static_cast<int64_t>(y) * w;
      const int32_t x0 = before.x0, x1 = before.x1;
      if (saved) {
        std::memcpy(saved + static_cast<int64_t>(y) * w + x0, row + x0,
                    static_cast<size_t>(x1 - x0 + 1) * 4);
      } else {
        for (int32_t x = x0; x <= x1; ++x) row[x] = (row[x] & 0xFFFFFF00u) | (row[x] >> 24);
      }
    });

  // The new alpha from the spread alpha s and the kept alpha o, with the spread's colours:
  // o from the source, the kept bytes, the saved copy's alpha, or (with none of them) the
  // spread word's own low byte, which the alpha-only spread carries through unchanged.
  const bool inner = side == GlowSide::kInner;
  const bool keeps = saved != nullptr || savedAlpha != nullptr || fromSource != nullptr;
  auto edgeRow = [&](int64_t y, const uint32_t* spread, uint32_t* out, int64_t x0, int64_t x1) {
    if (fromSource) {
      edgeAlphaRowFromSource(inner, *fromSource, y, spread, out, x0, x1);
    } else if (savedAlpha) {
      edgeAlphaRowFromBytes(inner, spread, savedAlpha + y * w, out, x0, x1);
    } else if (saved) {
      fastEdgeAlphaRow(inner, spread, saved + y * w, 24, out, x0, x1);
    } else {
      fastEdgeAlphaRow(inner, spread, spread, 0, out, x0, x1);
    }
  };
  // Done as the spread's result is copied back.
  const SpreadRowFinish finish = [&](int64_t y, int64_t x0, int64_t x1, const uint32_t* spread,
                                     uint32_t* out) { edgeRow(y, spread, out, x0, x1); };
  PendingEdgeGlow* const pending = fromSource ? input.pending : nullptr;
  const bool spread =
      rasterFromSavedAlpha
          ? fastSpreadOfAlpha(raster, savedAlpha, *uniformColour, spreadRadius(radius), bounds,
                              lowQuality, context, &finish)
          : fastSpread(raster, spreadRadius(radius), bounds, keeps ? kSpreadAll : kSpreadAlpha,
                       lowQuality, context, pending ? nullptr : &finish, uniformColour);
  if (spread) {
    if (pending) {
      *pending = PendingEdgeGlow{true, inner, regionOf(bounds, w, h), *fromSource};
    }
    return 0;
  }

  // No pass ran: the raster is as it was.
  const PixelBox grown = regionOf(bounds, w, h);
  overRows(grown, [&](int32_t y) {
    uint32_t* row = pixels + static_cast<int64_t>(y) * w;
    edgeRow(y, row, row, grown.x0, grown.x1);
  });
  return 0;
}

}  // namespace

void finishEdgeRow(const PendingEdgeGlow& edge, int64_t y, uint32_t* row) {
  if (!edge.pending || y < edge.region.y0 || y > edge.region.y1) return;
  ExtractPlan plan{};
  static_cast<TargetSource&>(plan) = edge.values;
  edgeAlphaRowFromSource(edge.inner, plan, y, row, row, edge.region.x0, edge.region.x1);
}

void fastEdgeAlphaRow(bool inner, const uint32_t* spread, const uint32_t* keep, int keepShift,
                      uint32_t* out, int64_t x0, int64_t x1) {
  edgeAlpha(inner, spread, keep, keepShift, out, x0, x1);
}

int fastInnerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
                  Raster* savedCopy, const FastContext& context,
                  std::optional<uint32_t> uniformColour) {
  return fastEdgeGlow(GlowSide::kInner, raster, radius, bounds, lowQuality,
                      {savedCopy, uniformColour}, context);
}

int fastOuterGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
                  Raster* savedCopy, const FastContext& context,
                  std::optional<uint32_t> uniformColour) {
  return fastEdgeGlow(GlowSide::kOuter, raster, radius, bounds, lowQuality,
                      {savedCopy, uniformColour}, context);
}

bool fastExtractionUsesTargetRaster(const RenderSettings& settings, bool glowRaster) {
  const int32_t processing = settings.targetProcessing;
  const bool edgeGlow =
      processing == TargetProcessing::InnerGlow || processing == TargetProcessing::OuterGlow;
  return !glowRaster || settings.showTarget || !(processing == TargetProcessing::None || edgeGlow);
}

int32_t fastExtractTarget(const ExtractionRequest& request, const FastContext& context,
                          const uint8_t** glowAlpha, PendingEdgeGlow* pendingEdge) {
  if (pendingEdge) pendingEdge->pending = false;
  // The request's fields under their own names, in the order ExtractionRequest declares them.
  const auto& [target, settings, source, rowGapPixels, width, height, pixelAspect, lowQuality,
               targetBounds, sourceBounds, checkInterrupt, glow, colorSource, customColor] =
      request;
  if (glowAlpha) *glowAlpha = nullptr;
  const bool sized = width > 0 && height > 0 && target.width() == width &&
                     target.height() == height && target.kind() == kPixelRgba &&
                     (glow == nullptr || (glow->width() == width && glow->height() == height &&
                                          glow->kind() == kPixelRgba));
  if (!sized) {
    // Odd sizes are addressed with clamped coordinates: the reference does that.
    return extractTarget(request);
  }

  ExtractPlan plan{};
  plan.settings = &settings;
  plan.source = reinterpret_cast<const uint32_t*>(source);
  plan.stride = width + rowGapPixels;
  plan.width = width;
  plan.height = height;
  plan.aspect = pixelAspect;
  plan.lowQuality = lowQuality;
  plan.layerColour = colorSource == ColorFrom::Layer;
  plan.customWord = customColor.red | (static_cast<uint32_t>(customColor.green) << 8) |
                    (static_cast<uint32_t>(customColor.blue) << 16);
  // dark ≤ l ≤ bright holds for one run of whole luminances, or for none.
  plan.lumaLow = 256;
  plan.lumaHigh = -1;
  for (int32_t l = 0; l < 256; ++l) {
    if (settings.darkCutoff <= l && l <= settings.brightCutoff) {
      plan.lumaLow = std::min(plan.lumaLow, l);
      plan.lumaHigh = l;
    }
  }
  // With a glow raster and no Show Target, the render never reads the target raster after the
  // extraction: the target values are then kept as bytes where a glow of the custom colour
  // needs them, and not at all otherwise. Other processing values still spread the target, as the
  // reference does, so they keep it.
  const int32_t processing = settings.targetProcessing;
  const bool edgeGlow =
      processing == TargetProcessing::InnerGlow || processing == TargetProcessing::OuterGlow;
  const bool targetRead = fastExtractionUsesTargetRaster(settings, glow != nullptr);
  plan.target = targetRead ? reinterpret_cast<uint32_t*>(target.pixels()) : nullptr;
  // A glow of the custom colour is then not written here either: the spread reads it from the
  // kept target values and writes the whole glow raster itself.
  // With the layer's colours, the glow raster holds the target values as its alphas, and an
  // edge glow recomputes them from the source where it needs them: no frame of bytes is kept.
  const bool glowFromValues = !targetRead && colorSource != ColorFrom::Layer;
  const bool edgeFromSource = !targetRead && edgeGlow && !glowFromValues;
  plan.targetAlpha = glowFromValues ? context.memory->array<uint8_t>(
                                          kSlotTargetAlpha, static_cast<size_t>(width) * height)
                                    : nullptr;
  plan.glow = glow && !glowFromValues ? reinterpret_cast<uint32_t*>(glow->pixels()) : nullptr;

  const int workers = context.pool ? context.pool->workerCount() : 1;
  std::vector<PixelBox> sourceBoxes(workers), targetBoxes(workers);
  std::vector<std::vector<uint8_t>> values(workers, std::vector<uint8_t>(width));
  int32_t code = 0;
  const int32_t done = runPolledRows(
      context.pool, height,
      // Structured bindings are named through the request here: clang 14 cannot capture them.
      [&](int32_t r) {
        return request.checkInterrupt && request.checkInterrupt(r, request.height, &code);
      },
      [&](int32_t r0, int32_t r1, int worker) {
        extractRows(plan, r0, r1, values[worker].data(), sourceBoxes[worker], targetBoxes[worker]);
      });
  for (int wkr = 0; wkr < workers; ++wkr) {
    includeInto(sourceBoxes[wkr], sourceBounds);
    includeInto(targetBoxes[wkr], targetBounds);
  }
  // A brightness target met at least one pixel: it gets at least a spread of 1.0.
  const int32_t type = settings.targetType;
  if ((type == TargetType::Brightness || type == TargetType::BrightnessAlpha) && done > 0 &&
      settings.glowSize == 0)
    settings.glowSize = 1.0;
  if (done < height) {
    // Stopped: the rows extracted so far still get their glow pixels.
    if (glowFromValues)
      glowFromTargetValues(*glow, plan.targetAlpha, plan.customWord, height - done, height);
    return code;
  }

  const double size = settings.glowSize;
  double pending = size;
  // The glow raster holds the custom colour wherever its alpha is not zero, and the target
  // raster holds no colour at all: the spreads may sum alpha alone.
  const std::optional<uint32_t> glowColour =
      plan.layerColour ? std::nullopt : std::optional<uint32_t>(plan.customWord);
  switch (settings.targetProcessing) {
    case TargetProcessing::None:
      if (glow != nullptr) {
        const uint8_t* plane =
            glowFromValues && glowAlpha
                ? fastSpreadAlphaPlane(plan.targetAlpha, width, height, plan.customWord,
                                       spreadRadius(size), targetBounds, lowQuality, false, context)
                : nullptr;
        if (plane) {
          *glowAlpha = plane;
        } else if (glowFromValues) {
          fastSpreadOfAlpha(*glow, plan.targetAlpha, plan.customWord, spreadRadius(size),
                            targetBounds, lowQuality, context);
        } else {
          fastSpread(*glow, spreadRadius(size), targetBounds, kSpreadAll, lowQuality, context,
                     nullptr, glowColour);
        }
        pending = 0;
      }
      break;
    case TargetProcessing::InnerGlow:
    case TargetProcessing::OuterGlow: {
      // The outer glow's alpha is not zero only where the spread's is, which then has the
      // custom colour; the inner glow's may be where the spread's is zero and has no colour.
      if (glowFromValues && glowAlpha && processing == TargetProcessing::OuterGlow &&
          !targetBounds.empty()) {
        *glowAlpha =
            fastSpreadAlphaPlane(plan.targetAlpha, width, height, plan.customWord,
                                 spreadRadius(size), targetBounds, lowQuality, true, context);
        if (*glowAlpha) {
          pending = 0;
          break;
        }
      }
      Raster& processed = glow != nullptr ? *glow : target;
      Raster* savedCopy = glow != nullptr && !settings.showTarget ? &target : nullptr;
      const std::optional<uint32_t> colour = glow != nullptr ? glowColour : 0u;
      // Without a target raster, the kept target values are all the edge glow reads of its
      // saved copy.
      fastEdgeGlow(settings.targetProcessing == TargetProcessing::InnerGlow ? GlowSide::kInner
                                                                            : GlowSide::kOuter,
                   processed, size, targetBounds, lowQuality,
                   {savedCopy, colour, plan.target ? nullptr : plan.targetAlpha, glowFromValues,
                    edgeFromSource ? &plan : nullptr, pendingEdge},
                   context);
      pending = 0;
      break;
    }
    default:
      break;
  }
  if (glow != nullptr && settings.showTarget &&
      (type == TargetType::Brightness || type == TargetType::BrightnessAlpha)) {
    settings.glowSize = 1.0;
    fastSpread(target, 1.0f, targetBounds, kSpreadAll, lowQuality, context, nullptr, 0u);
  }
  if (pending > 0)
    fastSpread(target, spreadRadius(pending), targetBounds, kSpreadAlpha, lowQuality, context);
  return 0;
}

}  // namespace shimmerly
