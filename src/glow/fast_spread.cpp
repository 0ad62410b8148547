// Fast glow spread (see fast_spread.h). One box pass keeps, per row band, the vertical sums of
// every column over the inner box's rows; the outer box adds the row below and the row above.
// Each output row then takes prefix sums of those column sums, and a box sum is the difference
// of two prefixes, exactly the 32-bit modular integers the summed-area tables give. The doubles
// (Σ × R[n] + 0.001 for colour, Σ × R[area] for alpha, the blend by f) follow the same order.
// Passes read one buffer and write another, so bands need no ordering among themselves; the
// last pass writes back into the raster it reads only rows no other band still reads. A glow
// of one colour sums its alpha alone, and may be read from (and, between high-quality passes,
// handed on as) alpha bytes.
#include "glow/fast_spread.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "core/frame_memory.h"
#include "core/isa_dispatch.h"
#include "core/render_threads.h"
#include "glow/edge_alpha.h"
#include "glow/frame_slots.h"
#include "glow/spread.h"

#if SHIMMERLY_ISA_BUILT(avx2)
#include <immintrin.h>
#endif

namespace shimmerly {

namespace {

constexpr uint32_t kChannelRed = 1, kChannelGreen = 2, kChannelBlue = 4, kChannelAlpha = 8;

#if SHIMMERLY_ISA_BUILT(avx2)
// AVX-512 conversions, permutations and gathers take a full mask: the unmasked forms trip GCC's
// uninitialised-value warning inside its own headers, and the instructions are the same.
constexpr __mmask8 kEight = 0xFF;
constexpr __mmask16 kSixteen = 0xFFFF;
#endif

// The pixel word of a kind-1 pixel: red in the low byte, alpha in the high byte.
uint32_t namedMask(uint32_t channels) {
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
  uint32_t cWord, cbWord;      // the uniform colour, and its blend of inner and outer averages
  int64_t xs, xe;              // columns (xs, xe] contribute to some box
  int64_t t0, prefixCount;     // prefix index k stands for column t0 + k
  const double* recip;
  const uint32_t* src;
  const uint8_t* srcAlpha;  // one-colour source given by its alphas alone (src is not read)
  uint32_t* dst;
  uint8_t* dstAlpha;  // one-colour output kept as its alphas alone (dst is not written)
  // With dstAlpha: the alphas before the spread, when the output is the outer glow's alpha of
  // the spread alpha and these rather than the spread alpha itself.
  const uint8_t* outerKeep;
  // Reciprocals of the boxes a side of the frame cuts, kept across passes and frames (see
  // useEdgeTable); null: made row by row.
  const double* edgeTable;
  int64_t edgeLeft, edgeRight, edgeStride, wInteriorI, wInteriorO;
  // A last one-channel pass writes its rows straight back into the raster it reads (src) where
  // no other band still reads them, through finish when given; other rows go to dst.
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
// sums it adds its own output rows to.
struct BandRows {
  int64_t begin, end, directBegin, directEnd;
  const uint32_t* carried[2] = {nullptr, nullptr};
  const CarryTarget* carry = nullptr;
  int64_t carryCount = 0;
};

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

int64_t regionWidth(const PassPlan& p) {
  return p.rx1 - p.rx0 + 1;
}

// Rows of alpha bytes a one-channel band keeps: every row between the one leaving the column
// sums and the one entering them, so that the leaving row is read from the band's own cache-
// sized copy instead of from a raster row read long before. Rows 1 to H − 1 fit in H slots.
int64_t ringRows(const PassPlan& p) {
  return std::min(p.lv + p.rv + 2, p.height);
}

// Whether a pass's bands slide and take their prefixes in one sweep, keeping no inner and outer
// column sums of their own: every pass on the vector scans (see spreadBandBody).
bool fusedSweep(const PassPlan& p) {
  (void)p;
#if SHIMMERLY_ISA_BUILT(avx2)
  return activeKernelIsa() != KernelIsa::kGeneric;
#else
  return false;
#endif
}

size_t scratchBytes(const PassPlan& p) {
  const int64_t ncol = p.xe - p.xs, n = regionWidth(p);
  const int channels = p.colour && !p.uniform ? 5 : 1;
  // stored, and unless the sweep is fused vi and vo, per channel; zero row; pi, po per channel;
  // rai, rao; wI, wO; colour passes also the per-pixel values of a row (six of 4 bytes, two
  // of 8); each array rounded up to 64 bytes.
  const int64_t ring =
      channels == 1 ? (p.srcAlpha ? 0 : ringRows(p) * ncol) + 64 + p.width * 4 + 64 : 0;
  const int64_t columnArrays = (fusedSweep(p) ? 1 : 3) * channels + 1;
  const int64_t pixelValues = channels == 1 ? 0 : 6 * (n * 4 + 64) + 2 * (n * 8 + 64);
  return static_cast<size_t>(ring + columnArrays * (ncol * 4 + 64) +
                             2 * channels * (p.prefixCount * 4 + 64) + 4 * (n * 8 + 64) +
                             pixelValues);
}

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

// Contribution of a pixel word to channel c (alpha, red, green, blue, count): transparent
// pixels contribute nothing.
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

// The same for one column, with the carries as plain values.
SHIMMERLY_INLINE void slideScanOne(uint32_t c1, uint32_t c2, uint32_t& sum, uint32_t& pi,
                                   uint32_t& po, uint32_t& carryI, uint32_t& carryO) {
  carryI += sum - c1;
  carryO += sum + c2;
  sum = sum + c2 - c1;
  pi = carryI;
  po = carryO;
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
#include "core/isa_region_end.h"
#endif

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
    default:
      return f(std::integral_constant<int, 4>{});
  }
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
    // Selections by mask, so that every lane computes all three candidates: the inner average
    // where the outer alpha is 0, the outer one where the inner alpha is 0, else the blend.
    const int32_t outerSeen = -static_cast<int32_t>(ao[i] != 0);
    const int32_t innerSeen = -static_cast<int32_t>(ai[i] != 0);
    const int32_t keepInner = ci ^ ((ci ^ blend) & outerSeen);
    out[i] = co ^ ((co ^ keepInner) & innerSeen);
  }
}

// Alpha of a row: inner and outer averages over the whole box, blended; the averages are kept
// for the colour channels' choice.
template <typename Arith>
SHIMMERLY_INLINE void alphaChannel(const uint32_t* __restrict pia, const uint32_t* __restrict poa,
                                   const double* __restrict rai, const double* __restrict rao,
                                   int32_t* __restrict ai, int32_t* __restrict ao,
                                   int32_t* __restrict alpha, int64_t n, int64_t d, double wIn,
                                   double f) {
  for (int64_t i = 0; i < n; ++i) {
    const int32_t a = static_cast<int32_t>(Arith::toDouble(pia[i + d] - pia[i + 1]) * rai[i]);
    const int32_t b = static_cast<int32_t>(Arith::toDouble(poa[i + d + 1] - poa[i]) * rao[i]);
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
};

// A colour pass's output row, columns [0, n), one loop over the row per step: alpha, the count
// reciprocals (gathered with AVX2 when kGather), the three colours, then the words, which keep
// the source's channels not named. Each loop is simple enough for the compiler to vectorise.
template <typename Arith, bool kGather>
SHIMMERLY_INLINE void colourRowInLoops(const ColourPrefixes& pre, const double* rai,
                                       const double* rao, const double* recip,
                                       const ColourRowValues& v, uint32_t named,
                                       const uint32_t* __restrict srow, uint32_t* __restrict drow,
                                       int64_t n, int64_t d, double wIn, double f) {
  alphaChannel<Arith>(pre.inner[0], pre.outer[0], rai, rao, v.ai, v.ao, v.alpha, n, d, wIn, f);
#if SHIMMERLY_ISA_BUILT(avx2)
  if constexpr (kGather) {
    avx2::countReciprocalsAvx2(pre.inner[4], pre.outer[4], recip, v.rni, v.rno, n, d);
  } else {
    countReciprocals(pre.inner[4], pre.outer[4], recip, v.rni, v.rno, n, d);
  }
#else
  countReciprocals(pre.inner[4], pre.outer[4], recip, v.rni, v.rno, n, d);
#endif
  colourChannel<Arith>(pre.inner[1], pre.outer[1], v.rni, v.rno, v.ai, v.ao, v.red, n, d, wIn, f);
  colourChannel<Arith>(pre.inner[2], pre.outer[2], v.rni, v.rno, v.ai, v.ao, v.green, n, d, wIn, f);
  colourChannel<Arith>(pre.inner[3], pre.outer[3], v.rni, v.rno, v.ai, v.ao, v.blue, n, d, wIn, f);
  for (int64_t i = 0; i < n; ++i) {
    const uint32_t word = (static_cast<uint32_t>(v.red[i]) & 0xFFu) |
                          ((static_cast<uint32_t>(v.green[i]) & 0xFFu) << 8) |
                          ((static_cast<uint32_t>(v.blue[i]) & 0xFFu) << 16) |
                          (static_cast<uint32_t>(v.alpha[i]) << 24);
    drow[i] = (word & named) | (srow[i] & ~named);
  }
}

#if SHIMMERLY_ISA_BUILT(avx512)
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
inline __m256i load8(const uint32_t* at) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
}

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

// The inner and outer box sums of columns i to i + 7 from their row prefixes.
inline __m256i innerSums8(const uint32_t* prefix, int64_t i, int64_t d) {
  return _mm256_sub_epi32(load8(prefix + i + d), load8(prefix + i + 1));
}
inline __m256i outerSums8(const uint32_t* prefix, int64_t i, int64_t d) {
  return _mm256_sub_epi32(load8(prefix + i + d + 1), load8(prefix + i));
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

// A colour pass's output row eight columns at a time, every value kept in registers: the
// alpha and count sums, the reciprocals gathered from the table and the three colours go
// straight into the word, where the separate loops above keep each in an array of the row.
// The same operations in the same order; the columns after the last eight go through
// colourRowInLoops.
template <typename Arith>
inline void colourRowAvx512(const ColourPrefixes& pre, const double* __restrict rai,
                            const double* __restrict rao, const double* __restrict recip,
                            const ColourRowValues& values, uint32_t named,
                            const uint32_t* __restrict srow, uint32_t* __restrict drow, int64_t n,
                            int64_t d, double wIn, double f) {
  constexpr bool kWide = Arith::kWideSums;
  const __m512d vIn = _mm512_set1_pd(wIn), vF = _mm512_set1_pd(f);
  const __m256i zero = _mm256_setzero_si256();
  const __m256i keep = _mm256_set1_epi32(static_cast<int32_t>(~named));
  const __m256i take = _mm256_set1_epi32(static_cast<int32_t>(named));
  const uint32_t* __restrict pia = pre.inner[0], * __restrict poa = pre.outer[0];
  const uint32_t* __restrict pir = pre.inner[1], * __restrict por = pre.outer[1];
  const uint32_t* __restrict pig = pre.inner[2], * __restrict pog = pre.outer[2];
  const uint32_t* __restrict pib = pre.inner[3], * __restrict pob = pre.outer[3];
  const uint32_t* __restrict pin = pre.inner[4], * __restrict pon = pre.outer[4];
  int64_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i a = _mm512_maskz_cvttpd_epi32(
        kEight,
        _mm512_mul_pd(sumsAsDoubles<kWide>(innerSums8(pia, i, d)), _mm512_loadu_pd(rai + i)));
    const __m256i b = _mm512_maskz_cvttpd_epi32(
        kEight,
        _mm512_mul_pd(sumsAsDoubles<kWide>(outerSums8(poa, i, d)), _mm512_loadu_pd(rao + i)));
    const __m512d none = _mm512_setzero_pd();
    const __m512d rni = _mm512_mask_i64gather_pd(
        none, kEight, _mm512_maskz_cvtepu32_epi64(kEight, innerSums8(pin, i, d)), recip, 8);
    const __m512d rno = _mm512_mask_i64gather_pd(
        none, kEight, _mm512_maskz_cvtepu32_epi64(kEight, outerSums8(pon, i, d)), recip, 8);
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
  if (i == n) return;
  ColourPrefixes rest = pre;
  for (int c = 0; c < 5; ++c) {
    rest.inner[c] += i;
    rest.outer[c] += i;
  }
  colourRowInLoops<Arith, false>(rest, rai + i, rao + i, recip, values, named, srow + i, drow + i,
                                 n - i, d, wIn, f);
}
#include "core/isa_region_end.h"
#endif

// R[k]: 1.0 / k in double precision, 0 for k = 0, exactly the table's entry.
SHIMMERLY_INLINE double reciprocalOf(int64_t k) {
  return k > 0 ? 1.0 / static_cast<double>(k) : 0.0;
}

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

// What one pass sums: alpha alone, or alpha, the colours and the opaque count, or alpha alone
// with colours that follow from the alpha sums because every opaque pixel has one colour.
enum class SumMode { kAlpha, kColour, kUniform };

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
  constexpr bool kFusedScan = std::is_base_of_v<avx2::Scan, Scan>;
  constexpr bool kWideVectors = std::is_same_v<Scan, avx512::Scan>;
#else
  constexpr bool kFusedScan = false;
  constexpr bool kWideVectors = false;
#endif
  using Arith = SumArith<kWide, !std::is_same_v<Scan, GenericScan>>;
  Carver carve(scratch);
  uint32_t* stored[kCh];
  uint32_t* vi[kCh];
  uint32_t* vo[kCh];
  uint32_t* pi[kCh];
  uint32_t* po[kCh];
  for (int c = 0; c < kCh; ++c) {
    stored[c] = carve.take<uint32_t>(ncol);
    vi[c] = carve.take<uint32_t>(kFusedScan ? 0 : ncol);
    vo[c] = carve.take<uint32_t>(kFusedScan ? 0 : ncol);
    pi[c] = carve.take<uint32_t>(np);
    po[c] = carve.take<uint32_t>(np);
  }
  uint32_t* zeroRow = carve.take<uint32_t>(ncol);
  // Colour passes keep no ring, nor do passes whose source is alpha bytes: the leaving row is
  // read from the source itself, as compact as the ring and written by no one.
  const bool ringless = kColour || p.srcAlpha != nullptr;
  const int64_t ringCount = ringless ? 1 : ringRows(p);
  uint8_t* ring = carve.take<uint8_t>(ringless ? 0 : ringCount * ncol);
  auto ringRow = [&](int64_t y) SHIMMERLY_INLINE_LAMBDA { return ring + (y % ringCount) * ncol; };
  // A whole raster row of spread words for the rows written straight back.
  uint32_t* spreadRow = carve.take<uint32_t>(kColour ? 0 : W);
  double* rai = carve.take<double>(n);
  double* rao = carve.take<double>(n);
  // Box widths by column.
  int64_t* wI = carve.take<int64_t>(n);
  int64_t* wO = carve.take<int64_t>(n);
  // Per-pixel values of the current row (colour passes only).
  const int64_t nc = kColour ? n : 0;
  int32_t* ai = carve.take<int32_t>(nc);
  int32_t* ao = carve.take<int32_t>(nc);
  int32_t* alpha = carve.take<int32_t>(nc);
  int32_t* red = carve.take<int32_t>(nc);
  int32_t* green = carve.take<int32_t>(nc);
  int32_t* blue = carve.take<int32_t>(nc);
  double* rni = carve.take<double>(nc);
  double* rno = carve.take<double>(nc);
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
  for (int c = 0; c < kCh; ++c) {
    std::fill(pi[c], pi[c] + kxs + 1, 0u);
    std::fill(po[c], po[c] + kxs + 1, 0u);
  }
  // The column sums before the first row: rows max(py0 − l, 1) to min(py0 + r, H − 1), that is
  // the inner box's rows plus the row just below them.
  const int64_t firstRow = std::max<int64_t>(py0 - p.lv, 1);
  const int64_t lastRow = std::min(py0 + p.rv, H - 1);
  if (band.carried[0]) {
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
      } else if constexpr (kFusedScan) {
        avx2::addAlphaRowsAvx2(first, W, lastRow - firstRow + 1, ncol, stored[0]);
      }
    }
#endif
  } else {
    for (int64_t y = firstRow; y <= lastRow; ++y) {
      if (p.srcAlpha) {
        addAlphaRow<false>(p.srcAlpha + y * W + p.xs + 1, ncol, stored[0], nullptr);
      } else if constexpr (kColour) {
        addRow(p.src + y * W + p.xs + 1, ncol, stored);
      } else {
        addAlphaRow<true>(p.src + y * W + p.xs + 1, ncol, stored[0], ringRow(y));
      }
    }
  }

  const double f = p.f, wIn = p.wIn;
  const double* __restrict recip = p.recip;
  int64_t lastHI = -1, lastHO = -1;

  for (int64_t py = py0; py < py1; ++py) {
    const int64_t below = py - p.lv, above = py + p.rv + 1;
    // Passes from alpha bytes into alpha bytes have no word rasters at all.
    const bool words = p.src != nullptr;
    const uint32_t* __restrict e1 = words && below >= 1 ? p.src + below * W + p.xs + 1 : zeroRow;
    const uint32_t* __restrict e2 =
        words && above <= H - 1 ? p.src + above * W + p.xs + 1 : zeroRow;
    // Column sums: inner = stored − row below, outer = stored + row above; then slide. One
    // loop per channel keeps each loop to a few streams the compiler can vectorise.
    if constexpr (kColour) {
      for (int c = 0; c < kCh; ++c) {
        withChannel(c, [&](auto channel) SHIMMERLY_INLINE_LAMBDA {
          constexpr int kC = decltype(channel)::value;
#if SHIMMERLY_ISA_BUILT(avx2)
          if constexpr (kWideVectors) {
            avx512::slideScanChannelAvx512<kC>(e1, e2, stored[c], pi[c] + kxs + 1, po[c] + kxs + 1,
                                               ncol);
            return;
          } else if constexpr (kFusedScan) {
            avx2::slideScanChannelAvx2<kC>(e1, e2, stored[c], pi[c] + kxs + 1, po[c] + kxs + 1,
                                           ncol);
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
        } else if constexpr (kFusedScan) {
          avx2::slideScanAlphaAvx2<kLeave, kEnter, kKeep>(source, leaving, entering, stored[0],
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
    for (int c = 0; c < kCh; ++c) {
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
      }
      lastHI = hI;
      lastHO = hO;
    }

    const bool direct = !kColour && p.direct && py >= band.directBegin && py < band.directEnd;
    const uint32_t* __restrict srow = words ? p.src + py * W + p.rx0 : nullptr;
    uint32_t* __restrict drow =
        direct ? spreadRow + p.rx0 : (p.dst ? p.dst + py * W + p.rx0 : nullptr);
    uint8_t* __restrict arow = p.dstAlpha ? p.dstAlpha + py * W + p.rx0 : nullptr;
    const uint8_t* __restrict krow = p.outerKeep ? p.outerKeep + py * W + p.rx0 : nullptr;
    const uint32_t named = p.named;
    const uint32_t* __restrict pia = pi[0];
    const uint32_t* __restrict poa = po[0];
    if constexpr (kColour) {
      const ColourPrefixes pre{{pi[0], pi[1], pi[2], pi[3], pi[4]},
                               {po[0], po[1], po[2], po[3], po[4]}};
      const ColourRowValues values{ai, ao, alpha, red, green, blue, rni, rno};
      if constexpr (kWideVectors) {
#if SHIMMERLY_ISA_BUILT(avx2)
        avx512::colourRowAvx512<Arith>(pre, rai, rao, recip, values, named, srow, drow, n, d, wIn,
                                       f);
#endif
      } else {
        colourRowInLoops<Arith, kFusedScan>(pre, rai, rao, recip, values, named, srow, drow, n, d,
                                            wIn, f);
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
    if (direct) {
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

void runBand(const PassPlan& p, const BandRows& band, uint8_t* scratch) {
  SHIMMERLY_ISA_PICK(band)(p, band, scratch);
}

// The region as 64-bit coordinates.
struct Region {
  int64_t x0 = 0, x1 = -1, y0 = 0, y1 = -1;
  bool empty() const { return x0 > x1 || y0 > y1; }
};
Region regionOfBounds(const GlowBounds& bounds, int32_t width, int32_t height) {
  const PixelRegion g = regionOf(bounds, width, height);
  return {g.firstColumn, g.lastColumn, g.firstRow, g.lastRow};
}

// Copies the pixels of a region from one buffer to another of the same size, or writes them
// through finish.
void copyRegion(const uint32_t* from, uint32_t* to, int64_t width, const Region& g,
                RenderPool* pool, const SpreadRowFinish* finish = nullptr) {
  if (g.empty()) return;
  const int64_t rows = g.y1 - g.y0 + 1;
  const size_t bytes = static_cast<size_t>(g.x1 - g.x0 + 1) * 4;
  const int parts = pool ? static_cast<int>(std::min<int64_t>(pool->workerCount(), rows)) : 1;
  auto copyBand = [&](int index, int) {
    const RowRange band = bandOf(static_cast<int32_t>(rows), parts, index);
    for (int64_t y = g.y0 + band.begin; y < g.y0 + band.end; ++y) {
      if (finish) {
        (*finish)(y, g.x0, g.x1, from + y * width, to + y * width);
      } else {
        std::memcpy(to + y * width + g.x0, from + y * width + g.x0, bytes);
      }
    }
  };
  if (pool) {
    pool->run(parts, copyBand);
  } else {
    copyBand(0, 0);
  }
}

// Copies the pixels of `outer` that lie outside `inner` (inner may be empty or reach beyond).
void copyRing(const uint32_t* from, uint32_t* to, int64_t width, const Region& outer,
              const Region& inner, RenderPool* pool) {
  if (outer.empty()) return;
  if (inner.empty()) return copyRegion(from, to, width, outer, pool);
  auto copy = [&](int64_t y, int64_t x0, int64_t x1) {
    if (x0 <= x1)
      std::memcpy(to + y * width + x0, from + y * width + x0, static_cast<size_t>(x1 - x0 + 1) * 4);
  };
  for (int64_t y = outer.y0; y <= outer.y1; ++y) {
    if (y < inner.y0 || y > inner.y1) {
      copy(y, outer.x0, outer.x1);
    } else {
      copy(y, outer.x0, std::min(outer.x1, inner.x0 - 1));
      copy(y, std::max(outer.x0, inner.x1 + 1), outer.x1);
    }
  }
}

// Grows the bounds as one box pass of radius x does (x already capped); false when the pass
// does nothing at all (x ≤ 0 or NaN). An empty box grows into one that covers no pixel.
bool growForPass(float x, GlowBounds& bounds) {
  if (!(x > 0.0f)) return false;
  const double grow = static_cast<double>(static_cast<int64_t>(x)) + 1.0;
  bounds.include(bounds.x0 - grow, bounds.y0 - grow);
  bounds.include(bounds.x1 + grow, bounds.y1 + grow);
  return true;
}

// Uniform colour: when every pixel of non-zero alpha has colour c and the sums cannot wrap (255
// times the largest box's area stays below 2^32), a box with opaque count n ≥ 1 sums n × c, and
// trunc(n × c × R[n] + 0.001) is c (the product is within a few units of the last place of c),
// while n = 0 gives trunc(0 × R[0] + 0.001) = 0; n ≥ 1 exactly when the alpha sum is non-zero. So
// every colour of the pass is c, 0 or the blend trunc(c × (1 − f) + c × f), fixed per pass, and
// only alpha needs summing. When that blend is c in every channel, the output again has one colour,
// and the next pass may do the same.
constexpr int64_t kUniformMaxArea = 16843009;  // 255 × area stays below 2^32

// A bound on the box areas a pass of radius x (already capped) meets in a width × height
// raster: its boxes are at most 2r + 3 wide and tall, r = B div 2, and no wider or taller than
// the raster.
int64_t boxAreaBound(float x, int64_t width, int64_t height) {
  const int64_t r = static_cast<int64_t>(x) / 2;
  return std::min(2 * r + 3, width) * std::min(2 * r + 3, height);
}

uint32_t blendedWord(uint32_t c, double wIn, double f) {
  uint32_t word = 0;
  for (int shift = 0; shift < 24; shift += 8) {
    const double v = static_cast<double>((c >> shift) & 0xFFu);
    word |= (static_cast<uint32_t>(static_cast<int32_t>(v * wIn + v * f)) & 0xFFu) << shift;
  }
  return word;
}

// What a pass leaves: the region it computed, and whether its result is already in the raster
// it read (else it is in dst, over the region).
struct PassResult {
  Region region;
  bool delivered = false;
};

// Where the last pass of a spread puts its result: back into the raster it reads, through
// finish when given.
struct Delivery {
  uint32_t* raster;
  const SpreadRowFinish* finish;
};

// The outer box's weight f of a pass of radius x (already capped): (x − 2r) × 0.5, r = B div 2.
double outerWeight(float x) {
  const double r = static_cast<double>(static_cast<int64_t>(x) / 2);
  return (static_cast<double>(x) - 2.0 * r) * 0.5;
}

// Sets the elements of a plane of rows outside a region to zero.
template <typename T>
void clearOutside(T* plane, int64_t width, int64_t height, const Region& inside, RenderPool* pool) {
  const int parts = pool ? static_cast<int>(std::min<int64_t>(pool->workerCount(), height)) : 1;
  auto rows = [&](int index, int) {
    const RowRange band = bandOf(static_cast<int32_t>(height), parts, index);
    for (int64_t y = band.begin; y < band.end; ++y) {
      T* row = plane + y * width;
      if (inside.empty() || y < inside.y0 || y > inside.y1) {
        std::memset(row, 0, static_cast<size_t>(width) * sizeof(T));
      } else {
        std::memset(row, 0, static_cast<size_t>(inside.x0) * sizeof(T));
        std::memset(row + inside.x1 + 1, 0, static_cast<size_t>(width - 1 - inside.x1) * sizeof(T));
      }
    }
  };
  if (pool && parts > 1) {
    pool->run(parts, rows);
  } else {
    rows(0, 0);
  }
}

// The edge table: for every box height h a pass meets and every column whose boxes a side of
// the frame cuts, R[w × h], w the width of the column's inner box. A pass of wide boxes
// otherwise divides for each such column in each row near the top and bottom; the table is
// made once for the three passes of a smooth spread and kept for the next frames of the same
// size and radius. The outer box of a column is as wide as the inner box of its neighbour
// towards the middle, so one row of the table serves both boxes, read one column apart: half
// the size of a table for each box, which at the widest boxes keeps it in cache. It serves
// frames where each cut box reaches only one side (w = px + rc on the left, W − 1 + lc − px
// on the right); where boxes reach across the frame, passes divide.
//
// Layout: a header of eight integers (width, height, rc, rv, left, right, stride, heights),
// then `heights` rows of `stride` values: columns 0 to left, then right − 1 to W − 1. Columns
// [left, right) are cut by neither side.
constexpr size_t kEdgeTableMaxBytes = size_t{16} << 20;

void useEdgeTable(PassPlan& p, FrameMemory& memory) {
  const int64_t W = p.width, H = p.height;
  p.edgeTable = nullptr;
  if (W <= 0) return;
  auto widthI = [&](int64_t px) {
    return std::min(px + p.rc, W - 1) - std::max<int64_t>(px - p.lc, 0);
  };
  auto widthO = [&](int64_t px) {
    return std::min(px + p.rc + 1, W - 1) - std::max<int64_t>(px - p.lc - 1, 0);
  };
  // The longest run of columns where both widths stay the same.
  int64_t left = 0, right = std::min<int64_t>(W, 1), from = 0;
  for (int64_t px = 1; px <= W; ++px) {
    if (px == W || widthI(px) != widthI(from) || widthO(px) != widthO(from)) {
      if (px - from > right - left) {
        left = from;
        right = px;
      }
      from = px;
    }
  }
  if (left == 0 && right == W) return;  // no side cuts a box
  auto leftWidth = [&](int64_t px) { return px + p.rc; };
  auto rightWidth = [&](int64_t px) { return W - 1 + p.lc - px; };
  for (int64_t px = 0; px < left; ++px)
    if (widthI(px) != leftWidth(px) || widthO(px) != leftWidth(px + 1)) return;
  for (int64_t px = right; px < W; ++px)
    if (widthI(px) != rightWidth(px) || widthO(px) != rightWidth(px - 1)) return;
  const int64_t stride = (left + 1) + (W - right + 1);
  const int64_t heights = std::min(2 * p.rv + 3, H - 1) + 1;
  const size_t bytes = 64 + static_cast<size_t>(heights * stride) * sizeof(double);
  if (bytes > kEdgeTableMaxBytes) return;
  auto* header = static_cast<int64_t*>(memory.block(kSlotEdgeReciprocals, bytes));
  double* table = reinterpret_cast<double*>(header + 8);
  const int64_t expected[8] = {W, H, p.rc, p.rv, left, right, stride, heights};
  if (memory.key(kSlotEdgeReciprocals) == 0 ||
      std::memcmp(header, expected, sizeof(expected)) != 0) {
    for (int64_t h = 0; h < heights; ++h) {
      double* row = table + h * stride;
      for (int64_t px = 0; px <= left; ++px) row[px] = reciprocalOf(leftWidth(px) * h);
      for (int64_t px = right - 1; px < W; ++px)
        row[left + 1 + (px - (right - 1))] = reciprocalOf(rightWidth(px) * h);
    }
    std::memcpy(header, expected, sizeof(expected));
    memory.setKey(kSlotEdgeReciprocals, 1);
  }
  p.edgeTable = table;
  p.edgeLeft = left;
  p.edgeRight = right;
  p.edgeStride = stride;
  p.wInteriorI = widthI(left);
  p.wInteriorO = widthO(left);
}

// The first rows of the bands of a pass over the rows [y0, y0 + rows), and its end. Before its
// first row, each band sums the source rows that row's boxes reach, about a tenth of a row's
// work each: up to lv + rv + 1 rows for a band inside the frame, fewer where the frame's top or
// bottom cuts them, as for the first band of a region at the top. The rows are shared so that
// every band has the same work, those that sum more taking fewer rows, rather than the same
// number of rows, which at wide radii leaves the threads of the other bands waiting. Bands whose
// starting sums were added up by the plane's writer (carried) start at no cost.
std::vector<int64_t> bandStarts(const PassPlan& p, int64_t y0, int64_t rows, int parts,
                                bool carried) {
  constexpr double kSumRowWork = 0.1;
  auto summed = [&](int64_t first) {
    return std::max<int64_t>(
        std::min(first + p.rv, p.height - 1) - std::max<int64_t>(first - p.lv, 1) + 1, 0);
  };
  std::vector<double> extra(static_cast<size_t>(parts));
  double work = static_cast<double>(rows);
  for (int k = 0; k < parts; ++k) {
    extra[k] = carried ? 0.0 : kSumRowWork * static_cast<double>(summed(y0 + rows * k / parts));
    work += extra[k];
  }
  std::vector<int64_t> starts(static_cast<size_t>(parts) + 1);
  starts[0] = y0;
  for (int k = 0; k < parts; ++k) {
    const int64_t share = std::llround(std::max(work / parts - extra[k], 0.0));
    starts[k + 1] = k == parts - 1 ? y0 + rows : std::min(starts[k] + share, y0 + rows);
  }
  return starts;
}

// The bands of a pass over `rows` rows: each band starts by summing a box's worth of rows, so
// bands are few and large.
int bandCount(int64_t rows, int workers) {
  return static_cast<int>(std::clamp<int64_t>(rows / 16, 1, workers));
}

// Plans the sums a pass adds up for the next one (see CarriedSums), which runs with the same
// radius over the region of bounds grown once more, and sets each band's part in targets. The
// pass's own bands start at starts. Gives up (ready stays false) when some next band's rows come
// from more than two bands.
void planCarry(const PassPlan& p, float x, GlowBounds bounds, const std::vector<int64_t>& starts,
               int workers, FrameMemory& memory, CarriedSums& carry,
               std::vector<std::vector<CarryTarget>>& targets) {
  carry.ready = false;
  if (!growForPass(x, bounds)) return;
  const Region next =
      regionOfBounds(bounds, static_cast<int32_t>(p.width), static_cast<int32_t>(p.height));
  if (next.empty()) return;
  const int64_t rows = next.y1 - next.y0 + 1;
  const int parts = bandCount(rows, workers);
  carry.starts = bandStarts(p, next.y0, rows, parts, true);
  const size_t count = static_cast<size_t>(2 * parts * p.width);
  carry.sums = memory.array<uint32_t>(carry.slot, count);
  std::memset(carry.sums, 0, count * 4);
  for (auto& t : targets) t.clear();
  const int ownParts = static_cast<int>(starts.size()) - 1;
  for (int k = 0; k < parts; ++k) {
    const int64_t first = std::max<int64_t>(carry.starts[k] - p.lv, 1);
    const int64_t last = std::min(carry.starts[k] + p.rv, p.height - 1);
    int part = 0;
    for (int j = 0; j < ownParts; ++j) {
      const int64_t from = std::max(first, starts[j]), to = std::min(last, starts[j + 1] - 1);
      if (from > to) continue;
      if (part == 2) {
        for (auto& t : targets) t.clear();
        return;
      }
      targets[j].push_back({from, to, carry.sums + (2 * k + part) * p.width});
      ++part;
    }
  }
  carry.ready = true;
}

// One box pass from src to dst over the region of the bounds after growth. dst must already
// hold src's pixels wherever the caller will read it outside that region. uniform, when set,
// is the colour of every pixel of non-zero alpha in src; it is cleared when the pass's output
// no longer has one colour. With deliver (whose raster is src), a one-channel pass writes its
// result back into src itself. A one-colour pass may read its source as alpha bytes (srcAlpha)
// and write its result as alpha bytes (dstAlpha), those of the outer glow with outerKeep; src and
// dst are then not read or written, and a pass between two byte planes may have neither. A pass
// from alpha bytes may take its bands' starting sums from carryIn, which the pass that wrote
// those bytes added up; a pass into alpha bytes adds up the next pass's in carryOut.
PassResult boxPass(const uint32_t* src, uint32_t* dst, int32_t width, int32_t height, float x,
                   GlowBounds& bounds, uint32_t channels, const FastContext& context,
                   std::optional<uint32_t>& uniform, const Delivery* deliver = nullptr,
                   const uint8_t* srcAlpha = nullptr, uint8_t* dstAlpha = nullptr,
                   const uint8_t* outerKeep = nullptr, const CarriedSums* carryIn = nullptr,
                   CarriedSums* carryOut = nullptr) {
  if (carryOut) carryOut->ready = false;
  if (x > kMaxSpreadRadius) x = kMaxSpreadRadius;
  if (!growForPass(x, bounds)) return {};
  const Region g = regionOfBounds(bounds, width, height);
  if (g.empty()) return {g, false};
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
  p.dst = dst;
  p.dstAlpha = dstAlpha;
  p.outerKeep = dstAlpha ? outerKeep : nullptr;

  FrameMemory& memory = *context.memory;
  p.recip = memory.reciprocals(static_cast<size_t>(maxW * maxH + 1));
  if (p.uniform || !p.colour) useEdgeTable(p, memory);

  const int64_t rows = g.y1 - g.y0 + 1;
  const int workers = context.pool ? context.pool->workerCount() : 1;
  const int parts = bandCount(rows, workers);
  const size_t bytes = scratchBytes(p);
  std::vector<uint8_t*> scratch(parts);
  for (int w = 0; w < parts; ++w) {
    scratch[w] = static_cast<uint8_t*>(memory.block(kFirstWorkerSlot + w * kWorkerSlots, bytes));
  }
  // A raster row may be written back once no band reads it any more: a band reads rows from
  // lv below its first row (its starting sums) to rv + 1 above its last. So a band writes back
  // all its rows but the first rv + 1 (read by the band below) and the last lv (read by the
  // band above); those go to dst and are copied back once every band is done.
  const bool direct = deliver != nullptr && (p.uniform || !p.colour);
  p.direct = direct ? deliver->raster : nullptr;
  p.finish = direct ? deliver->finish : nullptr;
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
  auto band = [&](int index, int) {
    const BandRows b = rowsOf(index);
    if (b.begin < b.end) runBand(p, b, scratch[index]);
  };
  auto copyBack = [&](int index, int) {
    const BandRows b = rowsOf(index);
    for (int64_t y = b.begin; y < b.end; ++y) {
      if (y == b.directBegin) y = b.directEnd;
      if (y >= b.end) break;
      if (p.finish) {
        (*p.finish)(y, g.x0, g.x1, dst + y * p.width, p.direct + y * p.width);
      } else {
        std::memcpy(p.direct + y * p.width + g.x0, dst + y * p.width + g.x0,
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
  return {g, direct};
}

uint32_t* spreadBuffer(const Raster& raster, const FastContext& context) {
  const size_t bytes = static_cast<size_t>(raster.width()) * raster.height() * 4;
  return context.memory->array<uint32_t>(kSlotSpreadBuffer, std::max<size_t>(bytes / 4, 1));
}

// The spreads, the first pass reading its source from sourceAlpha when given (with a uniform
// colour, all channels named), else from the raster.
bool boxSpreadFrom(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context, const SpreadRowFinish* finish,
                   std::optional<uint32_t> uniformColour, const uint8_t* sourceAlpha) {
  if (radius > kMaxSpreadRadius) radius = kMaxSpreadRadius;
  if (!(radius > 0.0f)) return false;
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  uint32_t* buffer = spreadBuffer(raster, context);
  const Delivery deliver{pixels, finish};
  const PassResult last = boxPass(pixels, buffer, raster.width(), raster.height(), radius, bounds,
                                  channels, context, uniformColour, &deliver, sourceAlpha);
  if (!last.delivered)
    copyRegion(buffer, pixels, raster.width(), last.region, context.pool, finish);
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
  uint32_t* buffer = spreadBuffer(raster, context);
  // The second pass reads the buffer up to its own reach beyond its region, which lies inside
  // the third pass's region: there, outside what the first pass writes, the buffer must still
  // hold the raster's pixels.
  GlowBounds first = bounds, last = bounds;
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
    clearOutside(once, width, height, regionOfBounds(first, width, height), context.pool);
    clearOutside(twice, width, height, regionOfBounds(second, width, height), context.pool);
    CarriedSums intoSecond(kSlotCarriedSumsA), intoThird(kSlotCarriedSumsB);
    boxPass(pixels, buffer, width, height, x, bounds, channels, context, uniformColour, nullptr,
            sourceAlpha, once, nullptr, nullptr, &intoSecond);
    boxPass(pixels, buffer, width, height, x, bounds, channels, context, uniformColour, nullptr,
            once, twice, nullptr, &intoSecond, &intoThird);
    const PassResult third = boxPass(pixels, buffer, width, height, x, bounds, channels, context,
                                     uniformColour, &deliver, twice, nullptr, nullptr, &intoThird);
    if (!third.delivered) copyRegion(buffer, pixels, width, third.region, context.pool, finish);
    return true;
  }
  for (int pass = 0; pass < 3; ++pass) growForPass(x, last);
  copyRing(pixels, buffer, width, regionOfBounds(last, width, height),
           regionOfBounds(first, width, height), context.pool);
  boxPass(pixels, buffer, width, height, x, bounds, channels, context, uniformColour, nullptr,
          sourceAlpha);
  boxPass(buffer, pixels, width, height, x, bounds, channels, context, uniformColour);
  const PassResult third =
      boxPass(pixels, buffer, width, height, x, bounds, channels, context, uniformColour, &deliver);
  if (!third.delivered) copyRegion(buffer, pixels, width, third.region, context.pool, finish);
  return true;
}

// Writes the pixels (colour, a) for a ≠ 0, else 0, from the alphas, on the render's threads.
void materialise(uint32_t* pixels, const uint8_t* alpha, uint32_t colour, int64_t width,
                 int64_t height, RenderPool* pool) {
  const int parts = pool ? static_cast<int>(std::min<int64_t>(pool->workerCount(), height)) : 1;
  auto rows = [&](int index, int) {
    const RowRange band = bandOf(static_cast<int32_t>(height), parts, index);
    wordsOfAlpha(pixels, alpha, colour, width, band.begin, band.end);
  };
  if (pool && parts > 1) {
    pool->run(parts, rows);
  } else {
    rows(0, 0);
  }
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
               regionOfBounds(first, static_cast<int32_t>(width), static_cast<int32_t>(height)),
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
  clearOutside(result, width, height, regionOfBounds(grown, width, height), context.pool);
  if (lowQuality) {
    boxPass(nullptr, nullptr, width, height, x, bounds, kSpreadAll, context, uniform, nullptr,
            alpha, result, keep);
    return result;
  }
  uint8_t* twice = context.memory->array<uint8_t>(kSlotSpreadAlphaB, bytes);
  growForPass(x, grown);
  clearOutside(twice, width, height, regionOfBounds(grown, width, height), context.pool);
  CarriedSums intoSecond(kSlotCarriedSumsA), intoThird(kSlotCarriedSumsB);
  boxPass(nullptr, nullptr, width, height, x, bounds, kSpreadAll, context, uniform, nullptr, alpha,
          result, nullptr, nullptr, &intoSecond);
  boxPass(nullptr, nullptr, width, height, x, bounds, kSpreadAll, context, uniform, nullptr, result,
          twice, nullptr, &intoSecond, &intoThird);
  boxPass(nullptr, nullptr, width, height, x, bounds, kSpreadAll, context, uniform, nullptr, twice,
          result, keep, &intoThird);
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
