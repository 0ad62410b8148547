// The plan of one box pass of the fast spread (see spread_passes.cpp): what the pass reads and
// writes, the rows of each band, the column sums a pass adds up for the next one, and the
// functions that fix them before the bands start.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/pixel.h"
#include "glow/fast_spread.h"
#include "glow/glow_bounds.h"
#include "glow/spread.h"

#if SHIMMERLY_ISA_BUILT(avx2)
#include <immintrin.h>
#endif
#if SHIMMERLY_ISA_BUILT(neon)
#include <arm_neon.h>
#endif

namespace shimmerly::spread_kernels {

constexpr uint32_t kChannelRed = 1, kChannelGreen = 2, kChannelBlue = 4, kChannelAlpha = 8;

#if SHIMMERLY_ISA_BUILT(avx2)
// AVX-512 conversions, permutations and gathers take a full mask: the unmasked forms trip GCC's
// uninitialised-value warning inside its own headers, and the instructions are the same.
constexpr __mmask8 kEight = 0xFF;
constexpr __mmask16 kSixteen = 0xFFFF;
#endif

// The pixel word of a kind-1 pixel: red in the low byte, alpha in the high byte.
inline uint32_t namedMask(uint32_t channels) {
  return ((channels & kChannelRed) ? 0x000000FFu : 0u) |
         ((channels & kChannelGreen) ? 0x0000FF00u : 0u) |
         ((channels & kChannelBlue) ? 0x00FF0000u : 0u) |
         ((channels & kChannelAlpha) ? 0xFF000000u : 0u);
}

// How a pass's output rows turn box sums into averages, fixed per pass and instruction set.
// toDouble: the exact double of a box sum. A sum below 2^31 is its own signed value, one
// conversion on every vector unit; a wide sum (kWide: the pass's boxes may hold 2^31 or more)
// goes through the signed conversion of the sum less 2^31, which takes two more operations.
// truncated: an average (at least 0, below 2^31) truncated toward zero, as a double. With
// kRoundInLanes it stays in the double lanes (one rounding instruction, which the vector
// instruction sets have); otherwise it goes to a 32-bit integer and back, which the baseline
// instruction set does in vectors. Both give the same double.
template <bool kWide, bool kRoundInLanes>
struct SumArith {
  static constexpr bool kWideSums = kWide;
  static SHIMMERLY_INLINE double toDouble(uint32_t u) {
    if constexpr (kWide) {
      return static_cast<double>(static_cast<int32_t>(u ^ 0x80000000u)) + 2147483648.0;
    } else {
      return static_cast<double>(static_cast<int32_t>(u));
    }
  }
  static SHIMMERLY_INLINE double truncated(double x) {
    if constexpr (kRoundInLanes) {
      return std::trunc(x);
    } else {
      return static_cast<double>(static_cast<int32_t>(x));
    }
  }
};

// Everything one box pass needs, fixed before the bands start.
struct PassPlan {
  int64_t width, height;
  int64_t rx0, rx1, ry0, ry1;  // region written, inclusive
  int64_t rc, lc;              // horizontal reach: r and r + 1, capped at the width
  int64_t rv, lv;              // vertical reach, capped at the height
  double f, wIn;               // outer and inner weights
  uint32_t named;              // pixel-word mask of the channels written
  bool colour;                 // any colour channel named
  bool uniform;                // colour known uniform: only alpha is summed (see uniformWords)
  bool wideSums;               // a box sum may reach 2^31 (see SumArith)
  // Colour passes: no box holds more than kSingleAverageMaxArea pixels and the weights are whole
  // multiples of 2^-24 (see singleAverages and outerWeight24).
  bool singleAverages;
  uint32_t weight24;        // f × 2^24 when singleAverages
  uint32_t cWord, cbWord;   // the uniform colour, and its blend of inner and outer averages
  int64_t xs, xe;           // columns (xs, xe] contribute to some box
  int64_t t0, prefixCount;  // prefix index k stands for column t0 + k
  const double* recip;
  const uint32_t* src;
  const uint8_t* srcAlpha;  // one-colour source given by its alphas alone (src is not read)
  uint8_t* dstAlpha;        // one-colour output kept as its alphas alone
  // With dstAlpha: the alphas before the spread, when the output is the outer glow's alpha of
  // the spread alpha and these rather than the spread alpha itself.
  const uint8_t* outerKeep;
  // Reciprocals of the boxes a side of the frame cuts, kept across passes and frames (see
  // useEdgeTable); null: made row by row.
  const double* edgeTable;
  int64_t edgeLeft, edgeRight, edgeStride, wInteriorI, wInteriorO;
  // A pass writing words writes its rows straight back into the raster it reads (src) where no
  // other band still reads them, through finish when given; other rows go to the band's side
  // rows (see BandRows).
  uint32_t* direct;
  const SpreadRowFinish* finish;
};

// Column sums a pass writing alpha bytes adds up as it writes them, for the next pass over that
// plane. Each band of the next pass starts from the sums of the rows its boxes reach before its
// first row; reading those rows back (a box's height of them, long out of the cache) costs more
// than adding each row while it is still in the cache. Rows of one next band may come from two
// bands of this pass, each adding into its own part.
struct CarryTarget {
  int64_t first, last;  // this band's rows among those a next band sums
  uint32_t* sums;       // their column sums, by frame column
};

struct CarriedSums {
  explicit CarriedSums(size_t block) : slot(block) {}
  size_t slot;                  // the frame-memory block the sums live in
  bool ready = false;           // sums were added up by the last pass
  std::vector<int64_t> starts;  // the band starts the next pass was planned with
  uint32_t* sums = nullptr;     // next band k: two parts of a frame width each, from 2k W on
};

// The rows [begin, end) of one band, and those of them it writes straight back. carried: its
// starting sums, as two parts by frame column, when the previous pass added them up; carry: the
// sums it adds its own output rows to. side: where a pass writing back into the raster it reads
// puts the rows it does not write straight back, whole raster rows one after another (see
// sideIndex), until every band is done; null when the pass writes no words.
struct BandRows {
  int64_t begin, end, directBegin, directEnd;
  const uint32_t* carried[2] = {nullptr, nullptr};
  const CarryTarget* carry = nullptr;
  int64_t carryCount = 0;
  uint32_t* side = nullptr;
};

// The rows of a band that other bands still read: its first rows before directBegin and its last
// from directEnd on.
inline int64_t sideRowCount(const BandRows& b) {
  return (b.directBegin - b.begin) + (b.end - b.directEnd);
}
// The place of such a row among the band's side rows.
inline int64_t sideIndex(const BandRows& b, int64_t y) {
  return y < b.directBegin ? y - b.begin : (b.directBegin - b.begin) + (y - b.directEnd);
}

// Carves 64-byte aligned arrays out of one scratch block.
class Carver {
 public:
  explicit Carver(uint8_t* base) : at_(base) {}
  template <typename T>
  T* take(int64_t count) {
    T* p = reinterpret_cast<T*>(at_);
    at_ += (static_cast<size_t>(count) * sizeof(T) + 63) / 64 * 64;
    return p;
  }
  size_t used(const uint8_t* base) const { return static_cast<size_t>(at_ - base); }

