// Fast glow spread (see fast_spread.h). One box pass keeps, per row band, the vertical sums of
// every column over the inner box's rows; the outer box adds the row below and the row above.
// Each output row then takes prefix sums of those column sums, and a box sum is the difference
// of two prefixes, exactly the 32-bit modular integers the summed-area tables give. The doubles
// (Σ × R[n] + 0.001 for colour, Σ × R[area] for alpha, the blend by f) follow the same order.
// Passes read one buffer and write another, so bands need no ordering among themselves.
#include "glow/fast_spread.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "glow/spread.h"
#include "render/frame_memory.h"
#include "render/kernel_isa.h"
#include "render/render_threads.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define SHIMMERLY_X86 1
#endif

#define SHIMMERLY_INLINE inline __attribute__((always_inline))

namespace shimmerly {

namespace {

constexpr uint32_t kChannelRed = 1, kChannelGreen = 2, kChannelBlue = 4, kChannelAlpha = 8;

// The pixel word of a kind-1 pixel: red in the low byte, alpha in the high byte.
uint32_t namedMask(uint32_t channels) {
  return ((channels & kChannelRed) ? 0x000000FFu : 0u) |
         ((channels & kChannelGreen) ? 0x0000FF00u : 0u) |
         ((channels & kChannelBlue) ? 0x00FF0000u : 0u) |
         ((channels & kChannelAlpha) ? 0xFF000000u : 0u);
}

// Exact conversion of an unsigned 32-bit sum to double through the signed conversion, which
// every vector unit has.
SHIMMERLY_INLINE double u32ToDouble(uint32_t u) {
  return static_cast<double>(static_cast<int32_t>(u ^ 0x80000000u)) + 2147483648.0;
}

// Everything one box pass needs, fixed before the bands start.
struct PassPlan {
  int64_t width, height;
  int64_t rx0, rx1, ry0, ry1;  // region written, inclusive
  int64_t rc, lc;              // horizontal reach: r and r + 1, capped at the width
  int64_t rv, lv;              // vertical reach, capped at the height
  double f, wIn;               // outer and inner weights
  uint32_t named;              // pixel-word mask of the channels written
  bool colour;                 // any colour channel named
  int64_t xs, xe;              // columns (xs, xe] contribute to some box
  int64_t t0, prefixCount;     // prefix index k stands for column t0 + k
  const double* recip;
  const uint32_t* src;
  uint32_t* dst;
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

size_t scratchBytes(const PassPlan& p) {
  const int64_t ncol = p.xe - p.xs, n = regionWidth(p);
  const int channels = p.colour ? 5 : 1;
  // stored, vi, vo per channel; zero row; pi, po per channel; rai, rao; wI, wO; each array
  // rounded up to 64 bytes.
  return static_cast<size_t>((3 * channels + 1) * (ncol * 4 + 64) +
                             2 * channels * (p.prefixCount * 4 + 64) + 4 * (n * 8 + 64));
}

SHIMMERLY_INLINE void scanGeneric(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  for (int64_t j = 0; j < n; ++j) {
    carry += in[j];
    out[j] = carry;
  }
}

#ifdef SHIMMERLY_X86
__attribute__((target("avx2"))) inline void scanAvx2(const uint32_t* in, uint32_t* out, int64_t n,
                                                     uint32_t carry) {
  __m256i c = _mm256_set1_epi32(static_cast<int>(carry));
  const __m256i last = _mm256_set1_epi32(7);
  int64_t j = 0;
  for (; j + 8 <= n; j += 8) {
    __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + j));
    x = _mm256_add_epi32(x, _mm256_slli_si256(x, 4));
    x = _mm256_add_epi32(x, _mm256_slli_si256(x, 8));
    // Carry the low lane's total into the high lane.
    __m256i t = _mm256_shuffle_epi32(x, 0xFF);
    t = _mm256_permute2x128_si256(t, t, 0x08);
    x = _mm256_add_epi32(_mm256_add_epi32(x, t), c);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + j), x);
    c = _mm256_permutevar8x32_epi32(x, last);
  }
  scanGeneric(in + j, out + j, n - j, static_cast<uint32_t>(_mm256_cvtsi256_si32(c)));
}
#endif

struct GenericScan {
  SHIMMERLY_INLINE void operator()(const uint32_t* in, uint32_t* out, int64_t n,
                                   uint32_t carry) const {
    scanGeneric(in, out, n, carry);
  }
};
#ifdef SHIMMERLY_X86
struct Avx2Scan {
  SHIMMERLY_INLINE void operator()(const uint32_t* in, uint32_t* out, int64_t n,
                                   uint32_t carry) const {
    scanAvx2(in, out, n, carry);
  }
};
#endif

