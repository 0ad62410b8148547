// The in-register prefix sum at the heart of the spread's row sweeps, written both ways a kernel
// can be written here: with the project's own dispatch header (the spread's prefixOf8 and
// prefixOf16, in isa_dispatch.h regions) and with Highway's portable operations under its
// per-target namespaces. Each form takes the running sums (modulo 2^32) of rows of 32-bit values
// with a carry from vector to vector, as the spread's sweeps do, and is checked against the plain
// loop before it is timed. Built only where Highway's headers are installed; no Highway library
// is linked, since only its static per-target code is used.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "prefix_sum_bench.cpp"  // this file, again for each target
#include <hwy/foreach_target.h>                    // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace prefix_bench {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Running sums of a row with Highway: each vector's prefix in log2(lanes) steps, each step the
// vector moved up by k lanes (a table lookup, as Highway 1.0.3 has no lane slide across blocks)
// with its first k lanes zeroed, then the carry of the rows before added.
void scanRow(const uint32_t* HWY_RESTRICT in, uint32_t* HWY_RESTRICT out, int64_t n,
             uint32_t carry) {
  const hn::ScalableTag<uint32_t> d;
  const hn::RebindToSigned<decltype(d)> di;
  const int64_t lanes = static_cast<int64_t>(hn::Lanes(d));
  // Tables for the shifts by 1, 2, 4, ... lanes, and for the last lane broadcast.
  HWY_ALIGN int32_t table[6][HWY_MAX_BYTES / 4];
  int steps = 0;
  for (int64_t k = 1; k < lanes; k *= 2, ++steps)
    for (int64_t i = 0; i < lanes; ++i) table[steps][i] = static_cast<int32_t>(i >= k ? i - k : 0);
  for (int64_t i = 0; i < lanes; ++i) table[5][i] = static_cast<int32_t>(lanes - 1);
  const auto lastLane = hn::SetTableIndices(d, table[5]);
  auto c = hn::Set(d, carry);
  int64_t j = 0;
  for (; j + lanes <= n; j += lanes) {
    auto x = hn::LoadU(d, in + j);
    for (int s = 0, k = 1; s < steps; ++s, k *= 2) {
      const auto moved = hn::TableLookupLanes(x, hn::SetTableIndices(d, table[s]));
      x = hn::Add(x, hn::IfThenZeroElse(hn::RebindMask(d, hn::FirstN(di, k)), moved));
    }
    hn::StoreU(hn::Add(x, c), d, out + j);
    c = hn::Add(c, hn::TableLookupLanes(x, lastLane));
  }
  uint32_t tail = hn::GetLane(c);
  for (; j < n; ++j) out[j] = tail += in[j];
}

}  // namespace HWY_NAMESPACE
}  // namespace prefix_bench
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
#include <benchmark/benchmark.h>

#include "core/isa_dispatch.h"
#include "glow/spread_scans.h"

namespace prefix_bench {
namespace {

using Scan = void (*)(const uint32_t*, uint32_t*, int64_t, uint32_t);

// The project's own AVX-512 row scan: the spread's prefixOf16 and its carry, as its sweeps use.
#if SHIMMERLY_ISA_BUILT(avx512)
#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
void scanRow(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  using shimmerly::spread_kernels::avx512::prefixOf16;
  __m512i c = _mm512_set1_epi32(static_cast<int>(carry));
  const __m512i last = _mm512_set1_epi32(15);
  int64_t j = 0;
  for (; j + 16 <= n; j += 16) {
    const __m512i x = prefixOf16(_mm512_loadu_si512(in + j));
    _mm512_storeu_si512(out + j, _mm512_add_epi32(x, c));
    c = _mm512_add_epi32(c, _mm512_permutexvar_epi32(last, x));
  }
  shimmerly::spread_kernels::scanGeneric(in + j, out + j, n - j,
                                         static_cast<uint32_t>(_mm512_cvtsi512_si32(c)));
}
#include "core/isa_region_end.h"
#endif

void plainScan(const uint32_t* in, uint32_t* out, int64_t n, uint32_t carry) {
  shimmerly::spread_kernels::scanGeneric(in, out, n, carry);
}

// A frame's worth of rows of 1080p (1920 values of up to 2^20, as box sums of a 64-wide band
// are) and their sums, carried from row to row as a band carries them.
struct Plane {
  int64_t width = 1920, height = 1080;
  std::vector<uint32_t> in, out;
  Plane() : in(static_cast<size_t>(width * height)), out(in.size()) {
    std::mt19937 random(7);
    for (uint32_t& v : in) v = random() & 0xFFFFFu;
  }
};

void runScan(benchmark::State& state, Scan scan, bool supported) {
  if (!supported) {
    state.SkipWithError("this processor lacks the instruction set");
    return;
  }
  static Plane plane;
  std::vector<uint32_t> expected(plane.in.size()), got(plane.in.size());
  for (int64_t r = 0; r < plane.height; ++r) {
    plainScan(&plane.in[r * plane.width], &expected[r * plane.width], plane.width,
              static_cast<uint32_t>(r));
    scan(&plane.in[r * plane.width], &got[r * plane.width], plane.width, static_cast<uint32_t>(r));
  }
  if (got != expected) {
    state.SkipWithError("the sums differ from the plain loop's");
    return;
  }
  // range(0) distinct rows: 1080, a frame streamed through memory, or 1, one row kept in the
  // first-level cache, where the prefix's own steps are all that is timed.
  const int64_t rows = state.range(0);
  for (auto _ : state) {
    for (int64_t r = 0; r < plane.height; ++r)
      scan(&plane.in[(r % rows) * plane.width], &plane.out[(r % rows) * plane.width], plane.width,
           static_cast<uint32_t>(r));
    benchmark::DoNotOptimize(plane.out.data());
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * plane.width * plane.height);
}

bool hasAvx512() {
  return shimmerly::detectedKernelIsa() >= shimmerly::KernelIsa::kAvx512;
}
bool hasAvx2() {
  return shimmerly::detectedKernelIsa() >= shimmerly::KernelIsa::kAvx2;
}

BENCHMARK_CAPTURE(runScan, plain, &plainScan, true)->Arg(1080)->Arg(1);
#if SHIMMERLY_ISA_BUILT(avx2)
BENCHMARK_CAPTURE(runScan, own_avx2, &shimmerly::spread_kernels::avx2::scanAvx2, hasAvx2())
    ->Arg(1080)
    ->Arg(1);
#endif
#if SHIMMERLY_ISA_BUILT(avx512)
BENCHMARK_CAPTURE(runScan, own_avx512, &avx512::scanRow, hasAvx512())->Arg(1080)->Arg(1);
#endif
#if HWY_TARGETS & HWY_AVX2
BENCHMARK_CAPTURE(runScan, highway_avx2, &N_AVX2::scanRow, hasAvx2())->Arg(1080)->Arg(1);
#endif
#if HWY_TARGETS & HWY_AVX3
BENCHMARK_CAPTURE(runScan, highway_avx3, &N_AVX3::scanRow, hasAvx512())->Arg(1080)->Arg(1);
#endif

}  // namespace
}  // namespace prefix_bench
#endif  // HWY_ONCE
