// Fast composite and preview passes (see fast_composite.h). Softness and Trans/Boost depend on
// one byte each, so they become 256-entry tables made once per frame with the very arithmetic
// of the per-pixel rules, and, for the vector rows, multipliers that give the same bytes in
// whole numbers where such exist. Every blend mode runs as a branch-free loop over a row that
// the compiler vectorises (modes other than Normal only where the shaping has such a form). The
// file is compiled without floating-point traps, so that the compiler may compute both sides of a
// choice (values are the same either way). The glow comes as kind-1 words or, for a glow of one
// colour, as its alphas. Host pixel words hold alpha in the low byte; kind-1 words hold red in the
// low byte and alpha in the high one.
#include "composite/fast_composite.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "composite/blend.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "glow/edge_alpha.h"

#if SHIMMERLY_ISA_BUILT(avx2)
#include <immintrin.h>
#endif

namespace shimmerly {

namespace {

constexpr double k1 = 1.0 / 255.0;  // the double nearest to 1/255
constexpr double k2 = 2.0 / 255.0;  // the double nearest to 2/255

// Per-frame tables: the glow alpha after Softness and Trans/Boost, and each colour byte after
// the boost.
struct GlowTables {
  int32_t alpha[256];
  int32_t colour[256];
};

GlowTables makeTables(const CompositeControls& c) {
  GlowTables t;
  const double s = c.softness;
  const double r = s == 0 ? 1.0 : 1.0 / s;
  const double limit = 255 * s;
  const double b = c.boost;
  // As the per-pixel rules: zero alpha stays zero, a softness below 0 acts as 0, a boost at or
  // below -100 % removes the glow and a lift past 255 is 255, so that host values beyond the
  // controls' ranges neither convert a real out of range nor index the tables out of range.
  for (int a = 0; a < 256; ++a) {
    int A = a;
    if (s < 1 && A != 0) {
      if (s <= 0 || A > limit)
        A = 255;
      else
        A = std::min(255, static_cast<int>(A * r));
    }
    if (b < 1) A = b > 0 ? static_cast<int>(A * b) : 0;
    t.alpha[a] = A;
  }
  const int k = b > 1 ? static_cast<int>(std::min((b - 1) * 255, 255.0)) : 0;
  for (int v = 0; v < 256; ++v) t.colour[v] = b > 1 ? std::min(255, v + k) : v;
  return t;
}

SHIMMERLY_INLINE int32_t clampedTrunc(double v) {
  return std::min(255, static_cast<int32_t>(v));
}

// Softness and Trans/Boost of a frame in the form the row loop applies them.
struct Shaping {
  bool soften;        // s < 1
  double limit;       // L = 255 × s
  double reciprocal;  // r = 1 / s, or 1 when s = 0
  bool fade;          // b < 1
  double boost;       // b
  int32_t lift;       // trunc((b − 1) × 255) when b > 1, else 0
  // The two products in whole numbers when they have that form: for every byte A,
  // min(255, trunc(A × r)) = min(255, (A × softenBy) >> 16) and trunc(A × b) = (A × fadeBy) >> 16.
  bool integral;
  uint32_t softenBy, fadeBy;
  // Screen frames: the table of its channels over a transparent layer (screenOverClearTable),
  // fetched before the rows run.
  const uint8_t* screenTable = nullptr;
};

// A multiplier m with (A × m) >> 16 = trunc(A × x) for every byte A, where both stay below
// `cap` (at or past it, both only need to reach it), with 255 × m within 32 bits; none when no
// such m exists. Each A bounds m from below and, below the cap, from above.
std::optional<uint32_t> multiplierOf(double x, int64_t cap) {
  int64_t lo = 0, hi = UINT32_MAX / 255;
  for (int64_t A = 1; A < 256; ++A) {
    const int64_t t = std::min(cap, static_cast<int64_t>(static_cast<int32_t>(A * x)));
    lo = std::max(lo, (t * 65536 + A - 1) / A);
    if (t < cap) hi = std::min(hi, ((t + 1) * 65536 - 1) / A);
  }
  if (lo > hi) return std::nullopt;
  for (int64_t A = 0; A < 256; ++A) {
    const int64_t t = std::min(cap, static_cast<int64_t>(static_cast<int32_t>(A * x)));
    if (std::min(cap, (A * lo) >> 16) != t) return std::nullopt;
  }
  return static_cast<uint32_t>(lo);
}

// Every lane computes every candidate, so each must stay convertible whatever the host wrote
// into the sliders: a softness below 0 acts as 0; the reciprocal is capped at 256, where it no
// longer matters (once s < 1/256 only A = 0 lies within L); the limit and the boost are only
// used while softening and fading, where they are finite and b is kept at 0 or above (a boost
// at or below -100 % removes the glow); and the lift stops at 255.
Shaping shapingOf(double s, double b) {
  if (s < 0) s = 0;
  const bool soften = s < 1, fade = b < 1;
  Shaping shaping{soften,
                  soften ? 255 * s : 255.0,
                  s > 0 ? std::min(1.0 / s, 256.0) : 1.0,
                  fade,
                  fade ? std::max(b, 0.0) : 1.0,
                  b > 1 ? static_cast<int32_t>(std::min((b - 1) * 255, 255.0)) : 0,
                  false,
                  0,
                  0};
  const std::optional<uint32_t> softenBy = multiplierOf(shaping.reciprocal, 255);
  const std::optional<uint32_t> fadeBy = multiplierOf(shaping.boost, INT32_MAX);
  if (softenBy && fadeBy) {
    shaping.integral = true;
    shaping.softenBy = *softenBy;
    shaping.fadeBy = *fadeBy;
  }
  return shaping;
}

// The glow as the row loops read it: kind-1 words, or a one-colour glow given by its alphas
// alone. The blends read the second as the colour with the alpha at every pixel, which is
// right because a pixel of zero glow alpha leaves the host pixel as it was: its colour is never
// seen. The glow alone shows every pixel's colour; there a pixel of zero alpha is taken as zero.
struct GlowWords {
  const uint32_t* __restrict words;
  SHIMMERLY_INLINE uint32_t operator[](int64_t i) const { return words[i]; }
  SHIMMERLY_INLINE uint32_t alphaAt(int64_t i) const { return words[i] >> 24; }
  SHIMMERLY_INLINE uint32_t shown(int64_t i) const { return words[i]; }
  SHIMMERLY_INLINE GlowWords from(int64_t i) const { return {words + i}; }
};
struct GlowAlphas {
  const uint8_t* __restrict alpha;
  uint32_t colour;
  SHIMMERLY_INLINE uint32_t operator[](int64_t i) const {
    return colour | (static_cast<uint32_t>(alpha[i]) << 24);
  }
  SHIMMERLY_INLINE uint32_t alphaAt(int64_t i) const { return alpha[i]; }
  SHIMMERLY_INLINE uint32_t shown(int64_t i) const { return alpha[i] ? (*this)[i] : 0u; }
  SHIMMERLY_INLINE GlowAlphas from(int64_t i) const { return {alpha + i, colour}; }
};

// Glow words whose alphas are still the spread alphas of an inner or outer glow whose target
// values are the layer's own alphas: each word's alpha becomes the edge glow's alpha of its
// spread alpha and the layer pixel's alpha as the row reads it (see EdgeFromLayer).
template <bool kInner>
struct EdgeGlowWords {
  const uint32_t* __restrict words;
  const uint32_t* __restrict layer;  // host words of the same row, alpha in the low byte
  SHIMMERLY_INLINE uint32_t alphaAt(int64_t i) const {
    return edgeGlowAlpha<kInner>(words[i] >> 24, layer[i] & 0xFFu);
  }
  SHIMMERLY_INLINE uint32_t operator[](int64_t i) const {
    return (words[i] & 0x00FFFFFFu) | (alphaAt(i) << 24);
  }
  SHIMMERLY_INLINE EdgeGlowWords from(int64_t i) const { return {words + i, layer + i}; }
};
template <typename Glow>
inline constexpr bool kEdgeGlowWords = false;
template <bool kInner>
inline constexpr bool kEdgeGlowWords<EdgeGlowWords<kInner>> = true;

// A frame's shaping as the row loops apply it to a glow alpha g0 in every lane: masks rather
// than conditions, every candidate computed.
template <bool kIntegral>
struct ShapeLanes {
  int32_t softenMask, fadeMask, limitBelow;
  double reciprocal, boost;
  uint32_t softenBy, fadeBy;

