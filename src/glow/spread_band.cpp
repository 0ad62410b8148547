// The band bodies of the fast spread (see spread_band.h): one body for every kind of sums and
// width of box sums, compiled once per instruction set in that set's region, and the choice of
// the set's band at run time.
#include "glow/spread_band.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <type_traits>

#include "core/isa_dispatch.h"
#include "glow/spread_rows.h"
#include "glow/spread_scans.h"

namespace shimmerly::spread_kernels {

// What one pass sums: alpha alone, or alpha, the colours and the opaque count, or alpha alone
// with colours that follow from the alpha sums because every opaque pixel has one colour.
enum class SumMode { kAlpha, kColour, kUniform };

// The columns of a row that a prefix ring step and its colour row take at a time (a multiple of
// 16): a stretch's prefixes, ring rows and words stay in the first-level cache.
constexpr int64_t kRingStretch = 128;

// The rows [py0, py1) of one pass. Channel order in the sums: alpha, red, green, blue, count.
template <SumMode kMode, bool kWide, typename Scan>
SHIMMERLY_INLINE void spreadBandBody(const PassPlan& p, const BandRows& band, uint8_t* scratch,
                                     Scan scan) {
  const int64_t py0 = band.begin, py1 = band.end;
  constexpr bool kColour = kMode == SumMode::kColour;
  constexpr int kCh = kColour ? 5 : 1;
  const int64_t W = p.width, H = p.height;
  const int64_t ncol = p.xe - p.xs, np = p.prefixCount, n = regionWidth(p);
  // Passes with vector scans slide and take the prefixes in one sweep, with no column sums of
  // their own for the inner and outer boxes (fusedSweep, which sizes the scratch block, says
  // the same); with AVX-512 the sweeps and the colour rows take its wider vectors.
#if SHIMMERLY_ISA_BUILT(avx2)
  constexpr bool kAvx2Sweep = std::is_base_of_v<avx2::Scan, Scan>;
  constexpr bool kWideVectors = std::is_same_v<Scan, avx512::Scan>;
#else
  constexpr bool kAvx2Sweep = false;
  constexpr bool kWideVectors = false;
#endif
#if SHIMMERLY_ISA_BUILT(neon)
  constexpr bool kNeonSweep = std::is_same_v<Scan, neon::Scan>;
#else
  constexpr bool kNeonSweep = false;
#endif
  constexpr bool kFusedScan = kAvx2Sweep || kNeonSweep;
  using Arith = SumArith<kWide, !std::is_same_v<Scan, GenericScan>>;
  // A pass with single-precision averages sweeps alpha and the count in one lane (see
  // kPackedCountShift), read so by its colour rows: four lanes a column instead of five.
  [[maybe_unused]] const bool packed = kColour && !kWide && p.singleAverages;
  // With AVX2 or AVX-512 such a pass keeps the prefix ring instead of column sums: the row prefixes
  // of every source row from the one leaving the inner box to the inner box's top row, in three
  // lanes (see kBlueNibbleShift). Each row then takes the prefixes of its entering row
  // alone, and its inner and outer prefixes follow by adding and taking away ring rows, where
  // column sums need the prefixes of both boxes' sums on every row. The prefixes are the same
  // sums modulo 2^32. prefixRing (which sizes the scratch block) says the same.
  const bool onRing = kColour && kAvx2Sweep && packed;
  assert(onRing == prefixRing(p));
  const int lanes = onRing ? kRingLanes : kCh - (packed ? 1 : 0);
  Carver carve(scratch);
  uint32_t* stored[kCh];
  uint32_t* vi[kCh];
  uint32_t* vo[kCh];
  uint32_t* pi[kCh];
  uint32_t* po[kCh];
  // The prefix ring's pi and po lie lane after lane, prefixStride apart.
  const int64_t prefixStride = (np + 15) / 16 * 16;
  for (int c = 0; c < kCh; ++c) {
    stored[c] = carve.take<uint32_t>(onRing ? 0 : ncol);
    vi[c] = carve.take<uint32_t>(kFusedScan ? 0 : ncol);
    vo[c] = carve.take<uint32_t>(kFusedScan ? 0 : ncol);
    pi[c] = carve.take<uint32_t>(c < lanes ? (onRing ? prefixStride : np) : 0);
  }
  for (int c = 0; c < kCh; ++c)
    po[c] = carve.take<uint32_t>(c < lanes ? (onRing ? prefixStride : np) : 0);
  const int64_t ringRowCount = onRing ? prefixRingRows(p) : 0;
  const int64_t ringStride = prefixRingStride(p);
  uint32_t* prefixes = carve.take<uint32_t>(ringRowCount * kRingLanes * ringStride);
  // Lane k of source row y in the prefix ring; y may be below 0 while a band starts.
  [[maybe_unused]] auto ringRowOf = [&](int64_t y, int k) SHIMMERLY_INLINE_LAMBDA {
    const int64_t slot = (y % ringRowCount + ringRowCount) % ringRowCount;
    return prefixes + (slot * kRingLanes + k) * ringStride;
  };
  uint32_t* zeroRow = carve.take<uint32_t>(ncol);
  // Colour passes keep no ring, nor do passes whose source is alpha bytes: the leaving row is
  // read from the source itself, as compact as the ring and written by no one.
  const bool ringless = kColour || p.srcAlpha != nullptr;
  const int64_t ringCount = ringless ? 1 : ringRows(p);
  uint8_t* ring = carve.take<uint8_t>(ringless ? 0 : ringCount * ncol);
  auto ringRow = [&](int64_t y) SHIMMERLY_INLINE_LAMBDA { return ring + (y % ringCount) * ncol; };
  // A colour pass writing its rows straight back keeps the words of the rows between the one
  // leaving the column sums and the one entering them, since the leaving row of the raster may
  // already hold this band's output.
  const bool wordRing = kColour && p.direct != nullptr && !onRing;
  const int64_t wordRingCount = wordRing ? ringRows(p) : 1;
  uint32_t* keptWords = carve.take<uint32_t>(wordRing ? wordRingCount * ncol : 0);
  auto wordRow = [&](int64_t y)
                     SHIMMERLY_INLINE_LAMBDA { return keptWords + (y % wordRingCount) * ncol; };
  // A whole raster row of spread words for the rows written straight back.
  uint32_t* spreadRow = carve.take<uint32_t>(!kColour || p.direct ? W : 0);
  double* rai = carve.take<double>(n);
  double* rao = carve.take<double>(n);
  // Box widths by column.
  int64_t* wI = carve.take<int64_t>(n);
  int64_t* wO = carve.take<int64_t>(n);
  // Per-pixel values of the current row (colour passes only, but for the prefix ring's, whose
  // rows keep every value in registers).
  const int64_t nc = kColour ? n : 0;
  const int64_t nv = onRing ? 0 : nc;
  int32_t* ai = carve.take<int32_t>(nv);
  int32_t* ao = carve.take<int32_t>(nv);
  int32_t* alpha = carve.take<int32_t>(nv);
  int32_t* red = carve.take<int32_t>(nv);
  int32_t* green = carve.take<int32_t>(nv);
  int32_t* blue = carve.take<int32_t>(nv);
  double* rni = carve.take<double>(nv);
  double* rno = carve.take<double>(nv);
  float* rniSingle = carve.take<float>(p.singleAverages ? nv : 0);
  float* rnoSingle = carve.take<float>(p.singleAverages ? nv : 0);
  // The inner and outer box areas by column (colour passes only).
  uint32_t* areaI = carve.take<uint32_t>(nc);
  uint32_t* areaO = carve.take<uint32_t>(nc);
  // Their single-precision reciprocals, for passes that take the colour averages so.
  float* areaRecipI = carve.take<float>(nc);
  float* areaRecipO = carve.take<float>(nc);
  // Prefix ring rows: per column, whether either box's alpha average may part from the quotient.
  uint8_t* alphaInexact = carve.take<uint8_t>(onRing ? n : 0);
  assert(carve.used(scratch) <= scratchBytes(p));

  // With the edge table, the region's columns [0, edge0) read its left part, [edge1, n) its
  // right part, and the columns between take the two plain values; the box widths by column
  // are then not needed.
  const bool edges = !kColour && p.edgeTable != nullptr;
  const int64_t widths = edges ? 1 : n;
  for (int64_t i = 0; i < widths; ++i) {
    const int64_t px = p.rx0 + i;
    wI[i] = std::min(px + p.rc, W - 1) - std::max<int64_t>(px - p.lc, 0);
    wO[i] = std::min(px + p.rc + 1, W - 1) - std::max<int64_t>(px - p.lc - 1, 0);
  }
  const auto [innerBeginI, innerEndI] = longestRun(wI, widths);
  const auto [innerBeginO, innerEndO] = longestRun(wO, widths);
  // Columns [inside0, inside1), where both boxes have their run's width: one-channel passes
  // take the two reciprocals there as plain values instead of arrays.
  const int64_t inside0 = std::max(innerBeginI, innerBeginO);
  const int64_t inside1 = std::max(inside0, std::min(innerEndI, innerEndO));
  double insideI = 0, insideO = 0;
  const int64_t edge0 = edges ? std::clamp(p.edgeLeft - p.rx0, int64_t{0}, n) : 0;
  const int64_t edge1 = edges ? std::clamp(p.edgeRight - p.rx0, edge0, n) : 0;
  const double* edgeRowI = nullptr;
  const double* edgeRowO = nullptr;
  // The three parts of a row, each with its reciprocals: rowPart(from, to, inner, outer, how,
  // cut), with how a Recip and cut a Cut constant.
  auto rowParts = [&](auto&& rowPart) SHIMMERLY_INLINE_LAMBDA {
    const std::integral_constant<Recip, Recip::kEach> each;
    const std::integral_constant<Recip, Recip::kAll> all;
    const std::integral_constant<Cut, Cut::kNone> uncut;
    if (edges) {
      // Column i of the region is column px = rx0 + i of the frame. The outer box of a column
      // is as wide as the inner box of its neighbour towards the middle (see useEdgeTable).
      if (edge0 > 0)
        rowPart(0, edge0, edgeRowI + p.rx0, edgeRowO + p.rx0 + 1, each,
                std::integral_constant<Cut, Cut::kLeft>{});
      rowPart(edge0, edge1, &insideI, &insideO, all, uncut);
      if (edge1 < n) {
        const int64_t k = p.edgeLeft + 1 + (p.rx0 + edge1 - p.edgeRight);
        rowPart(edge1, n, edgeRowI + k + 1, edgeRowO + k, each,
                std::integral_constant<Cut, Cut::kRight>{});
      }
    } else {
      rowPart(0, inside0, rai, rao, each, uncut);
      rowPart(inside0, inside1, &insideI, &insideO, all, uncut);
      rowPart(inside1, n, rai + inside1, rao + inside1, each, uncut);
    }
  };
  std::memset(zeroRow, 0, static_cast<size_t>(ncol) * 4);
  if (!onRing)
    for (int c = 0; c < kCh; ++c) std::memset(stored[c], 0, static_cast<size_t>(ncol) * 4);
  // Prefix indices [0, kxs] stand before every column and stay 0; indices above kxe stand after
  // the last column and take the row's last prefix. Where the sides cut the boxes, the side
  // parts read neither kind (see Cut), so the zeros are written once and the row's last prefix
  // only up to index edge1 + d, the last that the other parts read.
  const int64_t kxs = p.xs - p.t0;
  const int64_t kxe = kxs + ncol;
  const int64_t d = p.rc + p.lc + 1;
  const int64_t padEnd = edges ? std::min(edge1 + d + 1, np) : np;
  assert(!edges || edge0 == 0 || edge0 <= kxs);
  assert(!edges || edge1 == n || edge1 + d >= kxe);
  for (int c = 0; c < lanes; ++c) {
    std::fill(pi[c], pi[c] + kxs + 1, 0u);
    std::fill(po[c], po[c] + kxs + 1, 0u);
  }
  // The column sums before the first row: rows max(py0 − l, 1) to min(py0 + r, H − 1), that is
  // the inner box's rows plus the row just below them.
  const int64_t firstRow = std::max<int64_t>(py0 - p.lv, 1);
  const int64_t lastRow = std::min(py0 + p.rv, H - 1);
  // One row's step on the prefix ring: the row py + rv + 1 enters (a row of zeros where it lies
  // outside rows 1 to H − 1, none of which enter any box).
  [[maybe_unused]] auto ringStep = [&](int64_t py, int64_t from, int64_t to,
                                       uint32_t(&carries)[kRingLanes]) SHIMMERLY_INLINE_LAMBDA {
#if SHIMMERLY_ISA_BUILT(avx2)
    const int64_t entering = py + p.rv + 1;
    const uint32_t* words =
        entering >= 1 && entering <= H - 1 ? p.src + entering * W + p.xs + 1 : zeroRow;
    const RingStep step{ringRowOf(py - p.lv, 0), ringRowOf(py + p.rv, 0), ringStride,
                        pi[0] + kxs + 1,         po[0] + kxs + 1,         prefixStride};
    if constexpr (kWideVectors) {
      avx512::ringStepAvx512(words, step, from, to, carries);
    } else if constexpr (kAvx2Sweep) {
      avx2::ringStepAvx2(words, step, from, to, carries);
    }
#else
    (void)py, (void)from, (void)to, (void)carries;
#endif
  };
  if (onRing) {
    // From an empty ring and inner prefixes of 0, the steps of the rows before the band's first
    // bring in its source rows py0 − lv to py0 + rv: the rows its first step reads.
    std::memset(prefixes, 0, static_cast<size_t>(ringRowCount * kRingLanes * ringStride) * 4);
    for (int c = 0; c < lanes; ++c) std::fill(pi[c] + kxs + 1, pi[c] + kxe + 1, 0u);
    for (int64_t py = py0 - p.lv - p.rv - 1; py < py0; ++py) {
      uint32_t carries[kRingLanes] = {};
      ringStep(py, 0, ncol, carries);
    }
  } else if (band.carried[0]) {
    // The previous pass added these rows up as it wrote them.
    const uint32_t* __restrict part0 = band.carried[0] + p.xs + 1;
    const uint32_t* __restrict part1 = band.carried[1] + p.xs + 1;
    for (int64_t j = 0; j < ncol; ++j) stored[0][j] = part0[j] + part1[j];
  } else if (kFusedScan && p.srcAlpha) {
#if SHIMMERLY_ISA_BUILT(avx2)
    if (firstRow <= lastRow) {
      const uint8_t* first = p.srcAlpha + firstRow * W + p.xs + 1;
      if constexpr (kWideVectors) {
        avx512::addAlphaRowsAvx512(first, W, lastRow - firstRow + 1, ncol, stored[0]);
      } else if constexpr (kAvx2Sweep) {
        avx2::addAlphaRowsAvx2(first, W, lastRow - firstRow + 1, ncol, stored[0]);
      }
    }
#endif
#if SHIMMERLY_ISA_BUILT(neon)
    if (firstRow <= lastRow)
      neon::addAlphaRowsNeon(p.srcAlpha + firstRow * W + p.xs + 1, W, lastRow - firstRow + 1, ncol,
                             stored[0]);
#endif
  } else {
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      if (p.srcAlpha) {
        addAlphaRow<false>(p.srcAlpha + y * W + p.xs + 1, ncol, stored[0], nullptr);
      } else if constexpr (kColour) {
        addRow(p.src + y * W + p.xs + 1, ncol, stored);
        if (wordRing)
          std::memcpy(wordRow(y), p.src + y * W + p.xs + 1, static_cast<size_t>(ncol) * 4);
      } else {
        addAlphaRow<true>(p.src + y * W + p.xs + 1, ncol, stored[0], ringRow(y));
      }
    }
  }

