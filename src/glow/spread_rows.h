// Per-row kernels of the fast spread, second part: the colour and alpha rows that turn the
// prefixes of box sums into averages, their reciprocals, and the spans of one-channel rows.
// Included by spread_band.cpp only, where every set's band inlines them.
#pragma once

#include <cmath>
#include <cstdint>
#include <type_traits>
#include <utility>

#include "core/isa_dispatch.h"
#include "glow/edge_alpha.h"
#include "glow/spread_plan.h"
#include "glow/spread_scans.h"

namespace shimmerly::spread_kernels {

// Calls f with channel c as a compile-time constant (std::integral_constant<int, c>).
template <typename F>
SHIMMERLY_INLINE void withChannel(int c, F&& f) {
  switch (c) {
    case 0:
      return f(std::integral_constant<int, 0>{});
    case 1:
      return f(std::integral_constant<int, 1>{});
    case 2:
      return f(std::integral_constant<int, 2>{});
    case 3:
      return f(std::integral_constant<int, 3>{});
    case 4:
      return f(std::integral_constant<int, 4>{});
    default:
      return f(std::integral_constant<int, kPackedChannel>{});
  }
}

// A colour of one column from its inner and outer averages and their blend, by the alphas of
// the two boxes: the inner average where the outer alpha is 0, the outer one where the inner
// alpha is 0, else the blend. Selections by mask, so that every lane of a vectorised loop
// computes all three candidates.
SHIMMERLY_INLINE int32_t chosenColour(int32_t ci, int32_t co, int32_t blend, int32_t ai,
                                      int32_t ao) {
  const int32_t outerSeen = -static_cast<int32_t>(ao != 0);
  const int32_t innerSeen = -static_cast<int32_t>(ai != 0);
  const int32_t keepInner = ci ^ ((ci ^ blend) & outerSeen);
  return co ^ ((co ^ keepInner) & innerSeen);
}

// One colour channel of a row: the inner and outer averages over the opaque pixels, blended.
template <typename Arith>
SHIMMERLY_INLINE void colourChannel(const uint32_t* __restrict pic, const uint32_t* __restrict poc,
                                    const double* __restrict rni, const double* __restrict rno,
                                    const int32_t* __restrict ai, const int32_t* __restrict ao,
                                    int32_t* __restrict out, int64_t n, int64_t d, double wIn,
                                    double f) {
  for (int64_t i = 0; i < n; ++i) {
    const int32_t ci =
        static_cast<int32_t>(Arith::toDouble(pic[i + d] - pic[i + 1]) * rni[i] + 0.001);
    const int32_t co =
        static_cast<int32_t>(Arith::toDouble(poc[i + d + 1] - poc[i]) * rno[i] + 0.001);
    const int32_t blend =
        static_cast<int32_t>(static_cast<double>(ci) * wIn + static_cast<double>(co) * f);
    out[i] = chosenColour(ci, co, blend, ai[i], ao[i]);
  }
}

// Alpha of a row: inner and outer averages over the whole box, blended; the averages are kept
// for the colour channels' choice. kMask keeps the bits of a box sum that hold alpha
// (kPackedAlphaMask for the packed lane, see kPackedCountShift).
template <typename Arith, uint32_t kMask = 0xFFFFFFFFu>
SHIMMERLY_INLINE void alphaChannel(const uint32_t* __restrict pia, const uint32_t* __restrict poa,
                                   const double* __restrict rai, const double* __restrict rao,
                                   int32_t* __restrict ai, int32_t* __restrict ao,
                                   int32_t* __restrict alpha, int64_t n, int64_t d, double wIn,
                                   double f) {
  for (int64_t i = 0; i < n; ++i) {
    const int32_t a =
        static_cast<int32_t>(Arith::toDouble((pia[i + d] - pia[i + 1]) & kMask) * rai[i]);
    const int32_t b =
        static_cast<int32_t>(Arith::toDouble((poa[i + d + 1] - poa[i]) & kMask) * rao[i]);
    ai[i] = a;
    ao[i] = b;
    alpha[i] = static_cast<int32_t>(static_cast<double>(a) * wIn + static_cast<double>(b) * f);
  }
}

// R[n] of the inner and outer boxes' opaque counts.
SHIMMERLY_INLINE void countReciprocals(const uint32_t* __restrict pin,
                                       const uint32_t* __restrict pon,
                                       const double* __restrict recip, double* __restrict rni,
                                       double* __restrict rno, int64_t n, int64_t d) {
  for (int64_t i = 0; i < n; ++i) {
    rni[i] = recip[pin[i + d] - pin[i + 1]];
    rno[i] = recip[pon[i + d + 1] - pon[i]];
  }
}

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
// The same table entries fetched four at a time; counts are widened to 64 bits so that any
// table size is addressed.
inline void countReciprocalsAvx2(const uint32_t* __restrict pin, const uint32_t* __restrict pon,
                                 const double* __restrict recip, double* __restrict rni,
                                 double* __restrict rno, int64_t n, int64_t d) {
  int64_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const __m128i ni =
        _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pin + i + d)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(pin + i + 1)));
    const __m128i no =
        _mm_sub_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(pon + i + d + 1)),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(pon + i)));
    _mm256_storeu_pd(rni + i, _mm256_i64gather_pd(recip, _mm256_cvtepu32_epi64(ni), 8));
    _mm256_storeu_pd(rno + i, _mm256_i64gather_pd(recip, _mm256_cvtepu32_epi64(no), 8));
  }
  countReciprocals(pin + i, pon + i, recip, rni + i, rno + i, n - i, d);
}
#include "core/isa_region_end.h"
#endif

// The prefixes of one output row's box sums, per channel (alpha, red, green, blue, count): index
// i + d and i + 1 bound column i's inner box, i + d + 1 and i its outer box.
struct ColourPrefixes {
  const uint32_t* inner[5];
  const uint32_t* outer[5];
};

// The per-pixel values of a colour row, one array of the row each (see colourRowInLoops).
struct ColourRowValues {
  int32_t *ai, *ao, *alpha, *red, *green, *blue;
  double *rni, *rno;
  float *rniSingle, *rnoSingle;
};

// The words of a colour row from its values, keeping the source's channels not named.
SHIMMERLY_INLINE void colourWords(const ColourRowValues& v, int64_t n, uint32_t named,
                                  const uint32_t* __restrict srow, uint32_t* __restrict drow) {
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t word = (static_cast<uint32_t>(v.red[i]) & 0xFFu) |
                          ((static_cast<uint32_t>(v.green[i]) & 0xFFu) << 8) |
                          ((static_cast<uint32_t>(v.blue[i]) & 0xFFu) << 16) |
                          (static_cast<uint32_t>(v.alpha[i]) << 24);
    drow[i] = (word & named) | (srow[i] & ~named);
  }
}