  explicit ShapeLanes(const Shaping& shaping)
      : softenMask(-static_cast<int32_t>(shaping.soften)),
        fadeMask(-static_cast<int32_t>(shaping.fade)),
        limitBelow(limitBelowOf(shaping.limit)),
        reciprocal(shaping.reciprocal),
        boost(shaping.boost),
        softenBy(shaping.softenBy),
        fadeBy(shaping.fadeBy) {}

  // For a whole number g0, g0 > L exactly when g0 > floor(L); an integer compare keeps the
  // loop free of floating-point compares, which the compiler will not turn into masks.
  static int32_t limitBelowOf(double limit) {
    const double floorLimit = std::floor(limit);
    return floorLimit < -1 ? -1 : (floorLimit > 255 ? 255 : static_cast<int32_t>(floorLimit));
  }

  SHIMMERLY_INLINE int32_t operator()(int32_t g0) const {
    const int32_t over = -static_cast<int32_t>(g0 > limitBelow);
    const int32_t scaled =
        kIntegral
            ? std::min(255, static_cast<int32_t>((static_cast<uint32_t>(g0) * softenBy) >> 16))
            : std::min(255, static_cast<int32_t>(g0 * reciprocal));
    const int32_t softened = (scaled | over) & 0xFF;  // 255 where over
    const int32_t shaped = g0 ^ ((g0 ^ softened) & softenMask);
    const int32_t faded = kIntegral
                              ? static_cast<int32_t>((static_cast<uint32_t>(shaped) * fadeBy) >> 16)
                              : static_cast<int32_t>(shaped * boost);
    return shaped ^ ((shaped ^ faded) & fadeMask);
  }
};

// Normal blend of glow words onto host words for n pixels, after Softness and Trans/Boost. The
// same operations in the same order as the per-pixel rules and the Normal mode (the softness
// rule "s = 0 and A > 0 gives 255" is the rule "A > L gives 255" with L = 0). Every candidate
// is computed in every lane and chosen by masks, so that the loop vectorises.
//
// kBlend false: the caller saw no pixel with both a host alpha and a glow alpha, so no pixel
// takes the blend (a zero glow alpha shapes to zero and keeps the input). kDivide false: every
// host alpha is 0 or 255; a = 255 blends to alpha 255, which is never divided by, and a = 0
// takes the glow alone.
template <bool kBlend, bool kDivide, bool kIntegral, typename Glow>
SHIMMERLY_INLINE void normalRowBody(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                    const Shaping& shaping, bool blendTransparentGlow) {
  [[maybe_unused]] const double* __restrict reciprocals = alphaReciprocals();
  const uint32_t transparentGlowBlends = 0u - static_cast<uint32_t>(blendTransparentGlow);
  const ShapeLanes<kIntegral> shape(shaping);
  const int32_t lift = shaping.lift;
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t p = in[i], g = glow[i];
    const int32_t a = static_cast<int32_t>(p & 0xFF);
    const int32_t b = shape(static_cast<int32_t>(g >> 24));
    const int32_t gr = std::min(255, static_cast<int32_t>(g & 0xFF) + lift);
    const int32_t gg = std::min(255, static_cast<int32_t>((g >> 8) & 0xFF) + lift);
    const int32_t gb = std::min(255, static_cast<int32_t>((g >> 16) & 0xFF) + lift);
    uint32_t blended = 0;
    if constexpr (kBlend) {
      const int32_t pr = static_cast<int32_t>((p >> 8) & 0xFF),
                    pg = static_cast<int32_t>((p >> 16) & 0xFF), pb = static_cast<int32_t>(p >> 24);
      const double c = b * k1, e = a * k1;
      const double keep = 1.0 - c;
      const int32_t red = clampedTrunc(pr * e * keep + gr * c + 0.5);
      const int32_t green = clampedTrunc(pg * e * keep + gg * c + 0.5);
      const int32_t blue = clampedTrunc(pb * e * keep + gb * c + 0.5);
      const int32_t alpha = clampedTrunc(a * keep + b + 0.5);
      int32_t ur = red, ug = green, ub = blue;
      if constexpr (kDivide) {
        const double q = reciprocals[alpha] * 255.0;
        const int32_t divide =
            -static_cast<int32_t>(alpha != 0) & -static_cast<int32_t>(alpha != 255);
        const int32_t qr = clampedTrunc(red * q), qg = clampedTrunc(green * q),
                      qb = clampedTrunc(blue * q);
        ur = red ^ ((red ^ qr) & divide);
        ug = green ^ ((green ^ qg) & divide);
        ub = blue ^ ((blue ^ qb) & divide);
      }
      blended = static_cast<uint32_t>(alpha) | (static_cast<uint32_t>(ur) << 8) |
                (static_cast<uint32_t>(ug) << 16) | (static_cast<uint32_t>(ub) << 24);
    }
    const uint32_t glowOnly = static_cast<uint32_t>(b) | (static_cast<uint32_t>(gr) << 8) |
                              (static_cast<uint32_t>(gg) << 16) | (static_cast<uint32_t>(gb) << 24);
    // The composite pass leaves a pixel of zero glow alpha alone; the preview blends every
    // pixel, and the Normal mode puts the glow over a transparent pixel whatever its alpha.
    const uint32_t keepInput = (0u - static_cast<uint32_t>(b == 0)) &
                               (~transparentGlowBlends | (0u - static_cast<uint32_t>(a != 0)));
    const uint32_t takeGlow = 0u - static_cast<uint32_t>(a == 0);
    const uint32_t chosen = blended ^ ((blended ^ glowOnly) & takeGlow);
    out[i] = chosen ^ ((chosen ^ p) & keepInput);
  }
}

// Frames whose input holds at least this many bytes have their rows prefetched (prefetchAhead).
// Smaller ones are mostly still in the caches from the extraction, which read them moments
// before: at 1920 × 1080 the prefetches gained nothing and cost up to 2% of the frame.
constexpr int64_t kPrefetchFrom = int64_t{16} << 20;

// Asks for the input 2 KB and the output 1 KB ahead of a block of 32 pixels (two cache lines of
// each, one block's worth). On frames larger than the caches both come from memory, and the row
// loops otherwise wait for them block by block: at 3840 × 2160 this takes 10 to 15% off the
// composite. Past the end of a row they fetch the start of the next one, and past the end of the
// frame nothing: a prefetch never faults. The addresses are formed as integers, since a pointer
// may not point that far past its array.
SHIMMERLY_INLINE void prefetchAhead(const uint32_t* in, uint32_t* out) {
  constexpr uintptr_t kInputAhead = 2048, kOutputAhead = 1024;  // bytes
  const uintptr_t input = reinterpret_cast<uintptr_t>(in) + kInputAhead;
  const uintptr_t output = reinterpret_cast<uintptr_t>(out) + kOutputAhead;
  __builtin_prefetch(reinterpret_cast<const void*>(input), 0, 3);
  __builtin_prefetch(reinterpret_cast<const void*>(input + 64), 0, 3);
  __builtin_prefetch(reinterpret_cast<const void*>(output), 1, 3);
  __builtin_prefetch(reinterpret_cast<const void*>(output + 64), 1, 3);
}

// The row in blocks, each run by the cheapest body that computes it: most pixels of a frame
// lie where the glow or the layer is transparent, or where the layer is opaque.
template <bool kIntegral, typename Glow>
SHIMMERLY_INLINE void normalRowBlocks(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                      const Shaping& shaping, bool blendTransparentGlow,
                                      bool prefetch) {
  constexpr int64_t kBlock = 32;
  if constexpr (kEdgeGlowWords<Glow>) {
    // The block's finished words once, into the first-level cache, for the loops below.
    uint32_t words[kBlock];
    for (int64_t i0 = 0; i0 < n; i0 += kBlock) {
      const int64_t m = std::min(kBlock, n - i0);
      const Glow block = glow.from(i0);
      for (int64_t i = 0; i < m; ++i) words[i] = block[i];
      normalRowBlocks<kIntegral>(in + i0, GlowWords{words}, out + i0, m, shaping,
                                 blendTransparentGlow, prefetch);
    }
    return;
  }
  for (int64_t i0 = 0; i0 < n; i0 += kBlock) {
    const int64_t m = std::min(kBlock, n - i0);
    if (prefetch) prefetchAhead(in + i0, out + i0);
    // blends: some pixel has both alphas (the smaller is not zero); partial: some host alpha
    // lies strictly between 0 and 255 (a + 1 has a bit above bit 0 within the byte). Kept in
    // 32-bit lanes throughout, so the loop needs no conversion between byte and word masks.
    uint32_t blends = 0, partial = 0;
    for (int64_t i = 0; i < m; ++i) {
      const uint32_t a = in[i0 + i] & 0xFFu, g0 = glow.alphaAt(i0 + i);
      blends |= std::min(a, g0);
      partial |= (a + 1u) & 0xFEu;
    }
    const Glow block = glow.from(i0);
    if (blends == 0) {
      normalRowBody<false, false, kIntegral>(in + i0, block, out + i0, m, shaping,
                                             blendTransparentGlow);
    } else if (partial == 0) {
      normalRowBody<true, false, kIntegral>(in + i0, block, out + i0, m, shaping,
                                            blendTransparentGlow);
    } else {
      normalRowBody<true, true, kIntegral>(in + i0, block, out + i0, m, shaping,
                                           blendTransparentGlow);
    }
  }
}

// The row with its shaping in whole numbers where the frame's softness and boost allow.
template <typename Glow>
SHIMMERLY_INLINE void normalRowShaped(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                      const Shaping& shaping, bool blendTransparentGlow,
                                      bool prefetch) {
  if (shaping.integral) {
    normalRowBlocks<true>(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
  } else {
    normalRowBlocks<false>(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
  }
}

namespace generic {
template <typename Glow>
void normalRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
               bool blendTransparentGlow, bool prefetch) {
  normalRowShaped(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
template <typename Glow>
void normalRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
               bool blendTransparentGlow, bool prefetch) {
  normalRowShaped(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
}
#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
constexpr __mmask16 kSixteen = 0xFFFF;

// The lanes of the block of sixteen columns from column i of a row of n: all of them but in the
// row's last block, which has the first n − i.
SHIMMERLY_INLINE __mmask16 blockLanes(int64_t i, int64_t n) {
  return n - i >= 16 ? kSixteen : static_cast<__mmask16>((1u << (n - i)) - 1);
}

// Sixteen glow words from column i, those of the lanes in m (the others 0).
SHIMMERLY_INLINE __m512i glowWords16(GlowWords glow, int64_t i, __mmask16 m) {
  return _mm512_maskz_loadu_epi32(m, glow.words + i);
}
SHIMMERLY_INLINE __m512i glowWords16(GlowAlphas glow, int64_t i, __mmask16 m) {
  const __m512i alpha = _mm512_maskz_cvtepu8_epi32(
      kSixteen, _mm_maskz_loadu_epi8(static_cast<__mmask16>(m), glow.alpha + i));
  return _mm512_or_si512(_mm512_maskz_slli_epi32(kSixteen, alpha, 24),
                         _mm512_set1_epi32(static_cast<int32_t>(glow.colour)));
}

// ShapeLanes<true> of sixteen glow alphas.
SHIMMERLY_INLINE __m512i shaped16(__m512i g0, const ShapeLanes<true>& shape) {
  const __m512i byte = _mm512_set1_epi32(255);
  __m512i shaped = g0;
  if (shape.softenMask) {
    const __mmask16 over = _mm512_cmpgt_epi32_mask(g0, _mm512_set1_epi32(shape.limitBelow));
    const __m512i scaled = _mm512_maskz_min_epi32(
        kSixteen,
        _mm512_maskz_srli_epi32(
            kSixteen,
            _mm512_mullo_epi32(g0, _mm512_set1_epi32(static_cast<int32_t>(shape.softenBy))), 16),
        byte);
    shaped = _mm512_mask_mov_epi32(scaled, over, byte);
  }
  if (shape.fadeMask) {
    shaped = _mm512_maskz_srli_epi32(
        kSixteen, _mm512_mullo_epi32(shaped, _mm512_set1_epi32(static_cast<int32_t>(shape.fadeBy))),
        16);
  }
  return shaped;
}

// Sixteen words of an edge glow from column i: each spread alpha turned into the edge glow's
// alpha by the layer pixel's alpha, edgeGlowAlpha lane by lane (the lanes outside m read a
// spread alpha and a layer alpha of 0, which gives 0 for both glows).
template <bool kInner>
SHIMMERLY_INLINE __m512i glowWords16(EdgeGlowWords<kInner> glow, int64_t i, __mmask16 m) {
  const __m512i byte = _mm512_set1_epi32(255);
  const __m512i words = _mm512_maskz_loadu_epi32(m, glow.words + i);
  const __m512i o = _mm512_and_si512(_mm512_maskz_loadu_epi32(m, glow.layer + i), byte);
  const __m512i s = _mm512_maskz_srli_epi32(kSixteen, words, 24);
  const __m512i product = kInner ? _mm512_mullo_epi32(_mm512_sub_epi32(byte, s), o)
                                 : _mm512_mullo_epi32(_mm512_sub_epi32(byte, o), s);
  const __m512i u =
      _mm512_maskz_srli_epi32(kSixteen,
                              _mm512_add_epi32(_mm512_add_epi32(product, _mm512_set1_epi32(1)),
                                               _mm512_maskz_srli_epi32(kSixteen, product, 8)),
                              8);
  const __m512i stretched = _mm512_mask_mov_epi32(
      _mm512_maskz_srli_epi32(kSixteen, _mm512_mullo_epi32(u, _mm512_set1_epi32(4819)), 12),
      _mm512_cmpge_epu32_mask(u, _mm512_set1_epi32(217)), byte);
  const __mmask16 none = _mm512_cmpeq_epi32_mask(o, kInner ? _mm512_setzero_si512() : byte);
  const __m512i alpha = _mm512_maskz_mov_epi32(static_cast<__mmask16>(~none), stretched);
  return _mm512_or_si512(_mm512_and_si512(words, _mm512_set1_epi32(0x00FFFFFF)),
                         _mm512_maskz_slli_epi32(kSixteen, alpha, 24));
}

// normalRowBlocks with whole-number shaping, sixteen pixels at a time. A block where no pixel
// has both a host alpha and a glow alpha takes the input or the glow alone, chosen by masks;
// a block that blends goes to normalRowBlocks with its glow words.
template <typename Glow>
SHIMMERLY_INLINE void normalRow16(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                  const Shaping& shaping, bool blendTransparentGlow,
                                  bool prefetch) {
  const ShapeLanes<true> shape(shaping);
  const __m512i byte = _mm512_set1_epi32(255);
  // The lift in the three colour bytes: a saturating byte add is min(255, colour + lift).
  const __m512i lift =
      _mm512_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(shaping.lift) * 0x01010100u));
  const __mmask16 keepWhereSeen = blendTransparentGlow ? 0 : kSixteen;
  alignas(64) uint32_t words[16];
  for (int64_t i = 0; i < n; i += 16) {
    const __mmask16 m = blockLanes(i, n);
    if (prefetch && i % 32 == 0) prefetchAhead(in + i, out + i);
    const __m512i p = _mm512_maskz_loadu_epi32(m, in + i);
    const __m512i g = glowWords16(glow, i, m);
    const __m512i b = shaped16(_mm512_maskz_srli_epi32(kSixteen, g, 24), shape);
    const __mmask16 hostSeen = _mm512_test_epi32_mask(p, byte);
    const __mmask16 glowSeen = _mm512_test_epi32_mask(b, b);
    if ((hostSeen & glowSeen & m) != 0) {
      _mm512_store_si512(words, g);
      normalRowBlocks<true>(in + i, GlowWords{words}, out + i, std::min<int64_t>(16, n - i),
                            shaping, blendTransparentGlow, false);
      continue;
    }
    const __m512i glowOnly =
        _mm512_or_si512(_mm512_adds_epu8(_mm512_maskz_slli_epi32(kSixteen, g, 8), lift), b);
    // A zero glow alpha keeps the input, over a transparent host pixel too unless the
    // transparent glow blends there.
    const __mmask16 keep = static_cast<__mmask16>(~glowSeen & (hostSeen | keepWhereSeen));
    _mm512_mask_storeu_epi32(out + i, m, _mm512_mask_mov_epi32(glowOnly, keep, p));
  }
}

template <typename Glow>
void normalRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
               bool blendTransparentGlow, bool prefetch) {
  if (shaping.integral)
    return normalRow16(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
  normalRowShaped(in, glow, out, n, shaping, blendTransparentGlow, prefetch);
}
#include "core/isa_region_end.h"
#endif

template <typename Glow>
using NormalRow = void (*)(const uint32_t*, Glow, uint32_t*, int64_t, const Shaping&, bool, bool);

template <typename Glow>
NormalRow<Glow> normalRow() {
  // No NEON form: NEON is the ARM64 baseline, which the generic form is already compiled for.
  return isaForm<NormalRow<Glow>>({SHIMMERLY_ISA_FORM(generic, normalRow<Glow>),
                                   SHIMMERLY_ISA_FORM(avx2, normalRow<Glow>),
                                   SHIMMERLY_ISA_FORM(avx512, normalRow<Glow>)});
}

// A pixel's alpha and colours, one lane each, as the blend modes below compute them.
struct Lanes {
  int32_t a, r, g, b;
};

// yes where mask is all ones, no where it is zero.
SHIMMERLY_INLINE int32_t pick(int32_t mask, int32_t yes, int32_t no) {
  return no ^ ((yes ^ no) & mask);
}
SHIMMERLY_INLINE Lanes pick(int32_t mask, const Lanes& yes, const Lanes& no) {
  return {pick(mask, yes.a, no.a), pick(mask, yes.r, no.r), pick(mask, yes.g, no.g),
          pick(mask, yes.b, no.b)};
}
SHIMMERLY_INLINE int32_t maskOf(bool condition) {
  return -static_cast<int32_t>(condition);
}

// The blend modes in lanes: the operations of the per-pixel modes in the same order, every
// candidate computed and chosen by masks. A colour divided by its alpha uses 1 / alpha, the
// correctly rounded quotient the reciprocal table holds; lanes that do not divide divide by 1,
// so that no lane converts an infinite real.
SHIMMERLY_INLINE int32_t blendedAlphaLane(int32_t a, int32_t b, double c) {
  return clampedTrunc(a * (1.0 - c) + b + 0.5);
}

SHIMMERLY_INLINE Lanes unmultipliedLanes(const Lanes& p) {
  const int32_t divide = maskOf(p.a != 0) & maskOf(p.a != 255);
  const double q = 1.0 / std::max(p.a, 1) * 255.0;
  return {p.a, pick(divide, clampedTrunc(p.r * q), p.r), pick(divide, clampedTrunc(p.g * q), p.g),
          pick(divide, clampedTrunc(p.b * q), p.b)};
}

SHIMMERLY_INLINE Lanes screenLanes(const Lanes& p, const Lanes& g) {
  const double c = g.a * k1, e = p.a * k1;
  // Each factor lies within 0..255 up to rounding, so the truncation is the byte the mode
  // stores.
  auto screened = [&](int32_t px, int32_t gx) SHIMMERLY_INLINE_LAMBDA {
    return static_cast<int32_t>(255.0 - (255.0 - px * e) * (255.0 - gx * c) * k1);
  };
  return unmultipliedLanes(
      {blendedAlphaLane(p.a, g.a, c), screened(p.r, g.r), screened(p.g, g.g), screened(p.b, g.b)});
}

// Screen over an opaque layer pixel: e = 255 × k1 is exactly 1, and the alpha
// a × (1 − c) + b + 0.5 lies in [255, 256) for every glow alpha b, so the alpha is 255 and the
// colours are not divided.
SHIMMERLY_INLINE Lanes screenOverOpaqueLanes(const Lanes& p, const Lanes& g) {
  const double c = g.a * k1;
  auto screened = [&](int32_t px, int32_t gx) SHIMMERLY_INLINE_LAMBDA {
    return static_cast<int32_t>(255.0 - (255.0 - px) * (255.0 - gx * c) * k1);
  };
  return {255, screened(p.r, g.r), screened(p.g, g.g), screened(p.b, g.b)};
}

SHIMMERLY_INLINE Lanes multiplyLanes(const Lanes& p, const Lanes& g) {
  const double c = g.a * k1, e = p.a * k1;
  auto multiplied = [&](int32_t px, int32_t gx) SHIMMERLY_INLINE_LAMBDA {
    const int32_t m = static_cast<int32_t>(px * ((1.0 - c) + gx * c * k1));
    return clampedTrunc(gx * c * (1.0 - e) + m * e + 0.5);
  };
  const Lanes blended = unmultipliedLanes({blendedAlphaLane(p.a, g.a, c), multiplied(p.r, g.r),
                                           multiplied(p.g, g.g), multiplied(p.b, g.b)});
  return pick(maskOf(p.a == 0), g, blended);
}

SHIMMERLY_INLINE Lanes overlayLanes(const Lanes& p, const Lanes& g) {
  const double c = g.a * k1, e = p.a * k1;
  auto overlaid = [&](int32_t px, int32_t gx) SHIMMERLY_INLINE_LAMBDA {
    const double o = px > 128 ? 255.0 - (255 - gx) * (255 - px) * k2 : px * gx * k2;
    return clampedTrunc(px * e * (1.0 - c) + o * c + 0.5);
  };
  const int32_t alpha = blendedAlphaLane(p.a, g.a, c);
  const Lanes once =
      unmultipliedLanes({alpha, overlaid(p.r, g.r), overlaid(p.g, g.g), overlaid(p.b, g.b)});
  auto over = [&](int32_t px, int32_t gx) SHIMMERLY_INLINE_LAMBDA {
    return clampedTrunc(gx * c * (1.0 - e) + px * e + 0.5);
  };
  const Lanes twice =
      unmultipliedLanes({alpha, over(once.r, g.r), over(once.g, g.g), over(once.b, g.b)});
  return pick(maskOf(p.a == 0), g, twice);
}

// A glow alpha of zero would keep the layer pixel here; the rows keep it for every mode.
SHIMMERLY_INLINE Lanes addLanes(const Lanes& p, const Lanes& g) {
  const double c = g.a * k1, e = p.a * k1;
  const int32_t alpha = blendedAlphaLane(p.a, g.a, c);
  const double q = 1.0 / std::max(alpha, 1) * 255.0;
  auto added = [&](int32_t px, int32_t gx)
                   SHIMMERLY_INLINE_LAMBDA { return clampedTrunc((px * e + gx * c) * q); };
  const Lanes sum{alpha, added(p.r, g.r), added(p.g, g.g), added(p.b, g.b)};
  return pick(maskOf(p.a == 0), g, sum);
}

// Modes 2 to 8 (Screen, Multiply, Overlay, Add and the three Magic Glues, which chain them).
template <int kMode>
SHIMMERLY_INLINE Lanes blendLanes(const Lanes& p, const Lanes& g) {
  if constexpr (kMode == 2) return screenLanes(p, g);
  if constexpr (kMode == 3) return multiplyLanes(p, g);
  if constexpr (kMode == 4) return overlayLanes(p, g);
  if constexpr (kMode == 5) return addLanes(p, g);
  if constexpr (kMode == 6) return multiplyLanes(screenLanes(p, g), g);
  if constexpr (kMode == 7) return multiplyLanes(overlayLanes(screenLanes(p, g), g), g);
  if constexpr (kMode == 8) return screenLanes(multiplyLanes(p, g), g);
}

// One of those modes for n pixels, after Softness and Trans/Boost; a pixel whose glow alpha
// shapes to zero keeps the input. kOpaque: Screen, every layer pixel opaque.
template <int kMode, typename Glow, bool kOpaque = false>
SHIMMERLY_INLINE void modeRowBody(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                  const Shaping& shaping) {
  const ShapeLanes<true> shape(shaping);
  const int32_t lift = shaping.lift;
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t p = in[i], g = glow[i];
    const int32_t b = shape(static_cast<int32_t>(g >> 24));
    const Lanes host{static_cast<int32_t>(p & 0xFF), static_cast<int32_t>((p >> 8) & 0xFF),
                     static_cast<int32_t>((p >> 16) & 0xFF), static_cast<int32_t>(p >> 24)};
    const Lanes shaped{b, std::min(255, static_cast<int32_t>(g & 0xFF) + lift),
                       std::min(255, static_cast<int32_t>((g >> 8) & 0xFF) + lift),
                       std::min(255, static_cast<int32_t>((g >> 16) & 0xFF) + lift)};
    const Lanes r = kOpaque ? screenOverOpaqueLanes(host, shaped) : blendLanes<kMode>(host, shaped);
    const uint32_t blended = static_cast<uint32_t>(r.a) | (static_cast<uint32_t>(r.r) << 8) |
                             (static_cast<uint32_t>(r.g) << 16) |
                             (static_cast<uint32_t>(r.b) << 24);
    const uint32_t keepInput = 0u - static_cast<uint32_t>(b == 0);
    out[i] = blended ^ ((blended ^ p) & keepInput);
  }
}

// Screen over a transparent layer pixel: the layer's colour is multiplied by its alpha 0, so each
// channel follows from the glow's channel and alpha alone, and the pixel's alpha is the glow's
// (a × (1 − c) + b + 0.5 with a = 0). Byte b × 256 + g holds that channel for glow alpha b and
// glow channel g, made once by the Screen lanes themselves. Bytes keep the table at 64 KB, near
// the first-level cache; three bytes of padding let vector rows fetch each entry as the low
// byte of a 32-bit word.
const uint8_t* screenOverClearTable() {
  static const std::array<uint8_t, 65536 + 3> table = [] {
    std::array<uint8_t, 65536 + 3> t{};
    for (int32_t b = 0; b < 256; ++b)
      for (int32_t g = 0; g < 256; ++g)
        t[static_cast<size_t>(b * 256 + g)] =
            static_cast<uint8_t>(screenLanes({0, 0, 0, 0}, {b, g, g, g}).r);
    return t;
  }();
  return table.data();
}

// Screen of n pixels over a layer transparent throughout, from that table: after Softness and
// Trans/Boost as modeRowBody, a glow alpha shaped to zero keeping the input.
template <typename Glow>
SHIMMERLY_INLINE void screenOverClearBody(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                          const Shaping& shaping, const uint8_t* __restrict table) {
  const ShapeLanes<true> shape(shaping);
  const int32_t lift = shaping.lift;
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t p = in[i], g = glow[i];
    const int32_t b = shape(static_cast<int32_t>(g >> 24));
    auto screened = [&](int shift) SHIMMERLY_INLINE_LAMBDA {
      return static_cast<uint32_t>(
          table[b * 256 + std::min(255, static_cast<int32_t>((g >> shift) & 0xFF) + lift)]);
    };
    const uint32_t blended =
        static_cast<uint32_t>(b) | (screened(0) << 8) | (screened(8) << 16) | (screened(16) << 24);
    out[i] = b == 0 ? p : blended;
  }
}

// The row in blocks: a block where no glow pixel is seen keeps its input, and where the layer
// is transparent throughout, the modes that take the glow over a transparent pixel (Multiply,
// Overlay, Add) give what the Normal row gives there: the glow, or the input where its alpha
// shapes to zero; Screen reads its table there.
// (The AVX-512 Screen row sorts its blocks in vector lanes instead: screenRowBlocks16.)
template <int kMode, typename Glow>
SHIMMERLY_INLINE void modeRowBlocks(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                    const Shaping& shaping, bool prefetch) {
  constexpr bool kTakesGlow = kMode == 3 || kMode == 4 || kMode == 5;
  // Screen has a cheaper body over transparent and over opaque layer pixels alike, so it looks
  // at blocks of 16: fewer of them hold both, along the edges of opaque shapes. The other modes
  // gain less from that than the tests cost them.
  constexpr int64_t kBlock = kMode == 2 ? 16 : 32;
  for (int64_t i0 = 0; i0 < n; i0 += kBlock) {
    const int64_t m = std::min(kBlock, n - i0);
    if (prefetch && i0 % 32 == 0) prefetchAhead(in + i0, out + i0);
    uint32_t seen = 0, layer = 0, opaque = 0xFFu;
    for (int64_t i = 0; i < m; ++i) {
      seen |= glow.alphaAt(i0 + i);
      layer |= in[i0 + i] & 0xFFu;
      opaque &= in[i0 + i];
    }
    if (seen == 0) {
      for (int64_t i = 0; i < m; ++i) out[i0 + i] = in[i0 + i];
    } else if (kTakesGlow && layer == 0) {
      normalRowBody<false, false, true>(in + i0, glow.from(i0), out + i0, m, shaping, false);
    } else if (kMode == 2 && layer == 0) {
      screenOverClearBody(in + i0, glow.from(i0), out + i0, m, shaping, shaping.screenTable);
    } else if (kMode == 2 && (opaque & 0xFFu) == 0xFFu) {
      modeRowBody<kMode, Glow, true>(in + i0, glow.from(i0), out + i0, m, shaping);
    } else {
      modeRowBody<kMode>(in + i0, glow.from(i0), out + i0, m, shaping);
    }
  }
}

// The vector rows of modes 2 to 8 come with the shaping in whole numbers only: seven modes in
// both forms would make most of the plug-in's code. Frames whose shaping has no such form
// (about one slider value in a hundred) take the per-pixel modes.
namespace generic {
template <int kMode, typename Glow>
void modeRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
             bool prefetch) {
  modeRowBlocks<kMode>(in, glow, out, n, shaping, prefetch);
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
template <int kMode, typename Glow>
void modeRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
             bool prefetch) {
  modeRowBlocks<kMode>(in, glow, out, n, shaping, prefetch);
}
#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
// screenOverClearBody for a block of sixteen pixels already loaded (host words p, glow words g,
// the lanes in m), the table's entries gathered.
SHIMMERLY_INLINE void screenOverClear16(__m512i p, __m512i g, __mmask16 m, uint32_t* out,
                                        const ShapeLanes<true>& shape, __m512i lift,
                                        const uint8_t* table) {
  const __m512i byte = _mm512_set1_epi32(255);
  const __m512i b = shaped16(_mm512_maskz_srli_epi32(kSixteen, g, 24), shape);
  const __m512i row = _mm512_maskz_slli_epi32(kSixteen, b, 8);
  __m512i word = b;
  for (int k = 0; k < 3; ++k) {
    const __m512i channel = _mm512_maskz_min_epi32(
        kSixteen,
        _mm512_add_epi32(_mm512_and_si512(_mm512_maskz_srli_epi32(kSixteen, g, 8 * k), byte), lift),
        byte);
    const __m512i screened =
        _mm512_and_si512(_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), m,
                                                     _mm512_add_epi32(row, channel), table, 1),
                         byte);
    word = _mm512_or_si512(word, _mm512_maskz_slli_epi32(kSixteen, screened, 8 * (k + 1)));
  }
  const __mmask16 keep = _mm512_cmpeq_epi32_mask(b, _mm512_setzero_si512());
  _mm512_mask_storeu_epi32(out, m, _mm512_mask_mov_epi32(word, keep, p));
}

