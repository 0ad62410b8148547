// The passes of the fast spread and its entry points (see fast_spread.h): one box pass planned
// and run in bands on the render's threads, and the three passes of a smooth spread, handing
// alpha bytes between passes where the glow has one colour.

// One box pass keeps, per row band, the vertical sums of
// every column over the inner box's rows; the outer box adds the row below and the row above.
// Each output row then takes prefix sums of those column sums, and a box sum is the difference
// of two prefixes, exactly the 32-bit modular integers the summed-area tables give. The doubles
// (Σ × R[n] + 0.001 for colour, Σ × R[area] for alpha, the blend by f) follow the same order.
// A pass writes back into the raster it reads, as the summed-area spread does, but straight away
// only the rows no other band still reads (the others wait in the band's side rows until every
// band is done), so bands need no ordering among themselves; a band reads the rows its own
// output has replaced from the copies it keeps of them. No buffer of the frame's size. A glow
// of one colour sums its alpha alone, and may be read from (and, between high-quality passes,
// handed on as) alpha bytes.
#include <algorithm>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

#include "core/frame_memory.h"
#include "core/render_threads.h"
#include "glow/edge_alpha.h"
#include "glow/fast_spread.h"
#include "glow/frame_slots.h"
#include "glow/spread.h"
#include "glow/spread_band.h"
#include "glow/spread_plan.h"