// One output row of a colour pass, columns [0, n): the prefixes of its box sums, the
// reciprocals of the boxes' areas (rai, rao), the areas themselves (areaI, areaO; a count
// equal to its box's area means an opaque box, whose count reciprocal is the area's) and their
// single-precision reciprocals (filled only for passes with singleAverages), the reciprocal
// table, the arrays for per-pixel values, the channels written (the others kept from srow), the
// offset d between a box's prefixes, the two weights and f × 2^24 (see outerWeight24).
struct ColourRow {
  ColourPrefixes pre;
  const double* rai;
  const double* rao;
  const uint32_t* areaI;
  const uint32_t* areaO;
  const float* areaRecipI;
  const float* areaRecipO;
  // Prefix ring rows: per column, 0 when both boxes' alpha averages are quotients
  // (alphaAverageIsQuotient); null for other rows.
  const uint8_t* alphaInexact;
  const double* recip;
  ColourRowValues values;
  uint32_t named;
  const uint32_t* srow;
  uint32_t* drow;
  int64_t n, d;
  double wIn, f;
  uint32_t weight24;

  // The same row from column `from` on.
  ColourRow from(int64_t columns) const {
    ColourRow rest = *this;
    for (int c = 0; c < 5; ++c) {
      rest.pre.inner[c] += columns;
      rest.pre.outer[c] += columns;
    }
    rest.rai += columns;
    rest.rao += columns;
    rest.areaI += columns;
    rest.areaO += columns;
    rest.areaRecipI += columns;
    rest.areaRecipO += columns;
    if (rest.alphaInexact) rest.alphaInexact += columns;
    rest.srow += columns;
    rest.drow += columns;
    rest.n -= columns;
    return rest;
  }
};

// A colour pass's output row, one loop over the row per step: alpha, the count reciprocals
// (gathered with AVX2 when kGather), the three colours, then the words, which keep the source's
// channels not named. Each loop is simple enough for the compiler to vectorise.
template <typename Arith, bool kGather>
SHIMMERLY_INLINE void colourRowInLoops(const ColourRow& row) {
  const ColourPrefixes& pre = row.pre;
  const ColourRowValues& v = row.values;
  const int64_t n = row.n, d = row.d;
  const double wIn = row.wIn, f = row.f;
  const uint32_t named = row.named;
  const uint32_t* __restrict srow = row.srow;
  uint32_t* __restrict drow = row.drow;
  alphaChannel<Arith>(pre.inner[0], pre.outer[0], row.rai, row.rao, v.ai, v.ao, v.alpha, n, d, wIn,
                      f);
#if SHIMMERLY_ISA_BUILT(avx2)
  if constexpr (kGather) {
    avx2::countReciprocalsAvx2(pre.inner[4], pre.outer[4], row.recip, v.rni, v.rno, n, d);
  } else {
    countReciprocals(pre.inner[4], pre.outer[4], row.recip, v.rni, v.rno, n, d);
  }
#else
  countReciprocals(pre.inner[4], pre.outer[4], row.recip, v.rni, v.rno, n, d);
#endif
  colourChannel<Arith>(pre.inner[1], pre.outer[1], v.rni, v.rno, v.ai, v.ao, v.red, n, d, wIn, f);
  colourChannel<Arith>(pre.inner[2], pre.outer[2], v.rni, v.rno, v.ai, v.ao, v.green, n, d, wIn, f);
  colourChannel<Arith>(pre.inner[3], pre.outer[3], v.rni, v.rno, v.ai, v.ao, v.blue, n, d, wIn, f);
  colourWords(v, n, named, srow, drow);
}

// colourChannel in single precision with the blend in integers (see singleAverage and blend24).
SHIMMERLY_INLINE void colourChannelSingle(const uint32_t* __restrict pic,
                                          const uint32_t* __restrict poc,
                                          const float* __restrict rni, const float* __restrict rno,
                                          const int32_t* __restrict ai,
                                          const int32_t* __restrict ao, int32_t* __restrict out,
                                          int64_t n, int64_t d, uint32_t weight24) {
  for (int64_t i = 0; i < n; ++i) {
    const auto ci = static_cast<int32_t>(static_cast<float>(pic[i + d] - pic[i + 1]) * rni[i] +
                                         kSingleAverageNudge);
    const auto co = static_cast<int32_t>(static_cast<float>(poc[i + d + 1] - poc[i]) * rno[i] +
                                         kSingleAverageNudge);
    const auto blend = static_cast<int32_t>(
        blend24(static_cast<uint32_t>(ci), static_cast<uint32_t>(co), weight24));
    out[i] = chosenColour(ci, co, blend, ai[i], ao[i]);
  }
}

// colourRowInLoops for a pass with singleAverages: the count reciprocals and the colour
// averages in single precision and the blends in integers, which give the same values with
// twice the lanes per vector.
template <typename Arith>
SHIMMERLY_INLINE void colourRowSingleInLoops(const ColourRow& row) {
  const ColourPrefixes& pre = row.pre;
  const ColourRowValues& v = row.values;
  const int64_t n = row.n, d = row.d;
  const uint32_t named = row.named, weight24 = row.weight24;
  const uint32_t* __restrict srow = row.srow;
  uint32_t* __restrict drow = row.drow;
  {
    // Alpha and the count come from one packed lane (see kPackedCountShift).
    const uint32_t* __restrict pip = pre.inner[0];
    const uint32_t* __restrict pop = pre.outer[0];
    alphaChannel<Arith, kPackedAlphaMask>(pip, pop, row.rai, row.rao, v.ai, v.ao, v.alpha, n, d,
                                          row.wIn, row.f);
    float* __restrict rni = v.rniSingle;
    float* __restrict rno = v.rnoSingle;
    for (int64_t i = 0; i < n; ++i) {
      const uint32_t si = pip[i + d] - pip[i + 1], so = pop[i + d + 1] - pop[i];
      rni[i] = singleReciprocal(si >> kPackedCountShift);
      rno[i] = singleReciprocal(so >> kPackedCountShift);
    }
  }
  colourChannelSingle(pre.inner[1], pre.outer[1], v.rniSingle, v.rnoSingle, v.ai, v.ao, v.red, n, d,
                      weight24);
  colourChannelSingle(pre.inner[2], pre.outer[2], v.rniSingle, v.rnoSingle, v.ai, v.ao, v.green, n,
                      d, weight24);
  colourChannelSingle(pre.inner[3], pre.outer[3], v.rniSingle, v.rnoSingle, v.ai, v.ao, v.blue, n,
                      d, weight24);
  colourWords(v, n, named, srow, drow);
}