// modeRowBlocks for Screen, each block of 16 sorted by masks in the vector lanes rather than by
// sums over its pixels.
template <typename Glow>
SHIMMERLY_INLINE void screenRowBlocks16(const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                                        const Shaping& shaping, bool prefetch) {
  const __m512i byte = _mm512_set1_epi32(255);
  const ShapeLanes<true> shape(shaping);
  const __m512i lift = _mm512_set1_epi32(shaping.lift);
  for (int64_t i0 = 0; i0 < n; i0 += 16) {
    const int64_t m = std::min<int64_t>(16, n - i0);
    const __mmask16 lanes = blockLanes(i0, n);
    if (prefetch && i0 % 32 == 0) prefetchAhead(in + i0, out + i0);
    const __m512i p = _mm512_maskz_loadu_epi32(lanes, in + i0);
    const __m512i g = glowWords16(glow, i0, lanes);
    if (_mm512_test_epi32_mask(g, _mm512_set1_epi32(static_cast<int32_t>(0xFF000000u))) == 0) {
      _mm512_mask_storeu_epi32(out + i0, lanes, p);
    } else if (_mm512_test_epi32_mask(p, byte) == 0) {
      screenOverClear16(p, g, lanes, out + i0, shape, lift, shaping.screenTable);
    } else if (_mm512_mask_cmpeq_epi32_mask(lanes, _mm512_and_si512(p, byte), byte) == lanes) {
      modeRowBody<2, Glow, true>(in + i0, glow.from(i0), out + i0, m, shaping);
    } else {
      modeRowBody<2>(in + i0, glow.from(i0), out + i0, m, shaping);
    }
  }
}