  if constexpr (kColour) {
    if (packed && !onRing) {
      assert(!band.carried[0]);
      for (int64_t j = 0; j < ncol; ++j) stored[0][j] += stored[4][j] << kPackedCountShift;
    }
  }
  const double f = p.f, wIn = p.wIn;
  const double* __restrict recip = p.recip;
  int64_t lastHI = -1, lastHO = -1;

  for (int64_t py = py0; py < py1; ++py) {
    const int64_t below = py - p.lv, above = py + p.rv + 1;
    // Passes from alpha bytes into alpha bytes have no word rasters at all.
    const bool hasWords = p.src != nullptr;
    const uint32_t* __restrict e1 = !hasWords || below < 1 ? zeroRow
                                    : wordRing             ? wordRow(below)
                                                           : p.src + below * W + p.xs + 1;
    const uint32_t* __restrict e2 =
        hasWords && above <= H - 1 ? p.src + above * W + p.xs + 1 : zeroRow;
    // Column sums: inner = stored − row below, outer = stored + row above; then slide. One
    // loop per channel keeps each loop to a few streams the compiler can vectorise.
    if constexpr (kColour && kWideVectors) {
#if SHIMMERLY_ISA_BUILT(avx2)
      // The prefix ring is swept together with the colour row, below.
      if (!onRing) {
        const avx512::ColourSweep sweep{
            {stored[0], stored[1], stored[2], stored[3], stored[4]},
            {pi[0] + kxs + 1, pi[1] + kxs + 1, pi[2] + kxs + 1, pi[3] + kxs + 1, pi[4] + kxs + 1},
            {po[0] + kxs + 1, po[1] + kxs + 1, po[2] + kxs + 1, po[3] + kxs + 1, po[4] + kxs + 1}};
        avx512::slideScanColourAvx512(e1, e2, sweep, ncol);
      }
#endif
    } else if constexpr (kColour) {
      for (int c = 0; c < lanes && !onRing; ++c) {
        withChannel(packed && c == 0 ? kPackedChannel : c,
                    [&](auto channel) SHIMMERLY_INLINE_LAMBDA {
                      constexpr int kC = decltype(channel)::value;
#if SHIMMERLY_ISA_BUILT(avx2)
                      if constexpr (kWideVectors) {
                        avx512::slideScanChannelAvx512<kC>(e1, e2, stored[c], pi[c] + kxs + 1,
                                                           po[c] + kxs + 1, ncol);
                        return;
                      } else if constexpr (kAvx2Sweep) {
                        avx2::slideScanChannelAvx2<kC>(e1, e2, stored[c], pi[c] + kxs + 1,
                                                       po[c] + kxs + 1, ncol);
                        return;
                      }
#endif
#if SHIMMERLY_ISA_BUILT(neon)
                      if constexpr (kNeonSweep) {
                        neon::slideScanChannelNeon<kC>(e1, e2, stored[c], pi[c] + kxs + 1,
                                                       po[c] + kxs + 1, ncol);
                        return;
                      }
#endif
                      slideChannel<kC>(e1, e2, stored[c], vi[c], vo[c], ncol);
                    });
      }
    } else {
      // Alpha alone: the leaving row's alphas come from the ring, where the entering row's
      // take the slot it no longer needs; or, from alpha bytes, both come from the source.
      const bool leaves = below >= 1, enters = above <= H - 1;
      auto slideOne = [&](auto leave, auto enter, const auto* source, const uint8_t* leaving,
                          uint8_t* entering, auto keep) SHIMMERLY_INLINE_LAMBDA {
        constexpr bool kLeave = decltype(leave)::value, kEnter = decltype(enter)::value,
                       kKeep = decltype(keep)::value;
#if SHIMMERLY_ISA_BUILT(avx2)
        if constexpr (kWideVectors) {
          avx512::slideScanAlphaAvx512<kLeave, kEnter, kKeep>(
              source, leaving, entering, stored[0], pi[0] + kxs + 1, po[0] + kxs + 1, ncol);
          return;
        } else if constexpr (kAvx2Sweep) {
          avx2::slideScanAlphaAvx2<kLeave, kEnter, kKeep>(source, leaving, entering, stored[0],
                                                          pi[0] + kxs + 1, po[0] + kxs + 1, ncol);
          return;
        }
#endif
#if SHIMMERLY_ISA_BUILT(neon)
        if constexpr (kNeonSweep) {
          neon::slideScanAlphaNeon<kLeave, kEnter, kKeep>(source, leaving, entering, stored[0],
                                                          pi[0] + kxs + 1, po[0] + kxs + 1, ncol);
          return;
        }
#endif
        slideAlpha<kLeave, kEnter, kKeep>(source, leaving, entering, stored[0], vi[0], vo[0], ncol);
      };
      auto slide = [&](const auto* source, const uint8_t* leaving, uint8_t* entering, auto keep)
                       SHIMMERLY_INLINE_LAMBDA {
                         const std::true_type yes;
                         const std::false_type no;
                         if (leaves && enters) {
                           slideOne(yes, yes, source, leaving, entering, keep);
                         } else if (enters) {
                           slideOne(no, yes, source, leaving, entering, keep);
                         } else if (leaves) {
                           slideOne(yes, no, source, leaving, entering, keep);
                         } else {
                           slideOne(no, no, source, leaving, entering, keep);
                         }
                       };
      if (p.srcAlpha) {
        const uint8_t* column0 = p.srcAlpha + p.xs + 1;
        slide(column0 + (enters ? above : 0) * W, column0 + (leaves ? below : 0) * W, nullptr,
              std::false_type{});
      } else {
        slide(e2, leaves ? ringRow(below) : nullptr, enters ? ringRow(above) : nullptr,
              std::true_type{});
      }
    }
    // Row prefixes of the column sums, padded after the last column with its value.
    [[maybe_unused]] auto pad = [&] SHIMMERLY_INLINE_LAMBDA {
      for (int c = 0; c < lanes; ++c) {
        std::fill(pi[c] + kxe + 1, pi[c] + padEnd, pi[c][kxe]);
        std::fill(po[c] + kxe + 1, po[c] + padEnd, po[c][kxe]);
      }
    };
    for (int c = 0; c < lanes && !onRing; ++c) {
      if (!kFusedScan) {
        scan(vi[c], pi[c] + kxs + 1, ncol, 0u);
        scan(vo[c], po[c] + kxs + 1, ncol, 0u);
      }
      std::fill(pi[c] + kxe + 1, pi[c] + padEnd, pi[c][kxe]);
      std::fill(po[c] + kxe + 1, po[c] + padEnd, po[c][kxe]);
    }
    // Reciprocal areas change only where the boxes are cut by the bottom or top edge.
    const int64_t hI = std::min(py + p.rv, H - 1) - std::max<int64_t>(py - p.lv, 0);
    const int64_t hO = std::min(py + p.rv + 1, H - 1) - std::max<int64_t>(py - p.lv - 1, 0);
    if (hI != lastHI || hO != lastHO) {
      if (edges) {
        edgeRowI = p.edgeTable + hI * p.edgeStride;
        edgeRowO = p.edgeTable + hO * p.edgeStride;
        insideI = reciprocalOf(p.wInteriorI * hI);
        insideO = reciprocalOf(p.wInteriorO * hO);
      } else {
        insideI = fillReciprocals(rai, wI, n, innerBeginI, innerEndI, recip, hI, kColour, inside0,
                                  inside1);
        insideO = fillReciprocals(rao, wO, n, innerBeginO, innerEndO, recip, hO, kColour, inside0,
                                  inside1);
        for (int64_t i = 0; i < nc; ++i) {
          areaI[i] = static_cast<uint32_t>(wI[i] * hI);
          areaO[i] = static_cast<uint32_t>(wO[i] * hO);
        }
        if (p.singleAverages) {
          for (int64_t i = 0; i < nc; ++i) {
            areaRecipI[i] = singleReciprocal(areaI[i]);
            areaRecipO[i] = singleReciprocal(areaO[i]);
          }
        }
        if (onRing) {
          // Most columns share their areas with their neighbours: each area is looked up once
          // for its run of columns.
          uint32_t runI = 0, runO = 0;
          bool quotientI = false, quotientO = false;
          for (int64_t i = 0; i < n; ++i) {
            if (i == 0 || areaI[i] != runI) quotientI = alphaAverageIsQuotient(runI = areaI[i]);
            if (i == 0 || areaO[i] != runO) quotientO = alphaAverageIsQuotient(runO = areaO[i]);
            alphaInexact[i] = !quotientI || !quotientO;
          }
        }
      }
      lastHI = hI;
      lastHO = hO;
    }

    if (wordRing && above <= H - 1) std::memcpy(wordRow(above), e2, static_cast<size_t>(ncol) * 4);
    const bool direct = p.direct && py >= band.directBegin && py < band.directEnd;
    // A ring row that writes every channel and has no finish goes straight into the raster: the
    // ring took its source row when it entered, and the row reads no source channel.
    const bool inPlace = direct && onRing && !p.finish && p.named == 0xFFFFFFFFu;
    const uint32_t* __restrict srow = hasWords ? p.src + py * W + p.rx0 : nullptr;
    uint32_t* __restrict drow = inPlace     ? p.direct + py * W + p.rx0
                                : direct    ? spreadRow + p.rx0
                                : band.side ? band.side + sideIndex(band, py) * W + p.rx0
                                            : nullptr;
    uint8_t* __restrict arow = p.dstAlpha ? p.dstAlpha + py * W + p.rx0 : nullptr;
    const uint8_t* __restrict krow = p.outerKeep ? p.outerKeep + py * W + p.rx0 : nullptr;
    const uint32_t named = p.named;
    const uint32_t* __restrict pia = pi[0];
    const uint32_t* __restrict poa = po[0];
    if constexpr (kColour) {
      const ColourPrefixes pre{{pi[0], pi[1], pi[2], pi[3], pi[4]},
                               {po[0], po[1], po[2], po[3], po[4]}};
      const ColourRow row{
          pre,        rai,
          rao,        areaI,
          areaO,      areaRecipI,
          areaRecipO, onRing ? alphaInexact : nullptr,
          recip,      {ai, ao, alpha, red, green, blue, rni, rno, rniSingle, rnoSingle},
          named,      srow,
          drow,       n,
          d,          wIn,
          f,          p.weight24};
      if (onRing) {
#if SHIMMERLY_ISA_BUILT(avx2)
        // The ring step and the colour row a stretch of columns at a time, so that the row
        // reads its prefixes from the cache they were just written to; the columns of a stretch
        // whose boxes reach beyond it wait for the next.
        auto colourColumns = [&](int64_t begin, int64_t end) SHIMMERLY_INLINE_LAMBDA {
          if constexpr (kWideVectors) {
            avx512::colourRowSingleAvx512(row, begin, end);
          } else if constexpr (kAvx2Sweep) {
            avx2::colourRowSingleAvx2(row, begin, end);
          }
        };
        uint32_t carries[kRingLanes] = {};
        int64_t done = 0;
        const int64_t nextEntering = py + p.rv + 2;
        for (int64_t from = 0; from < ncol; from += kRingStretch) {
          const int64_t to = std::min(from + kRingStretch, ncol);
          ringStep(py, from, to, carries);
          // The next row's entering words for these columns, asked for while this row's colour
          // row runs: rows lie a frame's width apart, and on frames larger than the caches each
          // row is a stream the hardware prefetcher would find too late.
          if (nextEntering >= 1 && nextEntering <= H - 1) {
            const uint32_t* next = p.src + nextEntering * W + p.xs + 1;
            for (int64_t c = from; c < to; c += 16) __builtin_prefetch(next + c, 0, 3);
          }
          const int64_t ready = std::min(n, (kxs + to - d) / 16 * 16);
          if (to < ncol && ready > done) {
            colourColumns(done, ready);
            done = ready;
          }
        }
        pad();
        colourColumns(done, n);
#endif
      } else if constexpr (kWideVectors) {
#if SHIMMERLY_ISA_BUILT(avx2)
        avx512::colourRowAvx512<Arith>(row);
#endif
      } else if (!kWide && p.singleAverages) {
        colourRowSingleInLoops<Arith>(row);
      } else {
        colourRowInLoops<Arith, kAvx2Sweep>(row);
      }
    } else if constexpr (kMode == SumMode::kUniform) {
      const uint32_t cWord = p.cWord, cbWord = p.cbWord;
      // Output as alphas alone, as words with all four channels named (the source row is not
      // read at all, nor is it there when the source is given by its alphas), or as words
      // keeping the channels not named.
      const SpanWeights w{d, wIn, f, pia[kxe], poa[kxe]};
      auto segments = [&](auto out) SHIMMERLY_INLINE_LAMBDA {
        rowParts([&](int64_t from, int64_t to, const double* ri, const double* ro, auto each,
                     auto cut) SHIMMERLY_INLINE_LAMBDA {
          constexpr Recip kRecip = decltype(each)::value;
          inBlocks(from, to, [&](int64_t base, auto count) SHIMMERLY_INLINE_LAMBDA {
            uniformSpan<decltype(out)::value, kRecip, decltype(cut)::value, Arith>(
                pia, poa, recipFrom<kRecip>(ri, base - from), recipFrom<kRecip>(ro, base - from),
                base, count, w, cWord, cbWord, named, srow, drow, arow, krow);
          });
        });
      };
      if (krow) {
        segments(std::integral_constant<RowOut, RowOut::kOuterGlowBytes>{});
      } else if (arow) {
        segments(std::integral_constant<RowOut, RowOut::kBytes>{});
        for (int64_t t = 0; t < band.carryCount; ++t) {
          const CarryTarget& target = band.carry[t];
          if (py < target.first || py > target.last) continue;
          uint32_t* __restrict sums = target.sums + p.rx0;
          for (int64_t i = 0; i < n; ++i) sums[i] += arow[i];
        }
      } else if (named == 0xFFFFFFFFu) {
        segments(std::integral_constant<RowOut, RowOut::kWords>{});
      } else {
        segments(std::integral_constant<RowOut, RowOut::kMasked>{});
      }
    } else {
      const SpanWeights w{d, wIn, f, pia[kxe], poa[kxe]};
      auto alphaRow = [&](int64_t from, int64_t to, const double* ri, const double* ro, auto each,
                          auto cut) SHIMMERLY_INLINE_LAMBDA {
        constexpr Recip kRecip = decltype(each)::value;
        inBlocks(from, to, [&](int64_t base, auto count) SHIMMERLY_INLINE_LAMBDA {
          alphaSpan<kRecip, decltype(cut)::value, Arith>(
              pia, poa, recipFrom<kRecip>(ri, base - from), recipFrom<kRecip>(ro, base - from),
              base, count, w, named, srow, drow);
        });
      };
      rowParts(alphaRow);
    }
    if (direct && !inPlace) {
      uint32_t* row = p.direct + py * W;
      if (p.finish) {
        (*p.finish)(py, p.rx0, p.rx1, spreadRow, row);
      } else {
        std::memcpy(row + p.rx0, spreadRow + p.rx0, static_cast<size_t>(n) * 4);
      }
    }
  }
}

