// Per-row kernels of the fast spread, first part: the running sums of a row and the sweeps that
// slide the column sums by one row and take the row's prefixes, plain and for each vector set.
// Included by spread_band.cpp only, where every set's band inlines them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "core/isa_dispatch.h"
#include "glow/spread_plan.h"

namespace shimmerly::spread_kernels {

SHIMMERLY_INLINE void scanGeneric(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  for (int64_t j = 0; j < n; ++j) {
    carry += in[j];
    out[j] = carry;
  }
}

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
// The running sums of eight values within a vector.
inline __m256i prefixOf8(__m256i x) {
  x = _mm256_add_epi32(x, _mm256_slli_si256(x, 4));
  x = _mm256_add_epi32(x, _mm256_slli_si256(x, 8));
  // Carry the low lane's total into the high lane.
  __m256i t = _mm256_shuffle_epi32(x, 0xFF);
  t = _mm256_permute2x128_si256(t, t, 0x08);
  return _mm256_add_epi32(x, t);
}

// Running sums, eight at a time. The carry grows by each block's own total, taken from the
// block alone: one addition on the chain from block to block, where adding the previous sum
// would wait for a lane permutation as well. Sums are modulo 2^32 either way.
inline void scanAvx2(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  __m256i c = _mm256_set1_epi32(static_cast<int>(carry));
  const __m256i last = _mm256_set1_epi32(7);
  int64_t j = 0;
  for (; j + 8 <= n; j += 8) {
    const __m256i x = prefixOf8(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + j)));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), _mm256_add_epi32(x, c));
    c = _mm256_add_epi32(c, _mm256_permutevar8x32_epi32(x, last));
  }
  scanGeneric(in + j, out + j, n - j, static_cast<uint32_t>(_mm256_cvtsi256_si32(c)));
}
#include "core/isa_region_end.h"
#endif

struct GenericScan {
  SHIMMERLY_INLINE void operator()(const uint32_t* in, uint32_t* out, int64_t n,
                                   uint32_t carry) const {
    scanGeneric(in, out, n, carry);
  }
};
#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
struct Scan {
  SHIMMERLY_INLINE void operator()(const uint32_t* in, uint32_t* out, int64_t n,
                                   uint32_t carry) const {
    scanAvx2(in, out, n, carry);
  }
};
// The same scans in a band that may use AVX-512: its sweeps take sixteen columns at a time and
// its colour rows eight.
#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
struct Scan : avx2::Scan {};
#include "core/isa_region_end.h"
#endif

// Adds the five contributions of source row y, columns (xs, xe], to the column sums of a
// colour pass (one-channel passes use addAlphaRow).
SHIMMERLY_INLINE void addRow(const uint32_t* __restrict row, int64_t ncol,
                             uint32_t* const* __restrict stored) {
  for (int64_t j = 0; j < ncol; ++j) {
    const uint32_t p = row[j];
    const uint32_t a = p >> 24;
    const uint32_t m = 0u - static_cast<uint32_t>(a != 0);
    stored[0][j] += a;
    stored[1][j] += p & 0xFFu & m;
    stored[2][j] += (p >> 8) & 0xFFu & m;
    stored[3][j] += (p >> 16) & 0xFFu & m;
    stored[4][j] += m & 1u;
  }
}

// Contribution of a pixel word to channel c (alpha, red, green, blue, count, and 5: alpha and
// count in one lane, see kPackedCountShift): transparent pixels contribute nothing.
inline constexpr int kPackedChannel = 5;
SHIMMERLY_INLINE uint32_t contribution(uint32_t p, int c) {
  const uint32_t a = p >> 24;
  const uint32_t m = 0u - static_cast<uint32_t>(a != 0);
  switch (c) {
    case 0:
      return a;
    case 1:
      return p & 0xFFu & m;
    case 2:
      return (p >> 8) & 0xFFu & m;
    case 3:
      return (p >> 16) & 0xFFu & m;
    case kPackedChannel:
      return a + (m & (1u << kPackedCountShift));
    default:
      return m & 1u;
  }
}

template <int kC>
SHIMMERLY_INLINE void slideChannel(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                   uint32_t* __restrict stored, uint32_t* __restrict vi,
                                   uint32_t* __restrict vo, int64_t ncol) {
  for (int64_t j = 0; j < ncol; ++j) {
    const uint32_t c1 = contribution(e1[j], kC), c2 = contribution(e2[j], kC);
    const uint32_t s = stored[j];
    vi[j] = s - c1;
    vo[j] = s + c2;
    stored[j] = s + c2 - c1;
  }
}

// The alpha of a source pixel: a pixel word's high byte, or an alpha byte as it is.
SHIMMERLY_INLINE uint32_t alphaOf(uint32_t word) {
  return word >> 24;
}
SHIMMERLY_INLINE uint32_t alphaOf(uint8_t alpha) {
  return alpha;
}

// The alpha column sums slid by one row: the leaving row's alphas come from `leaving` (or are 0
// when kLeave is false), the entering row's are read from the source and, with kKeep, kept in
// the ring (no row enters when kEnter is false).
template <bool kLeave, bool kEnter, bool kKeep, typename Source>
SHIMMERLY_INLINE void slideAlpha(const Source* __restrict e2, const uint8_t* __restrict leaving,
                                 uint8_t* __restrict entering, uint32_t* __restrict sums,
                                 uint32_t* __restrict inner, uint32_t* __restrict outer,
                                 int64_t ncol) {
  for (int64_t j = 0; j < ncol; ++j) {
    const uint32_t a1 = kLeave ? leaving[j] : 0u;
    const uint32_t a2 = kEnter ? alphaOf(e2[j]) : 0u;
    const uint32_t sum = sums[j];
    if constexpr (kEnter && kKeep) entering[j] = static_cast<uint8_t>(a2);
    inner[j] = sum - a1;
    outer[j] = sum + a2;
    sums[j] = sum + a2 - a1;
  }
}