template <int kMode, typename Glow>
void modeRow(const uint32_t* in, Glow glow, uint32_t* out, int64_t n, const Shaping& shaping,
             bool prefetch) {
  if constexpr (kMode == 2) {
    screenRowBlocks16(in, glow, out, n, shaping, prefetch);
  } else {
    modeRowBlocks<kMode>(in, glow, out, n, shaping, prefetch);
  }
}
#include "core/isa_region_end.h"
#endif

template <typename Glow>
using ModeRow = void (*)(const uint32_t*, Glow, uint32_t*, int64_t, const Shaping&, bool);

template <int kMode, typename Glow>
ModeRow<Glow> modeRowFor() {
  // No NEON form, as for normalRow.
  return isaForm<ModeRow<Glow>>({SHIMMERLY_ISA_FORM(generic, modeRow<kMode, Glow>),
                                 SHIMMERLY_ISA_FORM(avx2, modeRow<kMode, Glow>),
                                 SHIMMERLY_ISA_FORM(avx512, modeRow<kMode, Glow>)});
}

// The vector row of modes 2 to 8 for the frame's shaping; null for the others.
template <typename Glow>
ModeRow<Glow> modeRowOf(int32_t mode, const Shaping& shaping) {
  if (!shaping.integral) return nullptr;
  switch (mode) {
    case 2:
      return modeRowFor<2, Glow>();
    case 3:
      return modeRowFor<3, Glow>();
    case 4:
      return modeRowFor<4, Glow>();
    case 5:
      return modeRowFor<5, Glow>();
    case 6:
      return modeRowFor<6, Glow>();
    case 7:
      return modeRowFor<7, Glow>();
    case 8:
      return modeRowFor<8, Glow>();
    default:
      return nullptr;
  }
}