namespace shimmerly {

namespace {

using namespace spread_kernels;

// Where the last pass of a spread puts its result: back into the raster it reads, through
// finish when given.
struct Delivery {
  uint32_t* raster;
  const SpreadRowFinish* finish;
};

// Sets the elements of a plane of rows outside a region to zero.
template <typename T>
void clearOutside(T* plane, int64_t width, int64_t height, const PixelBox& inside,
                  RenderPool* pool) {
  runRowBands(pool, height, [&](int64_t begin, int64_t end, int) {
    for (int64_t y = begin; y < end; ++y) {
      T* row = plane + y * width;
      if (inside.empty() || y < inside.y0 || y > inside.y1) {
        std::memset(row, 0, static_cast<size_t>(width) * sizeof(T));
      } else {
        std::memset(row, 0, static_cast<size_t>(inside.x0) * sizeof(T));
        std::memset(row + inside.x1 + 1, 0, static_cast<size_t>(width - 1 - inside.x1) * sizeof(T));
      }
    }
  });
}

// The spread a box pass belongs to: the frame's size, the pass's radius, the bounds it grows,
// the channels it writes, the render's threads and memory, and the colour every pixel of
// non-zero alpha has, if one (see boxPass).
struct PassFrame {
  int32_t width, height;
  float x;
  GlowBounds& bounds;
  uint32_t channels;
  const FastContext& context;
  std::optional<uint32_t>& uniform;
};

// What one box pass reads and writes (see boxPass); null where it has no such buffer.
struct PassIo {
  const uint32_t* src = nullptr;
  const Delivery* deliver = nullptr;
  const uint8_t* srcAlpha = nullptr;
  uint8_t* dstAlpha = nullptr;
  const uint8_t* outerKeep = nullptr;
  const CarriedSums* carryIn = nullptr;
  CarriedSums* carryOut = nullptr;
};

// One box pass of src over the region of the bounds after growth. uniform, when set, is the
// colour of every pixel of non-zero alpha in src; it is cleared when the pass's output no longer
// has one colour. With deliver (whose raster is src), the pass writes its result back into src
// itself, through deliver's finish when given. A one-colour pass may read its source as alpha
// bytes (srcAlpha) and write its result as alpha bytes (dstAlpha), those of the outer glow with
// outerKeep; src is then only read for the channels not named, and a pass between two byte
// planes may have no src at all. A pass
// from alpha bytes may take its bands' starting sums from carryIn, which the pass that wrote
// those bytes added up; a pass into alpha bytes adds up the next pass's in carryOut.
void boxPass(const PassFrame& frame, const PassIo& io) {
  const uint32_t* src = io.src;
  const int32_t width = frame.width, height = frame.height;
  float x = frame.x;
  GlowBounds& bounds = frame.bounds;
  const uint32_t channels = frame.channels;
  const FastContext& context = frame.context;
  std::optional<uint32_t>& uniform = frame.uniform;
  const Delivery* deliver = io.deliver;
  const uint8_t* srcAlpha = io.srcAlpha;
  uint8_t* dstAlpha = io.dstAlpha;
  const uint8_t* outerKeep = io.outerKeep;
  const CarriedSums* carryIn = io.carryIn;
  CarriedSums* carryOut = io.carryOut;
  if (carryOut) carryOut->ready = false;
  if (x > kMaxSpreadRadius) x = kMaxSpreadRadius;
  if (!growForPass(x, bounds)) return;
  const PixelBox g = regionOf(bounds, width, height);
  if (g.empty()) return;
  const double r = static_cast<double>(static_cast<int64_t>(x) / 2);  // B div 2

  PassPlan p{};
  p.width = width;
  p.height = height;
  p.rx0 = g.x0;
  p.rx1 = g.x1;
  p.ry0 = g.y0;
  p.ry1 = g.y1;
  // A reach beyond the raster clamps to the same corners as the raster's own size.
  p.rc = static_cast<int64_t>(std::min(r, static_cast<double>(width)));
  p.lc = p.rc + 1;
  p.rv = static_cast<int64_t>(std::min(r, static_cast<double>(height)));
  p.lv = p.rv + 1;
  p.f = outerWeight(x);
  p.wIn = 1.0 - p.f;
  p.named = namedMask(channels);
  p.colour = (channels & (kChannelRed | kChannelGreen | kChannelBlue)) != 0;
  // The largest box area of the region bounds every count and area the pass divides by.
  int64_t maxW = 0, maxH = 0;
  for (int64_t px = g.x0; px <= g.x1; ++px) {
    maxW =
        std::max(maxW, std::min(px + p.rc + 1, p.width - 1) - std::max<int64_t>(px - p.lc - 1, 0));
  }
  for (int64_t py = g.y0; py <= g.y1; ++py) {
    maxH =
        std::max(maxH, std::min(py + p.rv + 1, p.height - 1) - std::max<int64_t>(py - p.lv - 1, 0));
  }
  p.uniform = uniform.has_value() && (channels & 7u) == 7u && maxW * maxH < kUniformMaxArea;
  // Every box sum is at most 255 times its box's area (a count at most the area).
  p.wideSums = 255 * maxW * maxH >= (int64_t{1} << 31);
  const std::optional<uint32_t> weight24 = outerWeight24(p.f);
  p.singleAverages = p.colour && weight24 && maxW * maxH <= kSingleAverageMaxArea;
  p.weight24 = weight24.value_or(0);
  if (p.uniform) {
    p.cWord = *uniform & 0x00FFFFFFu;
    p.cbWord = blendedWord(p.cWord, p.wIn, p.f);
    if (p.cbWord != p.cWord) uniform.reset();
  } else {
    uniform.reset();
  }
  p.xs = std::max<int64_t>(g.x0 - p.lc - 1, 0);
  p.xe = std::min<int64_t>(g.x1 + p.rc + 1, width - 1);
  p.t0 = g.x0 - p.lc - 1;
  p.prefixCount = g.x1 + p.rc + 1 - p.t0 + 1;
  p.src = src;
  p.srcAlpha = srcAlpha;
  p.dstAlpha = dstAlpha;
  p.outerKeep = dstAlpha ? outerKeep : nullptr;

  FrameMemory& memory = *context.memory;
  p.recip = memory.reciprocals(static_cast<size_t>(maxW * maxH + 1));
  if (p.uniform || !p.colour) useEdgeTable(p, memory);

  // A raster row may be written back once no band reads it any more: a band reads rows from
  // lv below its first row (its starting sums) to rv + 1 above its last. So a band writes back
  // all its rows but the first rv + 1 (read by the band below) and the last lv (read by the
  // band above); those go to the band's side rows and are copied back once every band is done.
  const bool direct = deliver != nullptr;
  p.direct = direct ? deliver->raster : nullptr;
  p.finish = direct ? deliver->finish : nullptr;
  const int64_t rows = g.y1 - g.y0 + 1;
  const int workers = context.pool ? context.pool->workerCount() : 1;
  const int parts = bandCount(rows, workers);
  const size_t bytes = scratchBytes(p);
  std::vector<uint8_t*> scratch(parts);
  for (int w = 0; w < parts; ++w) {
    scratch[w] = static_cast<uint8_t*>(memory.block(kFirstWorkerSlot + w * kWorkerSlots, bytes));
  }
  // A pass whose source is alpha bytes with every channel named never reads the raster: all
  // its rows go straight back.
  const bool readsRaster = srcAlpha == nullptr || p.named != 0xFFFFFFFFu;
  const bool carryUsable = carryIn && carryIn->ready && srcAlpha && p.uniform;
  const std::vector<int64_t> starts = bandStarts(p, g.y0, rows, parts, carryUsable);
  const bool carried = carryUsable && carryIn->starts == starts;
  std::vector<std::vector<CarryTarget>> targets(static_cast<size_t>(parts));
  if (carryOut && dstAlpha && p.uniform && !p.outerKeep)
    planCarry(p, x, bounds, starts, workers, memory, *carryOut, targets);
  auto rowsOf = [&](int index) {
    BandRows b{starts[index], starts[index + 1], 0, 0};
    if (carried) {
      b.carried[0] = carryIn->sums + 2 * index * p.width;
      b.carried[1] = b.carried[0] + p.width;
    }
    b.carry = targets[index].data();
    b.carryCount = static_cast<int64_t>(targets[index].size());
    b.directBegin = index > 0 && readsRaster ? b.begin + p.rv + 1 : b.begin;
    b.directEnd = index < parts - 1 && readsRaster ? b.end - p.lv : b.end;
    if (b.directBegin > b.directEnd) b.directBegin = b.directEnd;
    return b;
  };
  std::vector<uint32_t*> side(static_cast<size_t>(parts), nullptr);
  if (direct) {
    for (int w = 0; w < parts; ++w) {
      const int64_t count = sideRowCount(rowsOf(w));
      side[w] = memory.array<uint32_t>(kFirstWorkerSlot + w * kWorkerSlots + 1,
                                       static_cast<size_t>(std::max<int64_t>(count, 1) * width));
    }
  }
  auto bandOf = [&](int index) {
    BandRows b = rowsOf(index);
    b.side = side[index];
    return b;
  };
  auto band = [&](int index, int) {
    const BandRows b = bandOf(index);
    if (b.begin < b.end) runBand(p, b, scratch[index]);
  };
  auto copyBack = [&](int index, int) {
    const BandRows b = bandOf(index);
    for (int64_t y = b.begin; y < b.end; ++y) {
      if (y == b.directBegin) y = b.directEnd;
      if (y >= b.end) break;
      const uint32_t* kept = b.side + sideIndex(b, y) * p.width;
      if (p.finish) {
        (*p.finish)(y, g.x0, g.x1, kept, p.direct + y * p.width);
      } else {
        std::memcpy(p.direct + y * p.width + g.x0, kept + g.x0,
                    static_cast<size_t>(g.x1 - g.x0 + 1) * 4);
      }
    }
  };
  if (context.pool && parts > 1) {
    context.pool->run(parts, band);
    if (direct) context.pool->run(parts, copyBack);
  } else {
    for (int i = 0; i < parts; ++i) band(i, 0);
    if (direct)
      for (int i = 0; i < parts; ++i) copyBack(i, 0);
  }
}

// The spreads, the first pass reading its source from sourceAlpha when given (with a uniform
// colour, all channels named), else from the raster.
bool boxSpreadFrom(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context, const SpreadRowFinish* finish,
                   std::optional<uint32_t> uniformColour, const uint8_t* sourceAlpha) {
  if (radius > kMaxSpreadRadius) radius = kMaxSpreadRadius;
  if (!(radius > 0.0f)) return false;
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  const Delivery deliver{pixels, finish};
  boxPass({raster.width(), raster.height(), radius, bounds, channels, context, uniformColour},
          {.src = pixels, .deliver = &deliver, .srcAlpha = sourceAlpha});
  return true;
}

bool smoothSpreadFrom(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                      const FastContext& context, const SpreadRowFinish* finish,
                      std::optional<uint32_t> uniformColour, const uint8_t* sourceAlpha) {
  if (radius > kMaxSpreadRadius) radius = kMaxSpreadRadius;
  const float x = radius * 0.6666667f;
  if (!(x > 0.0f)) return false;
  const int32_t width = raster.width(), height = raster.height();
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  GlowBounds first = bounds;
  growForPass(x, first);
  const Delivery deliver{pixels, finish};
  const double f = outerWeight(x);
  if (sourceAlpha &&
      blendedWord(*uniformColour & 0x00FFFFFFu, 1.0 - f, f) == (*uniformColour & 0x00FFFFFFu)) {
    // Every pass keeps one colour: the first two passes hand on their alphas alone, as bytes,
    // each plane zero outside the region its pass writes (what lies there is transparent), and
    // the last one writes the raster's words.
    GlowBounds second = first;
    growForPass(x, second);
    const size_t bytes = static_cast<size_t>(width) * height;
    uint8_t* once = context.memory->array<uint8_t>(kSlotSpreadAlphaA, bytes);
    uint8_t* twice = context.memory->array<uint8_t>(kSlotSpreadAlphaB, bytes);
    clearOutside(once, width, height, regionOf(first, width, height), context.pool);
    clearOutside(twice, width, height, regionOf(second, width, height), context.pool);
    CarriedSums intoSecond(kSlotCarriedSumsA), intoThird(kSlotCarriedSumsB);
    boxPass({width, height, x, bounds, channels, context, uniformColour},
            {.src = pixels, .srcAlpha = sourceAlpha, .dstAlpha = once, .carryOut = &intoSecond});
    boxPass({width, height, x, bounds, channels, context, uniformColour}, {.src = pixels,
                                                                           .srcAlpha = once,
                                                                           .dstAlpha = twice,
                                                                           .carryIn = &intoSecond,
                                                                           .carryOut = &intoThird});
    boxPass({width, height, x, bounds, channels, context, uniformColour},
            {.src = pixels, .deliver = &deliver, .srcAlpha = twice, .carryIn = &intoThird});
    return true;
  }
  // Each pass reads the raster as the one before left it and writes its result back into it,
  // as the summed-area spread does: no frame-sized buffer.
  const Delivery inPlace{pixels, nullptr};
  boxPass({width, height, x, bounds, channels, context, uniformColour},
          {.src = pixels, .deliver = &inPlace, .srcAlpha = sourceAlpha});
  boxPass({width, height, x, bounds, channels, context, uniformColour},
          {.src = pixels, .deliver = &inPlace});
  boxPass({width, height, x, bounds, channels, context, uniformColour},
          {.src = pixels, .deliver = &deliver});
  return true;
}

// Writes the pixels (colour, a) for a ≠ 0, else 0, from the alphas, on the render's threads.
void materialise(uint32_t* pixels, const uint8_t* alpha, uint32_t colour, int64_t width,
                 int64_t height, RenderPool* pool) {
  runRowBands(pool, height, [&](int64_t begin, int64_t end, int) {
    wordsOfAlpha(pixels, alpha, colour, width, begin, end);
  });
}

}  // namespace

void wordsOfAlpha(uint32_t* pixels, const uint8_t* alpha, uint32_t colour, int64_t width,
                  int64_t y0, int64_t y1) {
  for (int64_t y = y0; y < y1; ++y) {
    uint32_t* row = pixels + y * width;
    const uint8_t* a = alpha + y * width;
    for (int64_t x = 0; x < width; ++x)
      row[x] = a[x] ? colour | (static_cast<uint32_t>(a[x]) << 24) : 0u;
  }
}

bool fastBoxSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context, const SpreadRowFinish* finish,
                   std::optional<uint32_t> uniformColour) {
  return boxSpreadFrom(raster, radius, bounds, channels, context, finish, uniformColour, nullptr);
}