// One step of a fused sweep (see slideScanAlphaAvx2) for one column, with the carries as plain
// values: the column sum slid by the leaving value c1 and the entering value c2, and the inner
// and outer row prefixes pi and po.
SHIMMERLY_INLINE void slideScanOne(uint32_t c1, uint32_t c2, uint32_t& sum, uint32_t& pi,
                                   uint32_t& po, uint32_t& carryI, uint32_t& carryO) {
  carryI += sum - c1;
  carryO += sum + c2;
  sum = sum + c2 - c1;
  pi = carryI;
  po = carryO;
}

// One row's step on the prefix ring of a colour pass (see spreadBandBody), lane by lane, every
// array from column 0: the entering row's contributions (ringContributions16 of `words`) taken
// into their row prefixes; the inner prefixes pi moved on by one row, with the ring row
// `rising` (the inner box's new top row) added and the ring row `leaving` taken away; and the
// outer prefixes po, the inner ones with the leaving and the entering rows added. The entering
// row takes the leaving row's place in the ring, each block written once it is read. The
// running sums within a row advance as in slideScan16. The last columns take the same steps
// with their lanes masked.
struct RingStep {
  uint32_t* leaving;
  const uint32_t* rising;
  int64_t ringStride;  // from one lane of a ring row to the next
  uint32_t* pi;
  uint32_t* po;
  int64_t prefixStride;  // from one lane of pi or po to the next
};

// The three lanes of a pixel word on the prefix ring (see kBlueNibbleShift): alpha and count,
// red and blue's low nibble, green and blue's high nibble; a transparent pixel contributes
// nothing.
SHIMMERLY_INLINE void ringContributions(uint32_t w, uint32_t (&out)[kRingLanes]) {
  const uint32_t a = w >> 24;
  const uint32_t m = 0u - static_cast<uint32_t>(a != 0);
  out[0] = a + (m & (1u << kPackedCountShift));
  out[1] = ((w & 0xFFu) | (((w >> 16) & 0xFu) << kBlueNibbleShift)) & m;
  out[2] = (((w >> 8) & 0xFFu) | (((w >> 20) & 0xFu) << kBlueNibbleShift)) & m;
}

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
// Eight source alphas, widened to 32 bits.
inline __m256i alphas8(const uint8_t* a) {
  return _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(a)));
}
inline __m256i alphas8(const uint32_t* words) {
  return _mm256_srli_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(words)), 24);
}

// One step of a sweep over eight columns: the column sums slid by the leaving values c1 and the
// entering values c2, and the inner and outer row prefixes written from the running carries ci
// and co. Each carry grows by its block's own total (see scanAvx2).
SHIMMERLY_INLINE void slideScan8(__m256i c1, __m256i c2, uint32_t* __restrict sums,
                                 uint32_t* __restrict pi, uint32_t* __restrict po, __m256i& ci,
                                 __m256i& co) {
  const __m256i last = _mm256_set1_epi32(7);
  const __m256i sum = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(sums));
  const __m256i outer = _mm256_add_epi32(sum, c2);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(sums), _mm256_sub_epi32(outer, c1));
  const __m256i xi = prefixOf8(_mm256_sub_epi32(sum, c1));
  const __m256i xo = prefixOf8(outer);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(pi), _mm256_add_epi32(xi, ci));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(po), _mm256_add_epi32(xo, co));
  ci = _mm256_add_epi32(ci, _mm256_permutevar8x32_epi32(xi, last));
  co = _mm256_add_epi32(co, _mm256_permutevar8x32_epi32(xo, last));
}

// The carry of a sweep's vector part, for its columns one by one.
inline uint32_t carryOf(__m256i c) {
  return static_cast<uint32_t>(_mm256_cvtsi256_si32(c));
}

// slideAlpha and the two row prefixes of its inner and outer sums in one sweep: the sums go
// straight from registers into the prefixes pi and po (from their column 0 on), and the two
// running sums advance side by side. The sweep starts at column `from` with the running carries
// ci and co (zero at column 0).
template <bool kLeave, bool kEnter, bool kKeep, typename Source>
inline void slideScanAlphaAvx2(const Source* __restrict e2, const uint8_t* __restrict leaving,
                               uint8_t* __restrict entering, uint32_t* __restrict sums,
                               uint32_t* __restrict pi, uint32_t* __restrict po, int64_t ncol,
                               int64_t from, __m256i ci, __m256i co) {
  const __m256i zero = _mm256_setzero_si256();
  // Byte 0 of each 32-bit value to the front of its lane, then the high lane's four beside the
  // low lane's.
  const __m256i lowBytes =
      _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8, 12, -1,
                       -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i joinLanes = _mm256_setr_epi32(0, 4, 0, 0, 0, 0, 0, 0);
  int64_t j = from;
  for (; j + 8 <= ncol; j += 8) {
    const __m256i a1 = kLeave ? alphas8(leaving + j) : zero;
    const __m256i a2 = kEnter ? alphas8(e2 + j) : zero;
    if constexpr (kEnter && kKeep) {
      const __m256i packed =
          _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(a2, lowBytes), joinLanes);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(entering + j), _mm256_castsi256_si128(packed));
    }
    slideScan8(a1, a2, sums + j, pi + j, po + j, ci, co);
  }
  uint32_t carryI = carryOf(ci), carryO = carryOf(co);
  for (; j < ncol; ++j) {
    const uint32_t a1 = kLeave ? leaving[j] : 0u;
    const uint32_t a2 = kEnter ? alphaOf(e2[j]) : 0u;
    if constexpr (kEnter && kKeep) entering[j] = static_cast<uint8_t>(a2);
    slideScanOne(a1, a2, sums[j], pi[j], po[j], carryI, carryO);
  }
}