// One column of a colour row from the prefixes of the prefix ring (alpha and count in lane 0,
// red, green and blue in lanes 1 and 2, see kBlueNibbleShift): colourRowSingleInLoops's steps
// for column i, with the alpha blend in integers as the vector rows take it (see blend24).
SHIMMERLY_INLINE void ringColourColumn(const ColourRow& row, int64_t i) {
  const ColourPrefixes& pre = row.pre;
  const int64_t d = row.d;
  uint32_t inner[kRingLanes], outer[kRingLanes];
  for (int k = 0; k < kRingLanes; ++k) {
    inner[k] = pre.inner[k][i + d] - pre.inner[k][i + 1];
    outer[k] = pre.outer[k][i + d + 1] - pre.outer[k][i];
  }
  const auto a =
      static_cast<int32_t>(static_cast<double>(inner[0] & kPackedAlphaMask) * row.rai[i]);
  const auto b =
      static_cast<int32_t>(static_cast<double>(outer[0] & kPackedAlphaMask) * row.rao[i]);
  const float rni = singleReciprocal(inner[0] >> kPackedCountShift);
  const float rno = singleReciprocal(outer[0] >> kPackedCountShift);
  auto blue = [](uint32_t low, uint32_t high) SHIMMERLY_INLINE_LAMBDA {
    return (low >> kBlueNibbleShift) + ((high >> kBlueNibbleShift) << 4);
  };
  const uint32_t sums[3][2] = {{inner[1] & kNibbleFieldMask, outer[1] & kNibbleFieldMask},
                               {inner[2] & kNibbleFieldMask, outer[2] & kNibbleFieldMask},
                               {blue(inner[1], inner[2]), blue(outer[1], outer[2])}};
  uint32_t word = blend24(static_cast<uint32_t>(a), static_cast<uint32_t>(b), row.weight24) << 24;
  for (int c = 0; c < 3; ++c) {
    const auto ci =
        static_cast<int32_t>(static_cast<float>(sums[c][0]) * rni + kSingleAverageNudge);
    const auto co =
        static_cast<int32_t>(static_cast<float>(sums[c][1]) * rno + kSingleAverageNudge);
    const auto blend = static_cast<int32_t>(
        blend24(static_cast<uint32_t>(ci), static_cast<uint32_t>(co), row.weight24));
    word |= (static_cast<uint32_t>(chosenColour(ci, co, blend, a, b)) & 0xFFu) << (8 * c);
  }
  row.drow[i] = (word & row.named) | (row.srow[i] & ~row.named);
}

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
inline __m256i load8(const uint32_t* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// The inner and outer box sums of columns i to i + 7 from their row prefixes.
inline __m256i innerSums8(const uint32_t* prefix, int64_t i, int64_t d) {
  return _mm256_sub_epi32(load8(prefix + i + d), load8(prefix + i + 1));
}
inline __m256i outerSums8(const uint32_t* prefix, int64_t i, int64_t d) {
  return _mm256_sub_epi32(load8(prefix + i + d + 1), load8(prefix + i));
}

// trunc(s × R[area]) of eight alpha sums, in double precision as the reference takes it.
inline __m256i alphaAverages8(__m256i sums, const double* areaRecip) {
  const __m128i low = _mm256_cvttpd_epi32(
      _mm256_mul_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sums)), _mm256_loadu_pd(areaRecip)));
  const __m128i high = _mm256_cvttpd_epi32(_mm256_mul_pd(
      _mm256_cvtepi32_pd(_mm256_extracti128_si256(sums, 1)), _mm256_loadu_pd(areaRecip + 4)));
  return _mm256_set_m128i(high, low);
}

// singleAverage of eight sums, each with its reciprocal.
inline __m256i singleAverages8(__m256i sums, __m256 recips) {
  return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(sums), recips),
                                           _mm256_set1_ps(kSingleAverageNudge)));
}

// The alpha averages of eight boxes whose areas' averages are quotients (see alphaQuotients16).
inline __m256i alphaQuotients8(__m256i sums, const float* areaRecip) {
  return singleAverages8(sums, _mm256_loadu_ps(areaRecip));
}

// fl(1 / n) of eight opaque counts n, 0 for n = 0: the area's where the box is opaque
// throughout (an area is at least 1, so such a count is not 0), divided only when some lane is
// neither opaque nor empty.
inline __m256 countReciprocalsSingle8(__m256i counts, const uint32_t* area,
                                      const float* areaRecip) {
  const __m256i empty = _mm256_cmpeq_epi32(counts, _mm256_setzero_si256());
  const __m256i full = _mm256_cmpeq_epi32(counts, load8(area));
  if (_mm256_movemask_epi8(_mm256_or_si256(empty, full)) == -1)
    return _mm256_and_ps(_mm256_castsi256_ps(full), _mm256_loadu_ps(areaRecip));
  return _mm256_andnot_ps(_mm256_castsi256_ps(empty),
                          _mm256_div_ps(_mm256_set1_ps(1.0f), _mm256_cvtepi32_ps(counts)));
}

// (a × (2^24 − F) + b × F) >> 24 of eight pairs (see blend24).
inline __m256i blend8i(__m256i a, __m256i b, __m256i inWeight, __m256i outWeight) {
  return _mm256_srli_epi32(
      _mm256_add_epi32(_mm256_mullo_epi32(a, inWeight), _mm256_mullo_epi32(b, outWeight)), 24);
}

// One colour of eight columns in single precision (see singleAverage and chosenColour): the
// inner average where the outer alpha is 0 (outerNone), the outer one where the inner alpha is
// 0 (innerNone), else their blend.
inline __m256i colourSingle8(__m256i inner, __m256i outer, __m256 rni, __m256 rno,
                             __m256i innerNone, __m256i outerNone, __m256i inWeight,
                             __m256i outWeight) {
  const __m256i ci = singleAverages8(inner, rni);
  const __m256i co = singleAverages8(outer, rno);
  const __m256i keepInner = _mm256_blendv_epi8(blend8i(ci, co, inWeight, outWeight), ci, outerNone);
  return _mm256_blendv_epi8(keepInner, co, innerNone);
}

// Blue's box sums from the nibbles above red's and green's (see kBlueNibbleShift).
inline __m256i blueSums8(__m256i low, __m256i high) {
  return _mm256_add_epi32(_mm256_srli_epi32(low, kBlueNibbleShift),
                          _mm256_slli_epi32(_mm256_srli_epi32(high, kBlueNibbleShift), 4));
}