// Modes 2 to 8, one pixel at a time, after the tables.
template <typename Glow>
void pixelModeRow(int32_t mode, const uint32_t* in, Glow glow, uint32_t* out, int64_t n,
                  const GlowTables& t) {
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t g = glow[i];
    const int32_t A = t.alpha[g >> 24];
    uint32_t p = in[i];
    if (A != 0) {
      const RgbaPixel pixel{
          static_cast<uint8_t>(t.colour[g & 0xFF]), static_cast<uint8_t>(t.colour[(g >> 8) & 0xFF]),
          static_cast<uint8_t>(t.colour[(g >> 16) & 0xFF]), static_cast<uint8_t>(A)};
      PF_Pixel host;
      std::memcpy(&host, &p, 4);
      blendPixel(mode, pixel, host);
      std::memcpy(&p, &host, 4);
    }
    out[i] = p;
  }
}

// The glow alone: alpha from the table, colours after the boost.
template <typename Glow>
void effectRow(Glow glow, uint32_t* out, int64_t n, const GlowTables& t) {
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t g = glow.shown(i);
    out[i] = static_cast<uint32_t>(t.alpha[g >> 24]) |
             (static_cast<uint32_t>(t.colour[g & 0xFF]) << 8) |
             (static_cast<uint32_t>(t.colour[(g >> 8) & 0xFF]) << 16) |
             (static_cast<uint32_t>(t.colour[(g >> 16) & 0xFF]) << 24);
  }
}