// The whole sweep, from column 0.
template <bool kLeave, bool kEnter, bool kKeep, typename Source>
inline void slideScanAlphaAvx2(const Source* __restrict e2, const uint8_t* __restrict leaving,
                               uint8_t* __restrict entering, uint32_t* __restrict sums,
                               uint32_t* __restrict pi, uint32_t* __restrict po, int64_t ncol) {
  const __m256i zero = _mm256_setzero_si256();
  slideScanAlphaAvx2<kLeave, kEnter, kKeep>(e2, leaving, entering, sums, pi, po, ncol, 0, zero,
                                            zero);
}
#include "core/isa_region_end.h"
#endif

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
// Adds `rows` rows of alpha bytes, the first at `first` and each `stride` bytes after the one
// before, to the column sums of the columns [0, ncol): a band's starting sums, a box's height of
// rows. Rather than adding each row into the 32-bit sums, 64 columns at a time are summed down
// the rows in 16-bit lanes that stay in registers (257 bytes of at most 255 still fit) and
// widened once per 257 rows: a third of the instructions per byte. The columns after the last
// 64 are added row by row. The sums are the same.
constexpr int64_t kRowsPer16BitSum = 257;

// Sixteen bytes widened to 16-bit lanes; eight 16-bit sums widened and added to 32-bit ones.
inline __m256i bytesAsWords(const uint8_t* at) {
  return _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)));
}
inline void addWidened(uint32_t* at, __m128i words) {
  __m256i* const to = reinterpret_cast<__m256i*>(at);
  _mm256_storeu_si256(to, _mm256_add_epi32(_mm256_loadu_si256(to), _mm256_cvtepu16_epi32(words)));
}

inline void addAlphaRowsAvx2(const uint8_t* first, int64_t stride, int64_t rows, int64_t ncol,
                             uint32_t* __restrict sums) {
  const int64_t blocked = ncol / 64 * 64;
  for (int64_t x = 0; x < blocked; x += 64) {
    for (int64_t y0 = 0; y0 < rows; y0 += kRowsPer16BitSum) {
      __m256i s0 = _mm256_setzero_si256(), s1 = s0, s2 = s0, s3 = s0;
      const uint8_t* row = first + y0 * stride + x;
      const int64_t y1 = std::min(rows, y0 + kRowsPer16BitSum);
      for (int64_t y = y0; y < y1; ++y, row += stride) {
        s0 = _mm256_add_epi16(s0, bytesAsWords(row));
        s1 = _mm256_add_epi16(s1, bytesAsWords(row + 16));
        s2 = _mm256_add_epi16(s2, bytesAsWords(row + 32));
        s3 = _mm256_add_epi16(s3, bytesAsWords(row + 48));
      }
      const __m256i block[4] = {s0, s1, s2, s3};
      for (int k = 0; k < 4; ++k) {
        addWidened(sums + x + 16 * k, _mm256_castsi256_si128(block[k]));
        addWidened(sums + x + 16 * k + 8, _mm256_extracti128_si256(block[k], 1));
      }
    }
  }
  for (int64_t y = 0; y < rows && blocked < ncol; ++y) {
    const uint8_t* row = first + y * stride;
    for (int64_t j = blocked; j < ncol; ++j) sums[j] += row[j];
  }
}

// Channel kC's contributions of eight pixel words (see contribution).
template <int kC>
inline __m256i contributions8(const uint32_t* words) {
  const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(words));
  const __m256i a = _mm256_srli_epi32(w, 24);
  if constexpr (kC == 0) return a;
  const __m256i transparent = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
  const __m256i low = _mm256_set1_epi32(0xFF);
  if constexpr (kC == 1) return _mm256_andnot_si256(transparent, _mm256_and_si256(w, low));
  if constexpr (kC == 2)
    return _mm256_andnot_si256(transparent, _mm256_and_si256(_mm256_srli_epi32(w, 8), low));
  if constexpr (kC == 3)
    return _mm256_andnot_si256(transparent, _mm256_and_si256(_mm256_srli_epi32(w, 16), low));
  if constexpr (kC == kPackedChannel)
    return _mm256_add_epi32(
        a, _mm256_andnot_si256(transparent, _mm256_set1_epi32(1 << kPackedCountShift)));
  return _mm256_andnot_si256(transparent, _mm256_set1_epi32(1));
}

// slideChannel and the two row prefixes of its inner and outer sums in one sweep, as
// slideScanAlphaAvx2 does for one-channel passes: the leaving row's contributions come from e1,
// the entering row's from e2, and the prefixes go to pi and po from their column 0 on.
template <int kC>
inline void slideScanChannelAvx2(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                 uint32_t* __restrict sums, uint32_t* __restrict pi,
                                 uint32_t* __restrict po, int64_t ncol, int64_t from, __m256i ci,
                                 __m256i co) {
  int64_t j = from;
  for (; j + 8 <= ncol; j += 8)
    slideScan8(contributions8<kC>(e1 + j), contributions8<kC>(e2 + j), sums + j, pi + j, po + j, ci,
               co);
  uint32_t carryI = carryOf(ci), carryO = carryOf(co);
  for (; j < ncol; ++j)
    slideScanOne(contribution(e1[j], kC), contribution(e2[j], kC), sums[j], pi[j], po[j], carryI,
                 carryO);
}