// colourRowSingleAvx512 eight columns at a time, from the prefixes of the prefix ring: the same
// operations in the same order. Eight columns whose outer boxes hold no opaque pixel have every
// sum 0 and their word 0 (see colourRowAvx512). Columns [begin, end), begin a multiple of 8;
// the columns after the last eight go through ringColourColumn.
// kKeeps as for colourRowSingleAvx512Keeping.
template <bool kKeeps>
inline void colourRowSingleAvx2Keeping(const ColourRow& row, int64_t begin, int64_t end) {
  const ColourPrefixes& pre = row.pre;
  const int64_t d = row.d;
  const uint32_t* __restrict srow = row.srow;
  uint32_t* __restrict drow = row.drow;
  const __m256i inWeight = _mm256_set1_epi32(static_cast<int32_t>(16777216u - row.weight24));
  const __m256i outWeight = _mm256_set1_epi32(static_cast<int32_t>(row.weight24));
  const __m256i zero = _mm256_setzero_si256();
  const __m256i alphaMask = _mm256_set1_epi32(static_cast<int32_t>(kPackedAlphaMask));
  const __m256i fieldMask = _mm256_set1_epi32(static_cast<int32_t>(kNibbleFieldMask));
  const __m256i keep = _mm256_set1_epi32(static_cast<int32_t>(~row.named));
  const __m256i take = _mm256_set1_epi32(static_cast<int32_t>(row.named));
  int64_t i = begin;
  for (; i + 8 <= end; i += 8) {
    const __m256i packedI = innerSums8(pre.inner[0], i, d);
    const __m256i packedO = outerSums8(pre.outer[0], i, d);
    const __m256i countO = _mm256_srli_epi32(packedO, kPackedCountShift);
    if (_mm256_testz_si256(countO, countO)) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(drow + i),
                          kKeeps ? _mm256_and_si256(load8(srow + i), keep) : zero);
      continue;
    }
    // The alpha averages in single precision where every column's are quotients, else in
    // double precision as the reference takes them.
    const __m256i sumsI = _mm256_and_si256(packedI, alphaMask);
    const __m256i sumsO = _mm256_and_si256(packedO, alphaMask);
    const __m128i inexact = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row.alphaInexact + i));
    const bool quotients = _mm_testz_si128(inexact, inexact);
    const __m256i a =
        quotients ? alphaQuotients8(sumsI, row.areaRecipI + i) : alphaAverages8(sumsI, row.rai + i);
    const __m256i b =
        quotients ? alphaQuotients8(sumsO, row.areaRecipO + i) : alphaAverages8(sumsO, row.rao + i);
    const __m256 rni = countReciprocalsSingle8(_mm256_srli_epi32(packedI, kPackedCountShift),
                                               row.areaI + i, row.areaRecipI + i);
    const __m256 rno = countReciprocalsSingle8(countO, row.areaO + i, row.areaRecipO + i);
    const __m256i innerNone = _mm256_cmpeq_epi32(a, zero);
    const __m256i outerNone = _mm256_cmpeq_epi32(b, zero);
    __m256i word = _mm256_slli_epi32(blend8i(a, b, inWeight, outWeight), 24);
    // Red and green in the low fields of lanes 1 and 2, blue from the nibbles above them.
    const __m256i lowI = innerSums8(pre.inner[1], i, d), lowO = outerSums8(pre.outer[1], i, d);
    const __m256i highI = innerSums8(pre.inner[2], i, d), highO = outerSums8(pre.outer[2], i, d);
    const __m256i sums[3][2] = {
        {_mm256_and_si256(lowI, fieldMask), _mm256_and_si256(lowO, fieldMask)},
        {_mm256_and_si256(highI, fieldMask), _mm256_and_si256(highO, fieldMask)},
        {blueSums8(lowI, highI), blueSums8(lowO, highO)}};
    for (int c = 0; c < 3; ++c) {
      const __m256i colour = colourSingle8(sums[c][0], sums[c][1], rni, rno, innerNone, outerNone,
                                           inWeight, outWeight);
      word = _mm256_or_si256(word, _mm256_slli_epi32(colour, 8 * c));
    }
    if constexpr (kKeeps) {
      word = _mm256_or_si256(_mm256_and_si256(word, take), _mm256_and_si256(load8(srow + i), keep));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(drow + i), word);
  }
  for (; i < end; ++i) ringColourColumn(row, i);
}
inline void colourRowSingleAvx2(const ColourRow& row, int64_t begin, int64_t end) {
  if (row.named == 0xFFFFFFFFu) {
    colourRowSingleAvx2Keeping<false>(row, begin, end);
  } else {
    colourRowSingleAvx2Keeping<true>(row, begin, end);
  }
}
#include "core/isa_region_end.h"
#endif

#if SHIMMERLY_ISA_BUILT(avx512)
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
// Eight box sums as exact doubles (see SumArith::toDouble).
template <bool kWide>
inline __m512d sumsAsDoubles(__m256i u) {
  return kWide ? _mm512_maskz_cvtepu32_pd(kEight, u) : _mm512_maskz_cvtepi32_pd(kEight, u);
}

// x × wIn + y × f, truncated, for eight pairs of averages.
inline __m256i blend8(__m256i x, __m256i y, __m512d wIn, __m512d f) {
  return _mm512_maskz_cvttpd_epi32(
      kEight, _mm512_add_pd(_mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kEight, x), wIn),
                            _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kEight, y), f)));
}

// One colour of eight columns (see colourChannel), in the low byte of each lane.
template <bool kWide>
SHIMMERLY_INLINE __m256i colour8(__m256i inner, __m256i outer, __m512d rni, __m512d rno,
                                 __mmask8 innerSeen, __mmask8 outerSeen, __m512d wIn, __m512d f) {
  const __m512d nudge = _mm512_set1_pd(0.001);
  const __m256i ci = _mm512_maskz_cvttpd_epi32(
      kEight, _mm512_add_pd(_mm512_mul_pd(sumsAsDoubles<kWide>(inner), rni), nudge));
  const __m256i co = _mm512_maskz_cvttpd_epi32(
      kEight, _mm512_add_pd(_mm512_mul_pd(sumsAsDoubles<kWide>(outer), rno), nudge));
  const __m256i keepInner = _mm256_mask_blend_epi32(outerSeen, ci, blend8(ci, co, wIn, f));
  return _mm256_and_si256(_mm256_mask_blend_epi32(innerSeen, co, keepInner),
                          _mm256_set1_epi32(0xFF));
}