// Adds the contributions of source row y, columns (xs, xe], to the column sums.
template <bool kColour>
SHIMMERLY_INLINE void addRow(const uint32_t* __restrict row, int64_t ncol,
                             uint32_t* const* __restrict stored) {
  for (int64_t j = 0; j < ncol; ++j) {
    const uint32_t p = row[j];
    const uint32_t a = p >> 24;
    stored[0][j] += a;
    if constexpr (kColour) {
      const uint32_t m = 0u - static_cast<uint32_t>(a != 0);
      stored[1][j] += p & 0xFFu & m;
      stored[2][j] += (p >> 8) & 0xFFu & m;
      stored[3][j] += (p >> 16) & 0xFFu & m;
      stored[4][j] += m & 1u;
    }
  }
}

// The rows [py0, py1) of one pass. Channel order in the sums: alpha, red, green, blue, count.
template <bool kColour, typename Scan>
SHIMMERLY_INLINE void spreadBandBody(const PassPlan& p, int64_t py0, int64_t py1, uint8_t* scratch,
                                     Scan scan) {
  constexpr int kCh = kColour ? 5 : 1;
  const int64_t W = p.width, H = p.height;
  const int64_t ncol = p.xe - p.xs, np = p.prefixCount, n = regionWidth(p);
  Carver carve(scratch);
  uint32_t* stored[kCh];
  uint32_t* vi[kCh];
  uint32_t* vo[kCh];
  uint32_t* pi[kCh];
  uint32_t* po[kCh];
  for (int c = 0; c < kCh; ++c) {
    stored[c] = carve.take<uint32_t>(ncol);
    vi[c] = carve.take<uint32_t>(ncol);
    vo[c] = carve.take<uint32_t>(ncol);
    pi[c] = carve.take<uint32_t>(np);
    po[c] = carve.take<uint32_t>(np);
  }
  uint32_t* zeroRow = carve.take<uint32_t>(ncol);
  double* rai = carve.take<double>(n);
  double* rao = carve.take<double>(n);
  int64_t* wI = carve.take<int64_t>(n);
  int64_t* wO = carve.take<int64_t>(n);

  for (int64_t i = 0; i < n; ++i) {
    const int64_t px = p.rx0 + i;
    wI[i] = std::min(px + p.rc, W - 1) - std::max<int64_t>(px - p.lc, 0);
    wO[i] = std::min(px + p.rc + 1, W - 1) - std::max<int64_t>(px - p.lc - 1, 0);
  }
  std::memset(zeroRow, 0, static_cast<size_t>(ncol) * 4);
  for (int c = 0; c < kCh; ++c) std::memset(stored[c], 0, static_cast<size_t>(ncol) * 4);
  // The column sums before the first row: rows max(py0 − l, 1) to min(py0 + r, H − 1), that is
  // the inner box's rows plus the row just below them.
  const int64_t firstRow = std::max<int64_t>(py0 - p.lv, 1);
  const int64_t lastRow = std::min(py0 + p.rv, H - 1);
  for (int64_t y = firstRow; y <= lastRow; ++y) {
    addRow<kColour>(p.src + y * W + p.xs + 1, ncol, stored);
  }

  const int64_t kxs = p.xs - p.t0;  // prefix indices [0, kxs] stand before every column
  const int64_t kxe = kxs + ncol;   // indices above kxe stand after the last column
  const int64_t d = p.rc + p.lc + 1;
  const double f = p.f, wIn = p.wIn;
  const double* __restrict recip = p.recip;
  int64_t lastHI = -1, lastHO = -1;

  for (int64_t py = py0; py < py1; ++py) {
    const int64_t below = py - p.lv, above = py + p.rv + 1;
    const uint32_t* __restrict e1 = below >= 1 ? p.src + below * W + p.xs + 1 : zeroRow;
    const uint32_t* __restrict e2 = above <= H - 1 ? p.src + above * W + p.xs + 1 : zeroRow;
    // Column sums: inner = stored − row below, outer = stored + row above; then slide.
    for (int64_t j = 0; j < ncol; ++j) {
      const uint32_t p1 = e1[j], p2 = e2[j];
      const uint32_t a1 = p1 >> 24, a2 = p2 >> 24;
      const uint32_t s = stored[0][j];
      vi[0][j] = s - a1;
      vo[0][j] = s + a2;
      stored[0][j] = s + a2 - a1;
      if constexpr (kColour) {
        const uint32_t m1 = 0u - static_cast<uint32_t>(a1 != 0);
        const uint32_t m2 = 0u - static_cast<uint32_t>(a2 != 0);
        const uint32_t r1 = p1 & 0xFFu & m1, r2 = p2 & 0xFFu & m2;
        const uint32_t g1 = (p1 >> 8) & 0xFFu & m1, g2 = (p2 >> 8) & 0xFFu & m2;
        const uint32_t b1 = (p1 >> 16) & 0xFFu & m1, b2 = (p2 >> 16) & 0xFFu & m2;
        const uint32_t n1 = m1 & 1u, n2 = m2 & 1u;
        const uint32_t sr = stored[1][j], sg = stored[2][j], sb = stored[3][j], sn = stored[4][j];
        vi[1][j] = sr - r1;
        vo[1][j] = sr + r2;
        stored[1][j] = sr + r2 - r1;
        vi[2][j] = sg - g1;
        vo[2][j] = sg + g2;
        stored[2][j] = sg + g2 - g1;
        vi[3][j] = sb - b1;
        vo[3][j] = sb + b2;
        stored[3][j] = sb + b2 - b1;
        vi[4][j] = sn - n1;
        vo[4][j] = sn + n2;
        stored[4][j] = sn + n2 - n1;
      }
    }
    // Row prefixes of the column sums, padded on both sides with the clamped values.
    for (int c = 0; c < kCh; ++c) {
      std::fill(pi[c], pi[c] + kxs + 1, 0u);
      std::fill(po[c], po[c] + kxs + 1, 0u);
      scan(vi[c], pi[c] + kxs + 1, ncol, 0u);
      scan(vo[c], po[c] + kxs + 1, ncol, 0u);
      std::fill(pi[c] + kxe + 1, pi[c] + np, pi[c][kxe]);
      std::fill(po[c] + kxe + 1, po[c] + np, po[c][kxe]);
    }
    // Reciprocal areas change only where the boxes are cut by the bottom or top edge.
    const int64_t hI = std::min(py + p.rv, H - 1) - std::max<int64_t>(py - p.lv, 0);
    const int64_t hO = std::min(py + p.rv + 1, H - 1) - std::max<int64_t>(py - p.lv - 1, 0);
    if (hI != lastHI || hO != lastHO) {
      for (int64_t i = 0; i < n; ++i) {
        rai[i] = recip[wI[i] * hI];
        rao[i] = recip[wO[i] * hO];
      }
      lastHI = hI;
      lastHO = hO;
    }

    const uint32_t* __restrict srow = p.src + py * W + p.rx0;
    uint32_t* __restrict drow = p.dst + py * W + p.rx0;
    const uint32_t named = p.named;
    const uint32_t* __restrict pia = pi[0];
    const uint32_t* __restrict poa = po[0];
    if constexpr (kColour) {
      const uint32_t* __restrict pir = pi[1];
      const uint32_t* __restrict por = po[1];
      const uint32_t* __restrict pig = pi[2];
      const uint32_t* __restrict pog = po[2];
      const uint32_t* __restrict pib = pi[3];
      const uint32_t* __restrict pob = po[3];
      const uint32_t* __restrict pin = pi[4];
      const uint32_t* __restrict pon = po[4];
      for (int64_t i = 0; i < n; ++i) {
        const int32_t ai = static_cast<int32_t>(u32ToDouble(pia[i + d] - pia[i + 1]) * rai[i]);
        const int32_t ao = static_cast<int32_t>(u32ToDouble(poa[i + d + 1] - poa[i]) * rao[i]);
        const double dai = ai, dao = ao;
        const int32_t alpha = static_cast<int32_t>(dai * wIn + dao * f);
        const double rni = recip[pin[i + d] - pin[i + 1]];
        const double rno = recip[pon[i + d + 1] - pon[i]];
        const int32_t ri = static_cast<int32_t>(u32ToDouble(pir[i + d] - pir[i + 1]) * rni + 0.001);
        const int32_t ro = static_cast<int32_t>(u32ToDouble(por[i + d + 1] - por[i]) * rno + 0.001);
        const int32_t gi = static_cast<int32_t>(u32ToDouble(pig[i + d] - pig[i + 1]) * rni + 0.001);
        const int32_t go = static_cast<int32_t>(u32ToDouble(pog[i + d + 1] - pog[i]) * rno + 0.001);
        const int32_t bi = static_cast<int32_t>(u32ToDouble(pib[i + d] - pib[i + 1]) * rni + 0.001);
        const int32_t bo = static_cast<int32_t>(u32ToDouble(pob[i + d + 1] - pob[i]) * rno + 0.001);
        const int32_t rb =
            static_cast<int32_t>(static_cast<double>(ri) * wIn + static_cast<double>(ro) * f);
        const int32_t gb =
            static_cast<int32_t>(static_cast<double>(gi) * wIn + static_cast<double>(go) * f);
        const int32_t bb =
            static_cast<int32_t>(static_cast<double>(bi) * wIn + static_cast<double>(bo) * f);
        const int32_t red = ai == 0 ? ro : (ao == 0 ? ri : rb);
        const int32_t green = ai == 0 ? go : (ao == 0 ? gi : gb);
        const int32_t blue = ai == 0 ? bo : (ao == 0 ? bi : bb);
        const uint32_t word =
            (static_cast<uint32_t>(red) & 0xFFu) | ((static_cast<uint32_t>(green) & 0xFFu) << 8) |
            ((static_cast<uint32_t>(blue) & 0xFFu) << 16) | (static_cast<uint32_t>(alpha) << 24);
        drow[i] = (word & named) | (srow[i] & ~named);
      }
    } else {
      for (int64_t i = 0; i < n; ++i) {
        const int32_t ai = static_cast<int32_t>(u32ToDouble(pia[i + d] - pia[i + 1]) * rai[i]);
        const int32_t ao = static_cast<int32_t>(u32ToDouble(poa[i + d + 1] - poa[i]) * rao[i]);
        const double dai = ai, dao = ao;
        const int32_t alpha = static_cast<int32_t>(dai * wIn + dao * f);
        drow[i] = ((static_cast<uint32_t>(alpha) << 24) & named) | (srow[i] & ~named);
      }
    }
  }
}