// The whole sweep, from column 0.
template <int kC>
inline void slideScanChannelAvx2(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                 uint32_t* __restrict sums, uint32_t* __restrict pi,
                                 uint32_t* __restrict po, int64_t ncol) {
  const __m256i zero = _mm256_setzero_si256();
  slideScanChannelAvx2<kC>(e1, e2, sums, pi, po, ncol, 0, zero, zero);
}

inline __m256i loadWords8(const uint32_t* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

// ringContributions of eight pixel words.
inline void ringContributions8(__m256i w, __m256i (&out)[kRingLanes]) {
  const __m256i a = _mm256_srli_epi32(w, 24);
  const __m256i transparent = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
  const __m256i low = _mm256_set1_epi32(0xFF);
  const __m256i nibble = _mm256_set1_epi32(static_cast<int32_t>(0xFu << kBlueNibbleShift));
  out[0] = _mm256_add_epi32(
      a, _mm256_andnot_si256(transparent, _mm256_set1_epi32(1 << kPackedCountShift)));
  out[1] = _mm256_andnot_si256(
      transparent,
      _mm256_or_si256(_mm256_and_si256(w, low),
                      _mm256_and_si256(_mm256_slli_epi32(w, kBlueNibbleShift - 16), nibble)));
  out[2] = _mm256_andnot_si256(
      transparent,
      _mm256_or_si256(_mm256_and_si256(_mm256_srli_epi32(w, 8), low),
                      _mm256_and_si256(_mm256_srli_epi32(w, 20 - kBlueNibbleShift), nibble)));
}

// One row's step on the prefix ring (see RingStep) eight columns at a time, the columns after
// the last eight one by one. Each block's carry is the last running sum of the block before.
inline void ringStepAvx2(const uint32_t* __restrict words, const RingStep& s, int64_t from,
                         int64_t to, uint32_t (&carries)[kRingLanes]) {
  const __m256i last = _mm256_set1_epi32(7);
  __m256i carry[kRingLanes];
  for (int k = 0; k < kRingLanes; ++k) carry[k] = _mm256_set1_epi32(static_cast<int>(carries[k]));
  uint32_t* __restrict turning = s.leaving;
  const uint32_t* __restrict risingRow = s.rising;
  uint32_t* __restrict piRow = s.pi;
  uint32_t* __restrict poRow = s.po;
  const int64_t rs = s.ringStride, ps = s.prefixStride;
  int64_t j = from;
  for (; j + 8 <= to; j += 8) {
    __m256i c[kRingLanes];
    ringContributions8(loadWords8(words + j), c);
    for (int k = 0; k < kRingLanes; ++k) {
      const __m256i x = prefixOf8(c[k]);
      const __m256i row = _mm256_add_epi32(x, carry[k]);
      carry[k] = _mm256_permutevar8x32_epi32(row, last);
      uint32_t* const at = turning + k * rs + j;
      uint32_t* const innerAt = piRow + k * ps + j;
      const __m256i leaving = loadWords8(at);
      const __m256i inner = _mm256_sub_epi32(
          _mm256_add_epi32(loadWords8(innerAt), loadWords8(risingRow + k * rs + j)), leaving);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(at), row);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(innerAt), inner);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(poRow + k * ps + j),
                          _mm256_add_epi32(_mm256_add_epi32(inner, leaving), row));
    }
  }
  for (int k = 0; k < kRingLanes; ++k) carries[k] = carryOf(carry[k]);
  for (; j < to; ++j) {
    uint32_t c[kRingLanes];
    ringContributions(words[j], c);
    for (int k = 0; k < kRingLanes; ++k) {
      carries[k] += c[k];
      const uint32_t leaving = turning[k * rs + j];
      const uint32_t inner = piRow[k * ps + j] + risingRow[k * rs + j] - leaving;
      turning[k * rs + j] = carries[k];
      piRow[k * ps + j] = inner;
      poRow[k * ps + j] = inner + leaving + carries[k];
    }
  }
}

#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
// The AVX-512 sweeps go on with the AVX2 ones after their last block.
using namespace avx2;

// The same sweeps sixteen columns at a time with AVX-512, whose running sums within a block take
// four steps and no lane crossing of their own; the columns after the last sixteen go on with
// the AVX2 sweeps from the carries reached (every lane of a carry holds the same value).

// The low eight lanes of a vector.
inline __m256i lowHalf(__m512i x) {
  return _mm512_maskz_extracti32x8_epi32(kEight, x, 0);
}

// The running sums of sixteen values within a vector.
template <int kBy>
inline __m512i shiftedUp(__m512i x) {
  return _mm512_maskz_alignr_epi32(kSixteen, x, _mm512_setzero_si512(), 16 - kBy);
}
inline __m512i prefixOf16(__m512i x) {
  x = _mm512_add_epi32(x, shiftedUp<1>(x));
  x = _mm512_add_epi32(x, shiftedUp<2>(x));
  x = _mm512_add_epi32(x, shiftedUp<4>(x));
  return _mm512_add_epi32(x, shiftedUp<8>(x));
}