// The reciprocals R[n] of eight boxes' opaque counts n. A box whose count is its area is opaque
// throughout and takes its area's reciprocal, already at hand; a count of 0 takes R[0] = 0; only
// the other lanes are fetched from the table, and none when every lane is one of the two. The
// areas are compared only while every box sum stays below 2^31 (kWide false): an area is then
// far below 2^32 and its count cannot wrap onto it.
template <bool kWide>
inline __m512d countReciprocals8(__m256i counts, const uint32_t* area, __m512d areaReciprocals,
                                 const double* __restrict recip) {
  const __mmask8 some = _mm256_test_epi32_mask(counts, counts);
  __mmask8 fetch = some;
  __m512d known = _mm512_setzero_pd();
  if constexpr (!kWide) {
    const __mmask8 full = _mm256_cmpeq_epi32_mask(counts, load8(area));
    known = _mm512_maskz_mov_pd(full, areaReciprocals);
    fetch = static_cast<__mmask8>(some & ~full);
  }
  if (fetch == 0) return known;
  return _mm512_mask_i64gather_pd(known, fetch, _mm512_maskz_cvtepu32_epi64(kEight, counts), recip,
                                  8);
}

// A colour pass's output row eight columns at a time, every value kept in registers: the
// alpha and count sums, the count reciprocals and the three colours go straight into the word,
// where the separate loops above keep each in an array of the row. The same operations in the
// same order. Eight columns whose outer boxes hold no opaque pixel (nor do their inner boxes,
// which lie inside) have every sum 0, so alpha 0 and colours trunc(0 × R[0] + 0.001) = 0: their
// word is 0 and is written without the arithmetic. The columns after the last eight go through
// colourRowInLoops.
template <typename Arith>
inline void colourRowAvx512(const ColourRow& row) {
  constexpr bool kWide = Arith::kWideSums;
  const ColourPrefixes& pre = row.pre;
  const int64_t n = row.n, d = row.d;
  const double* __restrict rai = row.rai;
  const double* __restrict rao = row.rao;
  const double* __restrict recip = row.recip;
  const uint32_t* __restrict srow = row.srow;
  uint32_t* __restrict drow = row.drow;
  const __m512d vIn = _mm512_set1_pd(row.wIn), vF = _mm512_set1_pd(row.f);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i keep = _mm256_set1_epi32(static_cast<int32_t>(~row.named));
  const __m256i take = _mm256_set1_epi32(static_cast<int32_t>(row.named));
  const uint32_t* __restrict pia = pre.inner[0], * __restrict poa = pre.outer[0];
  const uint32_t* __restrict pir = pre.inner[1], * __restrict por = pre.outer[1];
  const uint32_t* __restrict pig = pre.inner[2], * __restrict pog = pre.outer[2];
  const uint32_t* __restrict pib = pre.inner[3], * __restrict pob = pre.outer[3];
  const uint32_t* __restrict pin = pre.inner[4], * __restrict pon = pre.outer[4];
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i countO = outerSums8(pon, i, d);
    if (_mm256_testz_si256(countO, countO)) {
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(drow + i),
                          _mm256_and_si256(load8(srow + i), keep));
      continue;
    }
    const __m512d areaI = _mm512_loadu_pd(rai + i), areaO = _mm512_loadu_pd(rao + i);
    const __m256i a = _mm512_maskz_cvttpd_epi32(
        kEight, _mm512_mul_pd(sumsAsDoubles<kWide>(innerSums8(pia, i, d)), areaI));
    const __m256i b = _mm512_maskz_cvttpd_epi32(
        kEight, _mm512_mul_pd(sumsAsDoubles<kWide>(outerSums8(poa, i, d)), areaO));
    const __m512d rni =
        countReciprocals8<kWide>(innerSums8(pin, i, d), row.areaI + i, areaI, recip);
    const __m512d rno = countReciprocals8<kWide>(countO, row.areaO + i, areaO, recip);
    const __mmask8 innerSeen = _mm256_cmpneq_epi32_mask(a, zero);
    const __mmask8 outerSeen = _mm256_cmpneq_epi32_mask(b, zero);
    const __m256i red = colour8<kWide>(innerSums8(pir, i, d), outerSums8(por, i, d), rni, rno,
                                       innerSeen, outerSeen, vIn, vF);
    const __m256i green = colour8<kWide>(innerSums8(pig, i, d), outerSums8(pog, i, d), rni, rno,
                                         innerSeen, outerSeen, vIn, vF);
    const __m256i blue = colour8<kWide>(innerSums8(pib, i, d), outerSums8(pob, i, d), rni, rno,
                                        innerSeen, outerSeen, vIn, vF);
    const __m256i word =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi32(blend8(a, b, vIn, vF), 24), red),
                        _mm256_or_si256(_mm256_slli_epi32(green, 8), _mm256_slli_epi32(blue, 16)));
    const __m256i out =
        _mm256_or_si256(_mm256_and_si256(word, take), _mm256_and_si256(load8(srow + i), keep));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(drow + i), out);
  }
  if (i < n) colourRowInLoops<Arith, false>(row.from(i));
}

// Sixteen words, or those of the lanes in m (the others 0): a row's last columns read nothing
// beyond its arrays.
inline __m512i load16(const uint32_t* at, __mmask16 m = kSixteen) {
  return _mm512_maskz_loadu_epi32(m, at);
}
inline __m512i innerSums16(const uint32_t* prefix, int64_t i, int64_t d, __mmask16 m = kSixteen) {
  return _mm512_sub_epi32(load16(prefix + i + d, m), load16(prefix + i + 1, m));
}
inline __m512i outerSums16(const uint32_t* prefix, int64_t i, int64_t d, __mmask16 m = kSixteen) {
  return _mm512_sub_epi32(load16(prefix + i + d + 1, m), load16(prefix + i, m));
}

// trunc(s × R[area]) of sixteen alpha sums, in double precision as the reference takes it.
inline __m512i alphaAverages16(__m512i sums, const double* areaRecip, __mmask16 m) {
  const __m256i low = _mm512_maskz_cvttpd_epi32(
      kEight,
      _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kEight, _mm512_maskz_extracti64x4_epi64(0xF, sums, 0)),
                    _mm512_maskz_loadu_pd(static_cast<__mmask8>(m), areaRecip)));
  const __m256i high = _mm512_maskz_cvttpd_epi32(
      kEight,
      _mm512_mul_pd(_mm512_maskz_cvtepi32_pd(kEight, _mm512_maskz_extracti64x4_epi64(0xF, sums, 1)),
                    _mm512_maskz_loadu_pd(static_cast<__mmask8>(m >> 8), areaRecip + 8)));
  const __m512i lowOnly = _mm512_maskz_inserti64x4(0xFF, _mm512_setzero_si512(), low, 0);
  return _mm512_maskz_inserti64x4(0xFF, lowOnly, high, 1);
}