bool fastSmoothSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                      const FastContext& context, const SpreadRowFinish* finish,
                      std::optional<uint32_t> uniformColour) {
  return smoothSpreadFrom(raster, radius, bounds, channels, context, finish, uniformColour,
                          nullptr);
}

bool fastSpreadOfAlpha(Raster& raster, const uint8_t* alpha, uint32_t colour, float radius,
                       GlowBounds& bounds, bool lowQuality, const FastContext& context,
                       const SpreadRowFinish* finish) {
  const int64_t width = raster.width(), height = raster.height();
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  colour &= 0x00FFFFFFu;
  const float capped = std::min(radius, kMaxSpreadRadius);
  const float x = lowQuality ? capped : capped * 0.6666667f;
  if (!(x > 0.0f) || width <= 0 || height <= 0 ||
      boxAreaBound(x, width, height) >= kUniformMaxArea) {
    // No pass runs, or the sums of a box could wrap: the raster is written out whole and
    // spread from itself.
    materialise(pixels, alpha, colour, width, height, context.pool);
    return fastSpread(raster, radius, bounds, kSpreadAll, lowQuality, context, finish, colour);
  }
  // Outside the first pass's region the raster holds zeros (no alpha lies there), which is all
  // any later pass or the caller reads of it; inside, the passes write every pixel.
  GlowBounds first = bounds;
  growForPass(x, first);
  clearOutside(pixels, width, height,
               regionOf(first, static_cast<int32_t>(width), static_cast<int32_t>(height)),
               context.pool);
  const std::optional<uint32_t> uniform = colour;
  if (lowQuality)
    return boxSpreadFrom(raster, radius, bounds, kSpreadAll, context, finish, uniform, alpha);
  return smoothSpreadFrom(raster, radius, bounds, kSpreadAll, context, finish, uniform, alpha);
}