int32_t runRows(const FrameView& frame, const InterruptCheck& interrupt, const FastContext& context,
                const std::function<void(int32_t, int32_t, int)>& work) {
  int32_t code = 0;
  const int32_t done = runPolledRows(
      context.pool, frame.height,
      [&](int32_t r) { return interrupt && interrupt(r, frame.height, &code); }, work);
  return done < frame.height ? code : 0;
}

const uint32_t* inputRow(const FrameView& f, int32_t r) {
  return reinterpret_cast<const uint32_t*>(f.input + r * f.inputStride);
}
uint32_t* outputRow(const FrameView& f, int32_t r) {
  return reinterpret_cast<uint32_t*>(f.output + r * f.outputStride);
}

// The composite pass over the glow that rowGlow(y) gives for raster row y.
template <typename RowGlow>
int32_t compositeRows(const FrameView& frame, RowGlow rowGlow, const GlowBounds& bounds,
                      const CompositeControls& controls, const InterruptCheck& interrupt,
                      const FastContext& context) {
  using Glow = decltype(rowGlow(int64_t{0}));
  // Glows whose rows finish as they are read come only to the Normal mode onto the layer.
  constexpr bool kNormalOnly = kEdgeGlowWords<Glow>;
  fillAlphaReciprocals();  // before any worker reads it
  const int32_t w = frame.width, h = frame.height;
  // Rows without columns are only polled: a host may hand such a world without pixels, and
  // even a zero-length copy or clear from a null row is undefined.
  if (w <= 0) return runRows(frame, interrupt, context, [](int32_t, int32_t, int) {});
  const GlowTables tables = makeTables(controls);
  Shaping shaping = shapingOf(controls.softness, controls.boost);
  if (controls.blendMode == 2) shaping.screenTable = screenOverClearTable();
  const NormalRow<Glow> normal = normalRow<Glow>();
  ModeRow<Glow> blendRow = nullptr;
  if constexpr (!kNormalOnly) blendRow = modeRowOf<Glow>(controls.blendMode, shaping);

  double x0 = bounds.x0, x1 = bounds.x1, y0 = bounds.y0, y1 = bounds.y1;
  if (x0 < 0) x0 = 0;
  if (x1 > w - 1) x1 = w - 1;
  if (y0 < 0) y0 = 0;
  if (y1 > h - 1) y1 = h - 1;
  const bool empty = x0 > x1 || y0 > y1;
  const int64_t bx0 = empty ? 0 : static_cast<int64_t>(x0);
  const int64_t bx1 = empty ? -1 : static_cast<int64_t>(std::ceil(x1));
  const int64_t by0 = empty ? 0 : static_cast<int64_t>(y0);
  const int64_t by1 = empty ? -1 : static_cast<int64_t>(std::ceil(y1));
  const size_t rowBytes = static_cast<size_t>(w) * 4;
  // Onto the layer, rows are left as they are without glow or with a mode that has no blend.
  const bool blends = !empty && controls.blendMode >= 1 && controls.blendMode <= 8;
  const bool prefetch = static_cast<int64_t>(h) * frame.inputStride * 4 >= kPrefetchFrom;

  return runRows(frame, interrupt, context, [&](int32_t r0, int32_t r1, int) {
    for (int32_t r = r0; r < r1; ++r) {
      const uint32_t* in = inputRow(frame, r);
      uint32_t* out = outputRow(frame, r);
      const int64_t y = h - 1 - r;
      const Glow g = rowGlow(y);
      if (controls.compositeOnOriginal) {
        if (!blends) {
          std::memmove(out, in, rowBytes);
        } else if (controls.blendMode == 1) {
          normal(in, g, out, w, shaping, false, prefetch);
        } else if (blendRow) {
          blendRow(in, g, out, w, shaping, prefetch);
        } else if constexpr (!kNormalOnly) {
          pixelModeRow(controls.blendMode, in, g, out, w, tables);
        }
      } else if (empty || y < by0 || y > by1) {
        std::memset(out, 0, rowBytes);
      } else if constexpr (!kNormalOnly) {
        std::memset(out, 0, static_cast<size_t>(bx0) * 4);
        effectRow(g.from(bx0), out + bx0, bx1 - bx0 + 1, tables);
        std::memset(out + bx1 + 1, 0, static_cast<size_t>(w - 1 - bx1) * 4);
      }
    }
  });
}

}  // namespace