// slideScan8 over sixteen columns.
SHIMMERLY_INLINE void slideScan16(__m512i c1, __m512i c2, uint32_t* __restrict sums,
                                  uint32_t* __restrict pi, uint32_t* __restrict po, __m512i& ci,
                                  __m512i& co) {
  const __m512i last = _mm512_set1_epi32(15);
  const __m512i sum = _mm512_loadu_si512(sums);
  const __m512i outer = _mm512_add_epi32(sum, c2);
  _mm512_storeu_si512(sums, _mm512_sub_epi32(outer, c1));
  const __m512i xi = prefixOf16(_mm512_sub_epi32(sum, c1));
  const __m512i xo = prefixOf16(outer);
  _mm512_storeu_si512(pi, _mm512_add_epi32(xi, ci));
  _mm512_storeu_si512(po, _mm512_add_epi32(xo, co));
  ci = _mm512_add_epi32(ci, _mm512_maskz_permutexvar_epi32(kSixteen, last, xi));
  co = _mm512_add_epi32(co, _mm512_maskz_permutexvar_epi32(kSixteen, last, xo));
}

inline __m512i alphas16(const uint8_t* a) {
  return _mm512_maskz_cvtepu8_epi32(kSixteen, _mm_loadu_si128(reinterpret_cast<const __m128i*>(a)));
}
inline __m512i alphas16(const uint32_t* words) {
  return _mm512_maskz_srli_epi32(kSixteen, _mm512_loadu_si512(words), 24);
}

template <bool kLeave, bool kEnter, bool kKeep, typename Source>
inline void slideScanAlphaAvx512(const Source* __restrict e2, const uint8_t* __restrict leaving,
                                 uint8_t* __restrict entering, uint32_t* __restrict sums,
                                 uint32_t* __restrict pi, uint32_t* __restrict po, int64_t ncol) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i ci = zero, co = zero;
  int64_t j = 0;
  for (; j + 16 <= ncol; j += 16) {
    const __m512i a1 = kLeave ? alphas16(leaving + j) : zero;
    const __m512i a2 = kEnter ? alphas16(e2 + j) : zero;
    if constexpr (kEnter && kKeep) _mm512_mask_cvtepi32_storeu_epi8(entering + j, kSixteen, a2);
    slideScan16(a1, a2, sums + j, pi + j, po + j, ci, co);
  }
  slideScanAlphaAvx2<kLeave, kEnter, kKeep>(e2, leaving, entering, sums, pi, po, ncol, j,
                                            lowHalf(ci), lowHalf(co));
}

// bytesAsWords and addWidened over twice the columns.
inline __m512i bytesAsWords32(const uint8_t* at) {
  return _mm512_maskz_cvtepu8_epi16(0xFFFFFFFFu,
                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at)));
}
inline void addWidened16(uint32_t* at, __m256i words) {
  _mm512_storeu_si512(
      at, _mm512_add_epi32(_mm512_loadu_si512(at), _mm512_maskz_cvtepu16_epi32(kSixteen, words)));
}

// addAlphaRowsAvx2 over 128 columns at a time; the columns after the last 128 go on with it.
inline void addAlphaRowsAvx512(const uint8_t* first, int64_t stride, int64_t rows, int64_t ncol,
                               uint32_t* __restrict sums) {
  const int64_t blocked = ncol / 128 * 128;
  for (int64_t x = 0; x < blocked; x += 128) {
    for (int64_t y0 = 0; y0 < rows; y0 += kRowsPer16BitSum) {
      __m512i s0 = _mm512_setzero_si512(), s1 = s0, s2 = s0, s3 = s0;
      const uint8_t* row = first + y0 * stride + x;
      const int64_t y1 = std::min(rows, y0 + kRowsPer16BitSum);
      for (int64_t y = y0; y < y1; ++y, row += stride) {
        s0 = _mm512_add_epi16(s0, bytesAsWords32(row));
        s1 = _mm512_add_epi16(s1, bytesAsWords32(row + 32));
        s2 = _mm512_add_epi16(s2, bytesAsWords32(row + 64));
        s3 = _mm512_add_epi16(s3, bytesAsWords32(row + 96));
      }
      const __m512i block[4] = {s0, s1, s2, s3};
      for (int k = 0; k < 4; ++k) {
        addWidened16(sums + x + 32 * k, _mm512_maskz_extracti64x4_epi64(0xF, block[k], 0));
        addWidened16(sums + x + 32 * k + 16, _mm512_maskz_extracti64x4_epi64(0xF, block[k], 1));
      }
    }
  }
  if (blocked < ncol)
    addAlphaRowsAvx2(first + blocked, stride, rows, ncol - blocked, sums + blocked);
}

// Channel kC's contributions of sixteen pixel words (see contribution).
template <int kC>
inline __m512i contributions16(const uint32_t* words) {
  const __m512i w = _mm512_loadu_si512(words);
  const __m512i a = _mm512_maskz_srli_epi32(kSixteen, w, 24);
  if constexpr (kC == 0) return a;
  const __mmask16 opaque = _mm512_test_epi32_mask(a, a);
  const __m512i low = _mm512_set1_epi32(0xFF);
  if constexpr (kC == 4) return _mm512_maskz_mov_epi32(opaque, _mm512_set1_epi32(1));
  if constexpr (kC == kPackedChannel)
    return _mm512_mask_add_epi32(a, opaque, a, _mm512_set1_epi32(1 << kPackedCountShift));
  return _mm512_maskz_and_epi32(opaque, _mm512_maskz_srli_epi32(kSixteen, w, 8 * (kC - 1)), low);
}