// singleAverage of sixteen sums, each with its reciprocal.
inline __m512i singleAverages16(__m512i sums, __m512 recips) {
  return _mm512_maskz_cvttps_epi32(
      kSixteen, _mm512_add_ps(_mm512_mul_ps(_mm512_maskz_cvtepi32_ps(kSixteen, sums), recips),
                              _mm512_set1_ps(kSingleAverageNudge)));
}

// The alpha averages of sixteen boxes whose areas' averages are quotients
// (alphaAverageIsQuotient), in single precision as the colours' (see singleAverage), from the
// areas' single-precision reciprocals.
inline __m512i alphaQuotients16(__m512i sums, const float* areaRecip, __mmask16 m) {
  return singleAverages16(sums, _mm512_maskz_loadu_ps(m, areaRecip));
}

// fl(1 / n) of sixteen opaque counts n, 0 for n = 0: the area's where the box is opaque
// throughout, divided only when some lane is neither opaque nor empty.
inline __m512 countReciprocals16(__m512i counts, const uint32_t* area, const float* areaRecip,
                                 __mmask16 m) {
  const __mmask16 some = _mm512_test_epi32_mask(counts, counts);
  const __mmask16 full = _mm512_mask_cmpeq_epi32_mask(some, counts, load16(area, m));
  if ((some & ~full) == 0) return _mm512_maskz_loadu_ps(full, areaRecip);
  return _mm512_maskz_div_ps(some, _mm512_set1_ps(1.0f),
                             _mm512_maskz_cvtepi32_ps(kSixteen, counts));
}

// a × (2^24 − F) + b × F of sixteen pairs, whose top byte is their blend (see blend24).
inline __m512i blendSums16(__m512i a, __m512i b, __m512i inWeight, __m512i outWeight) {
  return _mm512_add_epi32(_mm512_mullo_epi32(a, inWeight), _mm512_mullo_epi32(b, outWeight));
}
inline __m512i blend16(__m512i a, __m512i b, __m512i inWeight, __m512i outWeight) {
  return _mm512_maskz_srli_epi32(kSixteen, blendSums16(a, b, inWeight, outWeight), 24);
}

// One colour of sixteen columns in single precision (see singleAverage), in the low byte: the
// blend, but the inner average where the outer alpha is 0 and the outer one where the inner
// alpha is 0. bothSeen: every lane has both alphas, so every lane takes the blend.
inline __m512i colour16(__m512i inner, __m512i outer, __m512 rni, __m512 rno, bool bothSeen,
                        __mmask16 innerSeen, __mmask16 outerSeen, __m512i inWeight,
                        __m512i outWeight) {
  const __m512i ci = singleAverages16(inner, rni);
  const __m512i co = singleAverages16(outer, rno);
  const __m512i blended = blend16(ci, co, inWeight, outWeight);
  if (bothSeen) return blended;
  return _mm512_mask_blend_epi32(innerSeen, co, _mm512_mask_blend_epi32(outerSeen, ci, blended));
}

// Blue's box sums from the nibbles above red's and green's (see kBlueNibbleShift).
inline __m512i blueSums16(__m512i low, __m512i high) {
  return _mm512_add_epi32(
      _mm512_maskz_srli_epi32(kSixteen, low, kBlueNibbleShift),
      _mm512_maskz_slli_epi32(kSixteen, _mm512_maskz_srli_epi32(kSixteen, high, kBlueNibbleShift),
                              4));
}

// colourRowAvx512 sixteen columns at a time for a pass with singleAverages, from the prefixes of
// the prefix ring (alpha and count in pre.inner[0] and pre.outer[0], see kPackedCountShift; red,
// green and blue in lanes 1 and 2, see kBlueNibbleShift):
// alpha as there, the colour averages in single precision and every blend in integers, which give
// the same values (see singleAverage and blend24). The columns after the last sixteen take the
// same steps with their lanes masked.
// kKeeps: some channel is not named, so the source row is read for it.
template <bool kKeeps>
inline void colourRowSingleAvx512Keeping(const ColourRow& row, int64_t begin, int64_t end) {
  const ColourPrefixes& pre = row.pre;
  const int64_t d = row.d;
  const uint32_t* __restrict srow = row.srow;
  uint32_t* __restrict drow = row.drow;
  const __m512i inWeight = _mm512_set1_epi32(static_cast<int32_t>(16777216u - row.weight24));
  const __m512i outWeight = _mm512_set1_epi32(static_cast<int32_t>(row.weight24));
  const __m512i zero = _mm512_setzero_si512();
  const __m512i alphaMask = _mm512_set1_epi32(static_cast<int32_t>(kPackedAlphaMask));
  const __m512i fieldMask = _mm512_set1_epi32(static_cast<int32_t>(kNibbleFieldMask));
  const __m512i keep = _mm512_set1_epi32(static_cast<int32_t>(~row.named));
  const __m512i take = _mm512_set1_epi32(static_cast<int32_t>(row.named));
  auto block = [&](int64_t i, __mmask16 m) SHIMMERLY_INLINE_LAMBDA {
    const __m512i packedI = innerSums16(pre.inner[0], i, d, m);
    const __m512i packedO = outerSums16(pre.outer[0], i, d, m);
    const __m512i countO = _mm512_maskz_srli_epi32(kSixteen, packedO, kPackedCountShift);
    if (_mm512_test_epi32_mask(countO, countO) == 0) {
      _mm512_mask_storeu_epi32(drow + i, m,
                               kKeeps ? _mm512_and_si512(load16(srow + i, m), keep) : zero);
      return;
    }
    // The alpha averages in single precision where every column's are quotients, else in
    // double precision as the reference takes them.
    const __m512i sumsI = _mm512_and_si512(packedI, alphaMask);
    const __m512i sumsO = _mm512_and_si512(packedO, alphaMask);
    const __m128i inexact = _mm_maskz_loadu_epi8(m, row.alphaInexact + i);
    const bool quotients = _mm_testz_si128(inexact, inexact);
    const __m512i a = quotients ? alphaQuotients16(sumsI, row.areaRecipI + i, m)
                                : alphaAverages16(sumsI, row.rai + i, m);
    const __m512i b = quotients ? alphaQuotients16(sumsO, row.areaRecipO + i, m)
                                : alphaAverages16(sumsO, row.rao + i, m);
    const __m512 rni =
        countReciprocals16(_mm512_maskz_srli_epi32(kSixteen, packedI, kPackedCountShift),
                           row.areaI + i, row.areaRecipI + i, m);
    const __m512 rno = countReciprocals16(countO, row.areaO + i, row.areaRecipO + i, m);
    const __mmask16 innerSeen = _mm512_cmpneq_epi32_mask(a, zero);
    const __mmask16 outerSeen = _mm512_cmpneq_epi32_mask(b, zero);
    // The alpha blend's byte kept in place, at the top of its sum.
    __m512i word = _mm512_and_si512(blendSums16(a, b, inWeight, outWeight),
                                    _mm512_set1_epi32(static_cast<int32_t>(0xFF000000u)));
    // Red and green in the low fields of lanes 1 and 2, blue from the nibbles above them.
    const __m512i lowI = innerSums16(pre.inner[1], i, d, m);
    const __m512i lowO = outerSums16(pre.outer[1], i, d, m);
    const __m512i highI = innerSums16(pre.inner[2], i, d, m);
    const __m512i highO = outerSums16(pre.outer[2], i, d, m);
    const __m512i sums[3][2] = {
        {_mm512_and_si512(lowI, fieldMask), _mm512_and_si512(lowO, fieldMask)},
        {_mm512_and_si512(highI, fieldMask), _mm512_and_si512(highO, fieldMask)},
        {blueSums16(lowI, highI), blueSums16(lowO, highO)}};
    // Lanes outside m count as seen: their words are not stored.
    const bool bothSeen = static_cast<__mmask16>((innerSeen & outerSeen) | ~m) == kSixteen;
    for (int c = 0; c < 3; ++c) {
      const __m512i colour = colour16(sums[c][0], sums[c][1], rni, rno, bothSeen, innerSeen,
                                      outerSeen, inWeight, outWeight);
      word = _mm512_or_si512(word, _mm512_maskz_slli_epi32(kSixteen, colour, 8 * c));
    }
    if constexpr (kKeeps) {
      word = _mm512_or_si512(_mm512_and_si512(word, take),
                             _mm512_and_si512(load16(srow + i, m), keep));
    }
    _mm512_mask_storeu_epi32(drow + i, m, word);
  };
  int64_t i = begin;
  for (; i + 16 <= end; i += 16) block(i, kSixteen);
  if (i < end) block(i, static_cast<__mmask16>((1u << (end - i)) - 1));
}
inline void colourRowSingleAvx512(const ColourRow& row, int64_t begin, int64_t end) {
  if (row.named == 0xFFFFFFFFu) {
    colourRowSingleAvx512Keeping<false>(row, begin, end);
  } else {
    colourRowSingleAvx512Keeping<true>(row, begin, end);
  }
}
#include "core/isa_region_end.h"
#endif