int32_t fastCompositePass(const FrameView& frame, const Raster& glow, const GlowBounds& bounds,
                          const CompositeControls& controls, const InterruptCheck& interrupt,
                          const FastContext& context) {
  const auto rowGlow = [&glow](int64_t y) {
    return GlowWords{reinterpret_cast<const uint32_t*>(glow.rgbaRow(static_cast<int32_t>(y)))};
  };
  return compositeRows(frame, rowGlow, bounds, controls, interrupt, context);
}

int32_t fastCompositePass(const FrameView& frame, Raster& glow, const GlowBounds& bounds,
                          const CompositeControls& controls, const InterruptCheck& interrupt,
                          const FastContext& context, const GlowRowFinish& finish,
                          EdgeFromLayer edge) {
  if (edge != EdgeFromLayer::kNone && controls.compositeOnOriginal && controls.blendMode == 1) {
    const int32_t h = frame.height;
    auto edgeRows = [&](auto inner) {
      const auto rowGlow = [&glow, &frame, h](int64_t y) {
        return EdgeGlowWords<decltype(inner)::value>{
            reinterpret_cast<const uint32_t*>(glow.rgbaRow(static_cast<int32_t>(y))),
            inputRow(frame, static_cast<int32_t>(h - 1 - y))};
      };
      return compositeRows(frame, rowGlow, bounds, controls, interrupt, context);
    };
    return edge == EdgeFromLayer::kInner ? edgeRows(std::true_type{}) : edgeRows(std::false_type{});
  }
  const auto rowGlow = [&glow, &finish](int64_t y) {
    uint32_t* row = reinterpret_cast<uint32_t*>(glow.rgbaRow(static_cast<int32_t>(y)));
    finish(y, row);
    return GlowWords{row};
  };
  return compositeRows(frame, rowGlow, bounds, controls, interrupt, context);
}