template <int kC>
inline void slideScanChannelAvx512(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                   uint32_t* __restrict sums, uint32_t* __restrict pi,
                                   uint32_t* __restrict po, int64_t ncol) {
  __m512i ci = _mm512_setzero_si512(), co = ci;
  int64_t j = 0;
  for (; j + 16 <= ncol; j += 16)
    slideScan16(contributions16<kC>(e1 + j), contributions16<kC>(e2 + j), sums + j, pi + j, po + j,
                ci, co);
  slideScanChannelAvx2<kC>(e1, e2, sums, pi, po, ncol, j, lowHalf(ci), lowHalf(co));
}

// The five channels' contributions (alpha, red, green, blue, count) of sixteen pixel words w,
// as contributions16 gives them one by one.
SHIMMERLY_INLINE void allContributions16(__m512i w, __m512i (&out)[5]) {
  const __m512i a = _mm512_maskz_srli_epi32(kSixteen, w, 24);
  const __mmask16 opaque = _mm512_test_epi32_mask(a, a);
  const __m512i low = _mm512_set1_epi32(0xFF);
  out[0] = a;
  out[1] = _mm512_maskz_and_epi32(opaque, w, low);
  out[2] = _mm512_maskz_and_epi32(opaque, _mm512_maskz_srli_epi32(kSixteen, w, 8), low);
  out[3] = _mm512_maskz_and_epi32(opaque, _mm512_maskz_srli_epi32(kSixteen, w, 16), low);
  out[4] = _mm512_maskz_mov_epi32(opaque, _mm512_set1_epi32(1));
}

// The column sums and prefixes of a colour pass in one sweep: slideScanChannelAvx512 of all
// five channels, each block of sixteen leaving and entering words read once for the five. The
// columns after the last sixteen go on channel by channel with the AVX2 sweeps. (Passes with
// single-precision averages keep the prefix ring instead, see ringStepAvx512.)
struct ColourSweep {
  uint32_t* sums[5];
  uint32_t* pi[5];
  uint32_t* po[5];
};

inline void slideScanColourAvx512(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                  const ColourSweep& s, int64_t ncol) {
  const __m512i zero = _mm512_setzero_si512();
  __m512i ci[5] = {zero, zero, zero, zero, zero}, co[5] = {zero, zero, zero, zero, zero};
  int64_t j = 0;
  for (; j + 16 <= ncol; j += 16) {
    __m512i c1[5], c2[5];
    allContributions16(_mm512_loadu_si512(e1 + j), c1);
    allContributions16(_mm512_loadu_si512(e2 + j), c2);
    for (int c = 0; c < 5; ++c)
      slideScan16(c1[c], c2[c], s.sums[c] + j, s.pi[c] + j, s.po[c] + j, ci[c], co[c]);
  }
  if (j == ncol) return;
  slideScanChannelAvx2<0>(e1, e2, s.sums[0], s.pi[0], s.po[0], ncol, j, lowHalf(ci[0]),
                          lowHalf(co[0]));
  slideScanChannelAvx2<1>(e1, e2, s.sums[1], s.pi[1], s.po[1], ncol, j, lowHalf(ci[1]),
                          lowHalf(co[1]));
  slideScanChannelAvx2<2>(e1, e2, s.sums[2], s.pi[2], s.po[2], ncol, j, lowHalf(ci[2]),
                          lowHalf(co[2]));
  slideScanChannelAvx2<3>(e1, e2, s.sums[3], s.pi[3], s.po[3], ncol, j, lowHalf(ci[3]),
                          lowHalf(co[3]));
  slideScanChannelAvx2<4>(e1, e2, s.sums[4], s.pi[4], s.po[4], ncol, j, lowHalf(ci[4]),
                          lowHalf(co[4]));
}

// The three lanes of sixteen pixel words on the prefix ring (see kBlueNibbleShift): alpha and
// count, red and blue's low nibble, green and blue's high nibble; transparent pixels contribute
// nothing.
SHIMMERLY_INLINE void ringContributions16(__m512i w, __m512i (&out)[kRingLanes]) {
  const __m512i a = _mm512_maskz_srli_epi32(kSixteen, w, 24);
  const __mmask16 opaque = _mm512_test_epi32_mask(a, a);
  const __m512i low = _mm512_set1_epi32(0xFF);
  const __m512i fields = _mm512_set1_epi32(static_cast<int32_t>(0xFu << kBlueNibbleShift | 0xFFu));
  out[0] = _mm512_mask_add_epi32(a, opaque, a, _mm512_set1_epi32(1 << kPackedCountShift));
  // Bits 0 to 7 from the first value, the nibble from the second, moved there from bits 16 to 19
  // (or 20 to 23); 0xCA selects by the low-byte mask.
  const __m512i redNibble = _mm512_maskz_slli_epi32(kSixteen, w, kBlueNibbleShift - 16);
  out[1] =
      _mm512_maskz_and_epi32(opaque, _mm512_ternarylogic_epi32(low, w, redNibble, 0xCA), fields);
  const __m512i greenNibble = _mm512_maskz_srli_epi32(kSixteen, w, 20 - kBlueNibbleShift);
  out[2] = _mm512_maskz_and_epi32(
      opaque,
      _mm512_ternarylogic_epi32(low, _mm512_maskz_srli_epi32(kSixteen, w, 8), greenNibble, 0xCA),
      fields);
}