const uint8_t* fastSpreadAlphaPlane(const uint8_t* alpha, int32_t width, int32_t height,
                                    uint32_t colour, float radius, GlowBounds& bounds,
                                    bool lowQuality, bool outerGlow, const FastContext& context) {
  colour &= 0x00FFFFFFu;
  const float capped = std::min(radius, kMaxSpreadRadius);
  const float x = lowQuality ? capped : capped * 0.6666667f;
  // Every pass must keep the one colour: its sums cannot wrap, and its blend of inner and outer
  // averages is the colour again (the same x, so the same blend, in all three passes).
  if (!(x > 0.0f) || width <= 0 || height <= 0 || boxAreaBound(x, width, height) >= kUniformMaxArea)
    return nullptr;
  const double f = outerWeight(x);
  if (blendedWord(colour, 1.0 - f, f) != colour) return nullptr;

  const size_t bytes = static_cast<size_t>(width) * height;
  uint8_t* result = context.memory->array<uint8_t>(kSlotSpreadAlphaA, bytes);
  const uint8_t* keep = outerGlow ? alpha : nullptr;
  std::optional<uint32_t> uniform = colour;
  // Each plane is zero outside the region its pass writes. The last pass of three writes into
  // the first pass's plane again, over a region that holds the first's.
  GlowBounds grown = bounds;
  growForPass(x, grown);
  clearOutside(result, width, height, regionOf(grown, width, height), context.pool);
  if (lowQuality) {
    boxPass({width, height, x, bounds, kSpreadAll, context, uniform},
            {.srcAlpha = alpha, .dstAlpha = result, .outerKeep = keep});
    return result;
  }
  uint8_t* twice = context.memory->array<uint8_t>(kSlotSpreadAlphaB, bytes);
  growForPass(x, grown);
  clearOutside(twice, width, height, regionOf(grown, width, height), context.pool);
  CarriedSums intoSecond(kSlotCarriedSumsA), intoThird(kSlotCarriedSumsB);
  boxPass({width, height, x, bounds, kSpreadAll, context, uniform},
          {.srcAlpha = alpha, .dstAlpha = result, .carryOut = &intoSecond});
  boxPass({width, height, x, bounds, kSpreadAll, context, uniform},
          {.srcAlpha = result, .dstAlpha = twice, .carryIn = &intoSecond, .carryOut = &intoThird});
  boxPass({width, height, x, bounds, kSpreadAll, context, uniform},
          {.srcAlpha = twice, .dstAlpha = result, .outerKeep = keep, .carryIn = &intoThird});
  return result;
}

bool fastSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                bool lowQuality, const FastContext& context, const SpreadRowFinish* finish,
                std::optional<uint32_t> uniformColour) {
  if (lowQuality)
    return fastBoxSpread(raster, radius, bounds, channels, context, finish, uniformColour);
  return fastSmoothSpread(raster, radius, bounds, channels, context, finish, uniformColour);
}

}  // namespace shimmerly