// R[width × height] for every column: the longest run of equal widths (the columns whose boxes
// the sides do not cut) is filled from the table, the columns beside it divide, since R[k] is
// 1.0 / k in double precision, exactly what the division gives. For wide boxes the table
// outgrows the caches, and one lookup per side column and row costs more than the division.
// Without fillInside only the columns beside [sideEnd, sideBegin) are written: the caller
// reads the run's value on its own. Returns that value.
SHIMMERLY_INLINE double fillReciprocals(double* __restrict out, const int64_t* __restrict widths,
                                        int64_t n, int64_t innerBegin, int64_t innerEnd,
                                        const double* __restrict recip, int64_t height,
                                        bool fillInside, int64_t sideEnd, int64_t sideBegin) {
  auto divide = [&](int64_t from, int64_t to) SHIMMERLY_INLINE_LAMBDA {
    for (int64_t i = from; i < to; ++i) out[i] = reciprocalOf(widths[i] * height);
  };
  const double inside = recip[widths[innerBegin] * height];
  if (fillInside) {
    divide(0, innerBegin);
    std::fill(out + innerBegin, out + innerEnd, inside);
    divide(innerEnd, n);
  } else {
    // [sideEnd, sideBegin) lies inside the run: the columns outside it are written, from the
    // run where they belong to it.
    divide(0, innerBegin);
    std::fill(out + innerBegin, out + std::clamp(sideEnd, innerBegin, innerEnd), inside);
    std::fill(out + std::clamp(sideBegin, innerBegin, innerEnd), out + innerEnd, inside);
    divide(innerEnd, n);
  }
  return inside;
}

// The pieces of a one-channel output row: the columns [base, base + count) of the row, the
// prefixes (index i + d and i + 1 bound column i's inner box, i + d + 1 and i its outer box),
// and the reciprocals of the two boxes, at ri and ro as kRecip says. Every pointer is a parameter
// of its own, marked restrict, so that the compiler needs no run-time overlap checks to vectorise;
// count is a compile-time constant for whole blocks (see inBlocks). In the weights, lastI and
// lastO are the row's last inner and outer prefixes, those of every index after the last column.
struct SpanWeights {
  int64_t d;
  double wIn, f;
  uint32_t lastI, lastO;
};

// Which side of the frame cuts the boxes of every column of a span. A box cut on the left starts
// at or below the frame's first column, where every prefix is 0; one cut on the right ends at or
// above its last column, where every prefix is the row's last. Such a span reads only the
// prefixes at the box's other end.
enum class Cut { kNone, kLeft, kRight };

// The inner and outer box sums of column i (see SpanWeights).
template <Cut kCut>
SHIMMERLY_INLINE uint32_t innerSum(const uint32_t* __restrict pia, int64_t i,
                                   const SpanWeights& w) {
  if constexpr (kCut == Cut::kLeft) return pia[i + w.d];
  if constexpr (kCut == Cut::kRight) return w.lastI - pia[i + 1];
  return pia[i + w.d] - pia[i + 1];
}
template <Cut kCut>
SHIMMERLY_INLINE uint32_t outerSum(const uint32_t* __restrict poa, int64_t i,
                                   const SpanWeights& w) {
  if constexpr (kCut == Cut::kLeft) return poa[i + w.d + 1];
  if constexpr (kCut == Cut::kRight) return w.lastO - poa[i];
  return poa[i + w.d + 1] - poa[i];
}

// Where a one-colour row goes: alphas alone, the outer glow's alphas of those and the alphas
// kept from before the spread, whole words (every channel named), or words that keep the
// source's channels not named.
enum class RowOut { kBytes, kOuterGlowBytes, kWords, kMasked };

// How a span takes its reciprocals: one value for all columns, or one each from column `base`
// on.
enum class Recip { kAll, kEach };