// One row's step on the prefix ring (see RingStep) sixteen columns at a time.
// The columns [from, to) of the step, from a multiple of 16, to the row's end or another; the
// running sums start from carries (0 at column 0) and end there. A block's last running sum is
// the next block's carry, taken from the row itself.
inline void ringStepAvx512(const uint32_t* __restrict words, const RingStep& s, int64_t from,
                           int64_t to, uint32_t (&carries)[kRingLanes]) {
  const __m512i last = _mm512_set1_epi32(15);
  __m512i carry[kRingLanes];
  for (int k = 0; k < kRingLanes; ++k) carry[k] = _mm512_set1_epi32(static_cast<int>(carries[k]));
  uint32_t* __restrict turning = s.leaving;
  const uint32_t* __restrict risingRow = s.rising;
  uint32_t* __restrict piRow = s.pi;
  uint32_t* __restrict poRow = s.po;
  const int64_t rs = s.ringStride, ps = s.prefixStride;
  auto block = [&](int64_t j, __mmask16 m) SHIMMERLY_INLINE_LAMBDA {
    __m512i c[kRingLanes];
    ringContributions16(_mm512_maskz_loadu_epi32(m, words + j), c);
    for (int k = 0; k < kRingLanes; ++k) {
      const __m512i x = prefixOf16(c[k]);
      const __m512i row = _mm512_add_epi32(x, carry[k]);
      carry[k] = _mm512_maskz_permutexvar_epi32(kSixteen, last, row);
      const __m512i leaving = _mm512_maskz_loadu_epi32(m, turning + k * rs + j);
      const __m512i inner =
          _mm512_sub_epi32(_mm512_add_epi32(_mm512_maskz_loadu_epi32(m, piRow + k * ps + j),
                                            _mm512_maskz_loadu_epi32(m, risingRow + k * rs + j)),
                           leaving);
      _mm512_mask_storeu_epi32(turning + k * rs + j, m, row);
      _mm512_mask_storeu_epi32(piRow + k * ps + j, m, inner);
      _mm512_mask_storeu_epi32(poRow + k * ps + j, m,
                               _mm512_add_epi32(_mm512_add_epi32(inner, leaving), row));
    }
  };
  int64_t j = from;
  for (; j + 16 <= to; j += 16) block(j, kSixteen);
  if (j < to) block(j, static_cast<__mmask16>((1u << (to - j)) - 1));
  for (int k = 0; k < kRingLanes; ++k) carries[k] = carryOf(lowHalf(carry[k]));
}
#include "core/isa_region_end.h"
#endif

#if SHIMMERLY_ISA_BUILT(neon)
#define SHIMMERLY_ISA_REGION neon
#include "core/isa_region_begin.h"
// The fused sweeps, the starting sums of alpha bytes and the running sums of a row with NEON,
// four 32-bit columns to a vector; the same integer operations modulo 2^32 as the plain kernels.

// The running sums of four values within a vector.
SHIMMERLY_INLINE uint32x4_t prefixOf4(uint32x4_t x) {
  const uint32x4_t zero = vdupq_n_u32(0);
  x = vaddq_u32(x, vextq_u32(zero, x, 3));
  return vaddq_u32(x, vextq_u32(zero, x, 2));
}

// Running sums, four at a time; the carry grows by each block's own total (see scanAvx2).
inline void scanNeon(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  uint32x4_t c = vdupq_n_u32(carry);
  int64_t j = 0;
  for (; j + 4 <= n; j += 4) {
    const uint32x4_t x = prefixOf4(vld1q_u32(in + j));
    vst1q_u32(out + j, vaddq_u32(x, c));
    c = vaddq_u32(c, vdupq_laneq_u32(x, 3));
  }
  scanGeneric(in + j, out + j, n - j, vgetq_lane_u32(c, 0));
}

struct Scan {
  SHIMMERLY_INLINE void operator()(const uint32_t* in, uint32_t* out, int64_t n,
                                   uint32_t carry) const {
    scanNeon(in, out, n, carry);
  }
};

// One step of a sweep over four columns (see slideScan8).
SHIMMERLY_INLINE void slideScan4(uint32x4_t c1, uint32x4_t c2, uint32_t* __restrict sums,
                                 uint32_t* __restrict pi, uint32_t* __restrict po, uint32x4_t& ci,
                                 uint32x4_t& co) {
  const uint32x4_t sum = vld1q_u32(sums);
  const uint32x4_t outer = vaddq_u32(sum, c2);
  vst1q_u32(sums, vsubq_u32(outer, c1));
  const uint32x4_t xi = prefixOf4(vsubq_u32(sum, c1));
  const uint32x4_t xo = prefixOf4(outer);
  vst1q_u32(pi, vaddq_u32(xi, ci));
  vst1q_u32(po, vaddq_u32(xo, co));
  ci = vaddq_u32(ci, vdupq_laneq_u32(xi, 3));
  co = vaddq_u32(co, vdupq_laneq_u32(xo, 3));
}

// Eight source alphas widened to 32 bits, as two vectors of four.
SHIMMERLY_INLINE void alphas8(const uint8_t* a, uint32x4_t& low, uint32x4_t& high) {
  const uint16x8_t w = vmovl_u8(vld1_u8(a));
  low = vmovl_u16(vget_low_u16(w));
  high = vmovl_u16(vget_high_u16(w));
}
SHIMMERLY_INLINE void alphas8(const uint32_t* words, uint32x4_t& low, uint32x4_t& high) {
  low = vshrq_n_u32(vld1q_u32(words), 24);
  high = vshrq_n_u32(vld1q_u32(words + 4), 24);
}