 private:
  uint8_t* at_;
};

inline int64_t regionWidth(const PassPlan& p) {
  return p.rx1 - p.rx0 + 1;
}

// Rows of alpha bytes a one-channel band keeps: every row between the one leaving the column
// sums and the one entering them, so that the leaving row is read from the band's own cache-
// sized copy instead of from a raster row read long before. Rows 1 to H − 1 fit in H slots.
inline int64_t ringRows(const PassPlan& p) {
  return std::min(p.lv + p.rv + 2, p.height);
}

// Whether a pass's bands slide and take their prefixes in one sweep, keeping no inner and outer
// column sums of their own: every pass on the vector scans (see spreadBandBody).
inline bool fusedSweep(const PassPlan& p) {
  (void)p;
#if SHIMMERLY_ISA_BUILT(avx2) || SHIMMERLY_ISA_BUILT(neon)
  return activeKernelIsa() != KernelIsa::kGeneric;
#else
  return false;
#endif
}

// Whether a colour pass keeps the prefix ring (see spreadBandBody): with AVX2 or AVX-512, a pass
// with single-precision averages.
inline bool prefixRing(const PassPlan& p) {
  (void)p;
#if SHIMMERLY_ISA_BUILT(avx2)
  const KernelIsa isa = activeKernelIsa();
  return p.colour && !p.uniform && !p.wideSums && p.singleAverages &&
         (isa == KernelIsa::kAvx2 || isa == KernelIsa::kAvx512);
#else
  return false;
#endif
}

// The rows of the prefix ring: every row from the one leaving the inner box to the inner box's
// top row (the row entering the outer box takes the leaving row's place), and the lanes of each
// row, 64-byte aligned.
inline constexpr int kRingLanes = 3;
inline int64_t prefixRingRows(const PassPlan& p) {
  return p.lv + p.rv + 1;
}
inline int64_t prefixRingStride(const PassPlan& p) {
  return (p.xe - p.xs + 15) / 16 * 16;
}

inline size_t scratchBytes(const PassPlan& p) {
  const int64_t ncol = p.xe - p.xs, n = regionWidth(p);
  if (prefixRing(p)) {
    // The ring, the zero row, pi and po of its three lanes, rai, rao, wI, wO, the four arrays
    // of box areas and their reciprocals, the columns' alpha flags and, for a pass writing back,
    // a row of spread words.
    return static_cast<size_t>(prefixRingRows(p) * kRingLanes * prefixRingStride(p) * 4 + 64 +
                               (ncol * 4 + 64) + 2 * kRingLanes * (p.prefixCount * 4 + 64) +
                               4 * (n * 8 + 64) + 4 * (n * 4 + 64) + (n + 64) +
                               (p.direct ? p.width * 4 + 64 : 0));
  }
  const int channels = p.colour && !p.uniform ? 5 : 1;
  // stored, and unless the sweep is fused vi and vo, per channel; zero row; pi, po per channel;
  // rai, rao; wI, wO; colour passes also the per-pixel values of a row (six of 4 bytes, two
  // of 8), the box areas and the single-precision reciprocals of areas and counts (six of 4 bytes);
  // each array rounded up to 64 bytes.
  const int64_t ring =
      channels == 1 ? (p.srcAlpha ? 0 : ringRows(p) * ncol) + 64 + p.width * 4 + 64 : 0;
  const int64_t columnArrays = (fusedSweep(p) ? 1 : 3) * channels + 1;
  // A colour pass writing back into the raster it reads keeps a ring of source words (see
  // spreadBandBody) and a whole row of spread words.
  const int64_t wordRing =
      channels == 5 && p.direct ? ringRows(p) * ncol * 4 + 64 + p.width * 4 + 64 : 0;
  const int64_t pixelValues = channels == 1 ? 0 : 12 * (n * 4 + 64) + 2 * (n * 8 + 64);
  return static_cast<size_t>(ring + wordRing + columnArrays * (ncol * 4 + 64) +
                             2 * channels * (p.prefixCount * 4 + 64) + 4 * (n * 8 + 64) +
                             pixelValues);
}

// Uniform colour: when every pixel of non-zero alpha has colour c and the sums cannot wrap (255
// times the largest box's area stays below 2^32), a box with opaque count n ≥ 1 sums n × c, and
// trunc(n × c × R[n] + 0.001) is c (the product is within a few units of the last place of c),
// while n = 0 gives trunc(0 × R[0] + 0.001) = 0; n ≥ 1 exactly when the alpha sum is non-zero. So
// every colour of the pass is c, 0 or the blend trunc(c × (1 − f) + c × f), fixed per pass, and
// only alpha needs summing. When that blend is c in every channel, the output again has one colour,
// and the next pass may do the same.
inline constexpr int64_t kUniformMaxArea = 16843009;  // 255 × area stays below 2^32

// Colour averages in single precision. For a box of n ≤ 999 opaque pixels and a colour sum
// s ≤ 255 n, trunc(s × R[n] + 0.001) is s div n: a fraction of s / n is at least 1/n > 0.001
// from the next whole number, far beyond the error of the double products. And
// trunc(fl(fl(s) × fl(1 / n)) + 2^-11) in single precision is s div n as well: its errors stay
// below 2^-11, and 2^-11 + those stay below 1/n. Both hold for every n ≤ 999 and s ≤ 255 n,
// which a test checks one by one; at n = 1000, s = 999 the double average already rounds up.
inline constexpr int64_t kSingleAverageMaxArea = 999;
inline constexpr float kSingleAverageNudge = 0.00048828125f;  // 2^-11
// The single-precision average of a colour sum over n opaque pixels, 0 ≤ n ≤ 999 (see above).
// fl(1 / n), 0 for n = 0.
inline float singleReciprocal(uint32_t n) {
  return n ? 1.0f / static_cast<float>(n) : 0.0f;
}
inline int32_t singleAverage(uint32_t sum, uint32_t n) {
  return static_cast<int32_t>(static_cast<float>(sum) * singleReciprocal(n) + kSingleAverageNudge);
}

// Alpha averages in single precision. The alpha average trunc(s × R[A]) of a box of area A and
// alpha sum s ≤ 255 A is s div A wherever s is no multiple of A (a fraction of s / A is at least
// 1/A from the next whole number); at s = k × A the product k × A × R[A] may fall just below k
// and give k − 1 (at A = 49, k = 255 among others). For most areas it never does, for any k up
// to 255; their alpha averages are then the single-precision averages above. True for such an
// area up to kSingleAverageMaxArea, false for every other.
bool alphaAverageIsQuotient(uint32_t area);

// Blends in integers. For a pass radius x ≥ 1 (x a float), f = (x − 2r) / 2 is a whole multiple
// of 2^-24 below 1 and wIn = 1 − f another, so for averages a, b ≤ 255 the blend
// a × wIn + b × f is exact in double precision, and its truncation is
// (a × (2^24 − F) + b × F) >> 24 with F = f × 2^24, every product and the sum below 2^32.
// Returns F, or nothing when f is no such multiple.
inline std::optional<uint32_t> outerWeight24(double f) {
  const double scaled = f * 16777216.0;
  if (!(scaled >= 0.0 && scaled < 16777216.0) || scaled != std::floor(scaled)) return std::nullopt;
  return static_cast<uint32_t>(scaled);
}
inline uint32_t blend24(uint32_t a, uint32_t b, uint32_t weight24) {
  return (a * (16777216u - weight24) + b * weight24) >> 24;
}

// With AVX-512, a pass with singleAverages sums alpha and the opaque count in one 32-bit lane,
// alpha + count × 2^18: a box's alpha sum is at most 255 × 999 < 2^18 and its count at most 999,
// so the sum of any box, taken modulo 2^32 as every sum is, is exactly
// alpha sum + count × 2^18, and the two come apart with a mask and a shift. Four lanes a column
// are swept instead of five.
inline constexpr int kPackedCountShift = 18;
inline constexpr uint32_t kPackedAlphaMask = (1u << kPackedCountShift) - 1;
static_assert(255 * kSingleAverageMaxArea <= kPackedAlphaMask &&
              kSingleAverageMaxArea < (int64_t{1} << (32 - kPackedCountShift)));

// The prefix ring's colour lanes (see spreadBandBody) hold blue split in two: red + (blue mod
// 16) × 2^18 and green + (blue div 16) × 2^18. A box's red or green sum is at most 255 × 999 <
// 2^18 and the sum of a nibble at most 15 × 999 < 2^14, so, as with the packed count, each box
// sum comes apart exactly into its two fields, and blue's sum is the low nibbles' plus 16 times
// the high ones'. Three lanes a column instead of four.
inline constexpr int kBlueNibbleShift = 18;
inline constexpr uint32_t kNibbleFieldMask = (1u << kBlueNibbleShift) - 1;
static_assert(255 * kSingleAverageMaxArea <= kNibbleFieldMask &&
              15 * kSingleAverageMaxArea < (int64_t{1} << (32 - kBlueNibbleShift)) &&
              kBlueNibbleShift >= 16 && kBlueNibbleShift <= 20);

// R[k]: 1.0 / k in double precision, 0 for k = 0, exactly the table's entry.
SHIMMERLY_INLINE double reciprocalOf(int64_t k) {
  return k > 0 ? 1.0 / static_cast<double>(k) : 0.0;
}

// Grows the bounds as one box pass of radius x does (x already capped); false when the pass
// does nothing at all (x <= 0 or NaN).
bool growForPass(float x, GlowBounds& bounds);
// An upper bound of the area of a pass's boxes within the raster.
int64_t boxAreaBound(float x, int64_t width, int64_t height);
// The colour c (a kind-1 word without alpha) blended of its inner and outer averages.
uint32_t blendedWord(uint32_t c, double wIn, double f);
// The outer box's weight f of a pass of radius x (already capped).
double outerWeight(float x);
// Points the pass at the reciprocals of the boxes a side of the frame cuts, made or kept in
// memory, or leaves it without (edgeTable null).
void useEdgeTable(PassPlan& p, FrameMemory& memory);
// The first rows of the bands of a pass over the rows [y0, y0 + rows), and its end.
std::vector<int64_t> bandStarts(const PassPlan& p, int64_t y0, int64_t rows, int parts,
                                bool carried);
// The bands of a pass over `rows` rows.
int bandCount(int64_t rows, int workers);
// Plans the sums a pass adds up for the next one and sets each band's part in targets.
void planCarry(const PassPlan& p, float x, GlowBounds bounds, const std::vector<int64_t>& starts,
               int workers, FrameMemory& memory, CarriedSums& carry,
               std::vector<std::vector<CarryTarget>>& targets);

}  // namespace shimmerly::spread_kernels
