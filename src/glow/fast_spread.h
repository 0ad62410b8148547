// The glow spread computed fast: the same box passes, the same integers and the same doubles in
// the same order as the summed-area spread, but from running column sums and row prefixes kept
// per row band, over the bounded region only, vectorised and spread over the render's threads.
// Kind-1 rasters, row 0 at the bottom; bounds grow exactly as the summed-area spread grows them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "core/fast_context.h"
#include "core/raster.h"
#include "glow/glow_bounds.h"

namespace shimmerly {

// Work a caller would do on every row of the spread's region right after the spread: given
// raster row y, columns [x0, x1] of the spread words, it writes the same columns of the raster
// row. Called once per row, from any thread, rows in any order.
using SpreadRowFinish = std::function<void(int64_t y, int64_t x0, int64_t x1,
                                           const uint32_t* spread, uint32_t* raster)>;

// spread: one box pass of radius x in low quality, three passes of x × 0.6666667 otherwise.
// channels is the bit set red 1, green 2, blue 4, alpha 8. With finish, the result is written
// through it as it is copied back into the raster, saving a pass over the region; the answer
// says whether that happened (false: no pass ran, the raster is as it was and finish was not
// called). uniformColour, when the caller knows it, is the colour (red in the low byte) of
// every pixel whose alpha is not zero; the colours then follow from the alpha sums alone and
// the pass sums a fifth of the channels. Pixels of zero alpha may hold any colour.
bool fastSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                bool lowQuality, const FastContext& context,
                const SpreadRowFinish* finish = nullptr,
                std::optional<uint32_t> uniformColour = std::nullopt);
bool fastBoxSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context, const SpreadRowFinish* finish = nullptr,
                   std::optional<uint32_t> uniformColour = std::nullopt);
bool fastSmoothSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                      const FastContext& context, const SpreadRowFinish* finish = nullptr,
                      std::optional<uint32_t> uniformColour = std::nullopt);

// fastSpread of a raster that holds (colour, a) wherever the alpha a is not zero and zero
// elsewhere, given by its alphas alone (one byte per pixel, raster rows): the raster's own
// pixels are never read. It ends as fastSpread would leave it, all four channels spread, and
// is written everywhere, also when no pass runs (then with the unspread pixels).
bool fastSpreadOfAlpha(Raster& raster, const uint8_t* alpha, uint32_t colour, float radius,
                       GlowBounds& bounds, bool lowQuality, const FastContext& context,
                       const SpreadRowFinish* finish = nullptr);

// The same spread kept as alpha bytes throughout, for a caller that needs nothing more: every
// pixel of its result whose alpha is not zero has the colour, so the alphas describe it. From
// the alphas of a width × height raster (raster rows) as for fastSpreadOfAlpha, to a plane of
// the spread's alphas, zero outside the region the spread writes; with outerGlow, of the outer
// glow's alphas of the spread alpha and the alpha before the spread instead. Returns the plane
// (working memory, valid until the next spread), or null when the result would not keep one
// colour or no pass would run: the word spread then computes it, and nothing has changed, the
// bounds included.
const uint8_t* fastSpreadAlphaPlane(const uint8_t* alpha, int32_t width, int32_t height,
                                    uint32_t colour, float radius, GlowBounds& bounds,
                                    bool lowQuality, bool outerGlow, const FastContext& context);

// Rows [y0, y1) of a kind-1 raster `width` pixels wide from one-byte alphas (raster rows): the
// colour (red in the low byte) with the alpha where the alpha is not zero, else zero.
void wordsOfAlpha(uint32_t* pixels, const uint8_t* alpha, uint32_t colour, int64_t width,
                  int64_t y0, int64_t y1);

}  // namespace shimmerly