// Where the reciprocals of a span start that begins `columns` after the span r belongs to.
template <Recip kRecip>
SHIMMERLY_INLINE const double* recipFrom(const double* r, int64_t columns) {
  return kRecip == Recip::kAll ? r : r + columns;
}
// The reciprocal of column base + k.
template <Recip kRecip>
SHIMMERLY_INLINE double recipAt(const double* __restrict r, double all, int64_t k) {
  return kRecip == Recip::kAll ? all : r[k];
}

template <RowOut kOut, Recip kRecip, Cut kCut, typename Arith, typename Count>
SHIMMERLY_INLINE void uniformSpan(const uint32_t* __restrict pia, const uint32_t* __restrict poa,
                                  const double* __restrict ri, const double* __restrict ro,
                                  int64_t base, Count count, SpanWeights w, uint32_t cWord,
                                  uint32_t cbWord, uint32_t named, const uint32_t* __restrict srow,
                                  uint32_t* __restrict drow, uint8_t* __restrict arow,
                                  const uint8_t* __restrict krow) {
  const bool all = kRecip == Recip::kAll;
  const double riAll = all ? *ri : 0.0, roAll = all ? *ro : 0.0;
  const double wIn = w.wIn, f = w.f;
  for (int64_t k = 0; k < static_cast<int64_t>(count); ++k) {
    const int64_t i = base + k;
    const uint32_t sumO = outerSum<kCut>(poa, i, w);
    const double dai = Arith::truncated(Arith::toDouble(innerSum<kCut>(pia, i, w)) *
                                        recipAt<kRecip>(ri, riAll, k));
    const double dao = Arith::truncated(Arith::toDouble(sumO) * recipAt<kRecip>(ro, roAll, k));
    const int32_t alpha = static_cast<int32_t>(dai * wIn + dao * f);
    // Inner and outer seen: the blend; inner only: the inner average; otherwise the outer
    // average, which is the colour when the outer box holds any opaque pixel, else 0.
    const uint32_t innerSeen = 0u - static_cast<uint32_t>(dai != 0.0);
    const uint32_t outerSeen = 0u - static_cast<uint32_t>(dao != 0.0);
    const uint32_t outerAny = 0u - static_cast<uint32_t>(sumO != 0);
    const uint32_t inner = cWord ^ ((cWord ^ cbWord) & outerSeen);
    const uint32_t colour = (cWord & outerAny) ^ (((cWord & outerAny) ^ inner) & innerSeen);
    const uint32_t word = colour | (static_cast<uint32_t>(alpha) << 24);
    if constexpr (kOut == RowOut::kBytes) {
      arow[i] = static_cast<uint8_t>(alpha);
    } else if constexpr (kOut == RowOut::kOuterGlowBytes) {
      arow[i] = static_cast<uint8_t>(edgeGlowAlpha<false>(static_cast<uint32_t>(alpha), krow[i]));
    } else if constexpr (kOut == RowOut::kWords) {
      drow[i] = word;
    } else {
      drow[i] = (word & named) | (srow[i] & ~named);
    }
  }
}

// The same for a pass that spreads alpha alone, the colours kept from the source.
template <Recip kRecip, Cut kCut, typename Arith, typename Count>
SHIMMERLY_INLINE void alphaSpan(const uint32_t* __restrict pia, const uint32_t* __restrict poa,
                                const double* __restrict ri, const double* __restrict ro,
                                int64_t base, Count count, SpanWeights w, uint32_t named,
                                const uint32_t* __restrict srow, uint32_t* __restrict drow) {
  const bool all = kRecip == Recip::kAll;
  const double riAll = all ? *ri : 0.0, roAll = all ? *ro : 0.0;
  const double wIn = w.wIn, f = w.f;
  for (int64_t k = 0; k < static_cast<int64_t>(count); ++k) {
    const int64_t i = base + k;
    const double dai = Arith::truncated(Arith::toDouble(innerSum<kCut>(pia, i, w)) *
                                        recipAt<kRecip>(ri, riAll, k));
    const double dao = Arith::truncated(Arith::toDouble(outerSum<kCut>(poa, i, w)) *
                                        recipAt<kRecip>(ro, roAll, k));
    const int32_t alpha = static_cast<int32_t>(dai * wIn + dao * f);
    drow[i] = ((static_cast<uint32_t>(alpha) << 24) & named) | (srow[i] & ~named);
  }
}

// A column count known to be a whole number of vector blocks, so that the compiler's vector
// loop needs no tail. A block is as wide as the widest vector loop the compiler makes of a span
// (64 columns of byte output with AVX-512): with narrower blocks that loop keeps a tail on most
// rows, which at wide radii, where a row has three spans, cost about 7% of a pass.
struct WholeBlocks {
  static constexpr int64_t kColumns = 64;
  int64_t count;
  explicit operator int64_t() const { return count & ~(kColumns - 1); }
};

// Runs span(base, count) over the columns [from, to): the whole blocks from `from` on, then one
// block ending at `to`, so that no part of the span runs as a vector loop's tail. A tail cut at
// an arbitrary column (such as where the frame's side stops cutting the boxes) would otherwise
// cost about as much as a long stretch of vector work. The columns the last block computes a
// second time get the same result, since a span reads only prefixes and reciprocals. Spans
// shorter than a block run as they are.
template <typename Span>
SHIMMERLY_INLINE void inBlocks(int64_t from, int64_t to, Span&& span) {
  constexpr int64_t kBlock = WholeBlocks::kColumns;
  const int64_t n = to - from;
  if (n < kBlock) {
    if (n > 0) span(from, n);
    return;
  }
  span(from, WholeBlocks{n});
  if (n % kBlock != 0) span(to - kBlock, std::integral_constant<int64_t, kBlock>{});
}

// [begin, end) of the longest run of equal values in v[0, n), n ≥ 1.
std::pair<int64_t, int64_t> longestRun(const int64_t* v, int64_t n) {
  int64_t best = 0, bestEnd = std::min<int64_t>(n, 1), from = 0;
  for (int64_t i = 1; i <= n; ++i) {
    if (i == n || v[i] != v[from]) {
      if (i - from > bestEnd - best) {
        best = from;
        bestEnd = i;
      }
      from = i;
    }
  }
  return {best, bestEnd};
}

// Adds a source row's alphas to the column sums and, with kKeep, keeps them in the ring.
template <bool kKeep, typename Source>
SHIMMERLY_INLINE void addAlphaRow(const Source* __restrict row, int64_t ncol,
                                  uint32_t* __restrict sums, uint8_t* __restrict kept) {
  for (int64_t j = 0; j < ncol; ++j) {
    const uint32_t a = alphaOf(row[j]);
    sums[j] += a;
    if constexpr (kKeep) kept[j] = static_cast<uint8_t>(a);
  }
}

}  // namespace shimmerly::spread_kernels