// The pass's kind of sums, then the width of its box sums, as compile-time choices.
template <typename Scan>
SHIMMERLY_INLINE void bandWith(const PassPlan& p, const BandRows& band, uint8_t* scratch,
                               Scan scan) {
  auto withWidth = [&](auto wide) SHIMMERLY_INLINE_LAMBDA {
    constexpr bool kWide = decltype(wide)::value;
    if (p.uniform) {
      spreadBandBody<SumMode::kUniform, kWide>(p, band, scratch, scan);
    } else if (p.colour) {
      spreadBandBody<SumMode::kColour, kWide>(p, band, scratch, scan);
    } else {
      spreadBandBody<SumMode::kAlpha, kWide>(p, band, scratch, scan);
    }
  };
  if (p.wideSums) {
    withWidth(std::true_type{});
  } else {
    withWidth(std::false_type{});
  }
}

namespace generic {
void band(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  bandWith(p, band, scratch, GenericScan{});
}
}  // namespace generic

#if SHIMMERLY_ISA_BUILT(avx2)
#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
void band(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  bandWith(p, band, scratch, Scan{});
}
#include "core/isa_region_end.h"
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
void band(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  bandWith(p, band, scratch, Scan{});
}
#include "core/isa_region_end.h"
#endif
#if SHIMMERLY_ISA_BUILT(neon)
#define SHIMMERLY_ISA_REGION neon
#include "core/isa_region_begin.h"
void band(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  bandWith(p, band, scratch, Scan{});
}
#include "core/isa_region_end.h"
#endif

void runBand(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  SHIMMERLY_ISA_PICK(band)(p, band, scratch);
}

}  // namespace shimmerly::spread_kernels