// slideAlpha and the two row prefixes of its inner and outer sums in one sweep (see
// slideScanAlphaAvx2), eight columns a step.
template <bool kLeave, bool kEnter, bool kKeep, typename Source>
inline void slideScanAlphaNeon(const Source* __restrict e2, const uint8_t* __restrict leaving,
                               uint8_t* __restrict entering, uint32_t* __restrict sums,
                               uint32_t* __restrict pi, uint32_t* __restrict po, int64_t ncol) {
  const uint32x4_t zero = vdupq_n_u32(0);
  uint32x4_t ci = zero, co = zero;
  int64_t j = 0;
  for (; j + 8 <= ncol; j += 8) {
    uint32x4_t a1 = zero, a1h = zero, a2 = zero, a2h = zero;
    if constexpr (kLeave) alphas8(leaving + j, a1, a1h);
    if constexpr (kEnter) alphas8(e2 + j, a2, a2h);
    if constexpr (kEnter && kKeep)
      vst1_u8(entering + j, vmovn_u16(vcombine_u16(vmovn_u32(a2), vmovn_u32(a2h))));
    slideScan4(a1, a2, sums + j, pi + j, po + j, ci, co);
    slideScan4(a1h, a2h, sums + j + 4, pi + j + 4, po + j + 4, ci, co);
  }
  uint32_t carryI = vgetq_lane_u32(ci, 0), carryO = vgetq_lane_u32(co, 0);
  for (; j < ncol; ++j) {
    const uint32_t a1 = kLeave ? leaving[j] : 0u;
    const uint32_t a2 = kEnter ? alphaOf(e2[j]) : 0u;
    if constexpr (kEnter && kKeep) entering[j] = static_cast<uint8_t>(a2);
    slideScanOne(a1, a2, sums[j], pi[j], po[j], carryI, carryO);
  }
}

// The column sums of `rows` rows of alpha bytes (see addAlphaRowsAvx2): 32 columns at a time
// summed down the rows in 16-bit lanes, widened once per 257 rows; the columns after the last
// 32 row by row.
constexpr int64_t kRowsPer16BitSum = 257;

SHIMMERLY_INLINE void addWidened(uint32_t* at, uint16x8_t words) {
  vst1q_u32(at, vaddw_u16(vld1q_u32(at), vget_low_u16(words)));
  vst1q_u32(at + 4, vaddw_u16(vld1q_u32(at + 4), vget_high_u16(words)));
}

inline void addAlphaRowsNeon(const uint8_t* first, int64_t stride, int64_t rows, int64_t ncol,
                             uint32_t* __restrict sums) {
  const int64_t blocked = ncol / 32 * 32;
  for (int64_t x = 0; x < blocked; x += 32) {
    for (int64_t y0 = 0; y0 < rows; y0 += kRowsPer16BitSum) {
      uint16x8_t s0 = vdupq_n_u16(0), s1 = s0, s2 = s0, s3 = s0;
      const uint8_t* row = first + y0 * stride + x;
      const int64_t y1 = std::min(rows, y0 + kRowsPer16BitSum);
      for (int64_t y = y0; y < y1; ++y, row += stride) {
        const uint8x16_t b0 = vld1q_u8(row), b1 = vld1q_u8(row + 16);
        s0 = vaddw_u8(s0, vget_low_u8(b0));
        s1 = vaddw_u8(s1, vget_high_u8(b0));
        s2 = vaddw_u8(s2, vget_low_u8(b1));
        s3 = vaddw_u8(s3, vget_high_u8(b1));
      }
      addWidened(sums + x, s0);
      addWidened(sums + x + 8, s1);
      addWidened(sums + x + 16, s2);
      addWidened(sums + x + 24, s3);
    }
  }
  for (int64_t y = 0; y < rows && blocked < ncol; ++y) {
    const uint8_t* row = first + y * stride;
    for (int64_t j = blocked; j < ncol; ++j) sums[j] += row[j];
  }
}

// Channel kC's contributions of four pixel words (see contribution).
template <int kC>
SHIMMERLY_INLINE uint32x4_t contributions4(const uint32_t* words) {
  const uint32x4_t w = vld1q_u32(words);
  const uint32x4_t a = vshrq_n_u32(w, 24);
  if constexpr (kC == 0) return a;
  const uint32x4_t opaque = vtstq_u32(a, a);
  const uint32x4_t low = vdupq_n_u32(0xFF);
  if constexpr (kC == 1) return vandq_u32(opaque, vandq_u32(w, low));
  if constexpr (kC == 2) return vandq_u32(opaque, vandq_u32(vshrq_n_u32(w, 8), low));
  if constexpr (kC == 3) return vandq_u32(opaque, vandq_u32(vshrq_n_u32(w, 16), low));
  if constexpr (kC == kPackedChannel)
    return vaddq_u32(a, vandq_u32(opaque, vdupq_n_u32(1u << kPackedCountShift)));
  return vandq_u32(opaque, vdupq_n_u32(1));
}

// slideChannel and the two row prefixes of its inner and outer sums in one sweep (see
// slideScanChannelAvx2).
template <int kC>
inline void slideScanChannelNeon(const uint32_t* __restrict e1, const uint32_t* __restrict e2,
                                 uint32_t* __restrict sums, uint32_t* __restrict pi,
                                 uint32_t* __restrict po, int64_t ncol) {
  uint32x4_t ci = vdupq_n_u32(0), co = ci;
  int64_t j = 0;
  for (; j + 4 <= ncol; j += 4)
    slideScan4(contributions4<kC>(e1 + j), contributions4<kC>(e2 + j), sums + j, pi + j, po + j, ci,
               co);
  uint32_t carryI = vgetq_lane_u32(ci, 0), carryO = vgetq_lane_u32(co, 0);
  for (; j < ncol; ++j)
    slideScanOne(contribution(e1[j], kC), contribution(e2[j], kC), sums[j], pi[j], po[j], carryI,
                 carryO);
}
#include "core/isa_region_end.h"
#endif

}  // namespace shimmerly::spread_kernels