int32_t fastCompositeOfAlphas(const FrameView& frame, const uint8_t* glowAlpha, uint32_t colour,
                              const GlowBounds& bounds, const CompositeControls& controls,
                              const InterruptCheck& interrupt, const FastContext& context) {
  const int64_t w = frame.width;
  colour &= 0x00FFFFFFu;
  const auto rowGlow = [glowAlpha, w, colour](int64_t y) {
    return GlowAlphas{glowAlpha + y * w, colour};
  };
  return compositeRows(frame, rowGlow, bounds, controls, interrupt, context);
}

int32_t fastPreviewPass(const FrameView& frame, const Raster& target, const PixelBox& extent,
                        bool compositeOnOriginal, const InterruptCheck& interrupt,
                        const FastContext& context) {
  fillAlphaReciprocals();
  const int32_t w = frame.width, h = frame.height;
  // Rows without columns are only polled: a host may hand such a world without pixels, and
  // even a zero-length copy or clear from a null row is undefined.
  if (w <= 0) return runRows(frame, interrupt, context, [](int32_t, int32_t, int) {});
  const NormalRow<GlowWords> normal = normalRow<GlowWords>();
  const Shaping unshaped = shapingOf(1.0, 1.0);
  // A frame without columns has no column inside the extent: the clamped extent's right edge
  // (0) would lie past the row and make the clearing below negative.
  const int64_t left = extent.x0, right = std::min<int64_t>(extent.x1, w - 1);
  const int64_t span = right - left + 1;
  const int workers = context.pool ? context.pool->workerCount() : 1;
  std::vector<std::vector<uint32_t>> scratch(workers,
                                             std::vector<uint32_t>(std::max<int64_t>(span, 1)));
  const size_t rowBytes = static_cast<size_t>(w) * 4;
  constexpr uint32_t kPreviewColour = 50u | (200u << 8) | (20u << 16);

  return runRows(frame, interrupt, context, [&](int32_t r0, int32_t r1, int worker) {
    uint32_t* marks = scratch[worker].data();
    for (int32_t r = r0; r < r1; ++r) {
      uint32_t* out = outputRow(frame, r);
      if (r < extent.y0 || r > extent.y1) {
        std::memset(out, 0, rowBytes);
        continue;
      }
      const uint32_t* t = reinterpret_cast<const uint32_t*>(target.rgbaRow(h - 1 - r)) + left;
      std::memset(out, 0, static_cast<size_t>(left) * 4);
      std::memset(out + right + 1, 0, static_cast<size_t>(w - 1 - right) * 4);
      if (compositeOnOriginal) {
        for (int64_t i = 0; i < span; ++i) marks[i] = (t[i] & 0xFF000000u) | kPreviewColour;
        normal(inputRow(frame, r) + left, GlowWords{marks}, out + left, span, unshaped, true,
               false);
      } else {
        for (int64_t i = 0; i < span; ++i)
          out[left + i] = (t[i] >> 24) | (50u << 8) | (200u << 16) | (20u << 24);
      }
    }
  });
}

}  // namespace shimmerly