void bandGeneric(const PassPlan& p, int64_t py0, int64_t py1, uint8_t* scratch) {
  if (p.colour) {
    spreadBandBody<true>(p, py0, py1, scratch, GenericScan{});
  } else {
    spreadBandBody<false>(p, py0, py1, scratch, GenericScan{});
  }
}

#ifdef SHIMMERLY_X86
__attribute__((target("avx2"))) void bandAvx2(const PassPlan& p, int64_t py0, int64_t py1,
                                              uint8_t* scratch) {
  if (p.colour) {
    spreadBandBody<true>(p, py0, py1, scratch, Avx2Scan{});
  } else {
    spreadBandBody<false>(p, py0, py1, scratch, Avx2Scan{});
  }
}

__attribute__((target("avx512f,avx512dq,avx512bw,avx512vl,avx2"))) void bandAvx512(
    const PassPlan& p, int64_t py0, int64_t py1, uint8_t* scratch) {
  if (p.colour) {
    spreadBandBody<true>(p, py0, py1, scratch, Avx2Scan{});
  } else {
    spreadBandBody<false>(p, py0, py1, scratch, Avx2Scan{});
  }
}
#endif

void runBand(const PassPlan& p, int64_t py0, int64_t py1, uint8_t* scratch) {
#ifdef SHIMMERLY_X86
  switch (activeKernelIsa()) {
    case KernelIsa::kAvx512:
      bandAvx512(p, py0, py1, scratch);
      return;
    case KernelIsa::kAvx2:
      bandAvx2(p, py0, py1, scratch);
      return;
    default:
      break;
  }
#endif
  bandGeneric(p, py0, py1, scratch);
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

// Copies the pixels of a region from one buffer to another of the same size.
void copyRegion(const uint32_t* from, uint32_t* to, int64_t width, const Region& g,
                RenderPool* pool) {
  if (g.empty()) return;
  const int64_t rows = g.y1 - g.y0 + 1;
  const size_t bytes = static_cast<size_t>(g.x1 - g.x0 + 1) * 4;
  const int parts = pool ? static_cast<int>(std::min<int64_t>(pool->workerCount(), rows)) : 1;
  auto copyBand = [&](int index, int) {
    const RowRange band = bandOf(static_cast<int32_t>(rows), parts, index);
    for (int64_t y = g.y0 + band.begin; y < g.y0 + band.end; ++y) {
      std::memcpy(to + y * width + g.x0, from + y * width + g.x0, bytes);
    }
  };
  if (pool) {
    pool->run(parts, copyBand);
  } else {
    copyBand(0, 0);
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

// One box pass from src to dst over the region of the bounds after growth. dst must already
// hold src's pixels wherever the caller will read it outside that region.
Region boxPass(const uint32_t* src, uint32_t* dst, int32_t width, int32_t height, float x,
               GlowBounds& bounds, uint32_t channels, const FastContext& context) {
  if (x > kMaxSpreadRadius) x = kMaxSpreadRadius;
  if (!growForPass(x, bounds)) return {};
  const Region g = regionOfBounds(bounds, width, height);
  if (g.empty()) return g;
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
  p.f = (static_cast<double>(x) - 2.0 * r) * 0.5;
  p.wIn = 1.0 - p.f;
  p.named = namedMask(channels);
  p.colour = (channels & (kChannelRed | kChannelGreen | kChannelBlue)) != 0;
  p.xs = std::max<int64_t>(g.x0 - p.lc - 1, 0);
  p.xe = std::min<int64_t>(g.x1 + p.rc + 1, width - 1);
  p.t0 = g.x0 - p.lc - 1;
  p.prefixCount = g.x1 + p.rc + 1 - p.t0 + 1;
  p.src = src;
  p.dst = dst;

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
  FrameMemory& memory = *context.memory;
  p.recip = memory.reciprocals(static_cast<size_t>(maxW * maxH + 1));

  const int64_t rows = g.y1 - g.y0 + 1;
  const int workers = context.pool ? context.pool->workerCount() : 1;
  // Each band starts by summing a box's worth of rows, so bands are few and large.
  const int parts = static_cast<int>(std::clamp<int64_t>(rows / 16, 1, workers));
  const size_t bytes = scratchBytes(p);
  std::vector<uint8_t*> scratch(parts);
  for (int w = 0; w < parts; ++w) {
    scratch[w] = static_cast<uint8_t*>(memory.block(kFirstWorkerSlot + w * kWorkerSlots, bytes));
  }
  auto band = [&](int index, int) {
    const RowRange range = bandOf(static_cast<int32_t>(rows), parts, index);
    if (range.begin < range.end) {
      runBand(p, g.y0 + range.begin, g.y0 + range.end, scratch[index]);
    }
  };
  if (context.pool && parts > 1) {
    context.pool->run(parts, band);
  } else {
    for (int i = 0; i < parts; ++i) band(i, 0);
  }
  return g;
}

uint32_t* spreadBuffer(const Raster& raster, const FastContext& context) {
  const size_t bytes = static_cast<size_t>(raster.width()) * raster.height() * 4;
  return context.memory->array<uint32_t>(kSlotSpreadBuffer, std::max<size_t>(bytes / 4, 1));
}

}  // namespace

void fastBoxSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                   const FastContext& context) {
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  uint32_t* buffer = spreadBuffer(raster, context);
  const Region g =
      boxPass(pixels, buffer, raster.width(), raster.height(), radius, bounds, channels, context);
  copyRegion(buffer, pixels, raster.width(), g, context.pool);
}

void fastSmoothSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                      const FastContext& context) {
  if (radius > kMaxSpreadRadius) radius = kMaxSpreadRadius;
  const float x = radius * 0.6666667f;
  if (!(x > 0.0f)) return;
  const int32_t width = raster.width(), height = raster.height();
  uint32_t* pixels = reinterpret_cast<uint32_t*>(raster.pixels());
  uint32_t* buffer = spreadBuffer(raster, context);
  // The second pass reads the buffer up to its own reach beyond its region, which lies inside
  // the third pass's region: outside the first pass's region that must still be the raster.
  GlowBounds last = bounds;
  for (int pass = 0; pass < 3; ++pass) growForPass(x, last);
  copyRegion(pixels, buffer, width, regionOfBounds(last, width, height), context.pool);
  boxPass(pixels, buffer, width, height, x, bounds, channels, context);
  boxPass(buffer, pixels, width, height, x, bounds, channels, context);
  const Region g = boxPass(pixels, buffer, width, height, x, bounds, channels, context);
  copyRegion(buffer, pixels, width, g, context.pool);
}

void fastSpread(Raster& raster, float radius, GlowBounds& bounds, uint32_t channels,
                bool lowQuality, const FastContext& context) {
  if (lowQuality) {
    fastBoxSpread(raster, radius, bounds, channels, context);
  } else {
    fastSmoothSpread(raster, radius, bounds, channels, context);
  }
}

}  // namespace shimmerly
