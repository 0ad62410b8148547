// A kernel file in miniature for provoke_test.sh. As it stands it passes the region checks (the
// canaries at build time, check_kernel_symbols.sh after); each SHIMMERLY_PROVOKE_* macro adds
// one way of compiling a set's code for the baseline, which those checks must catch.
#include <immintrin.h>

#include <cstdint>

#include "core/isa_dispatch.h"

namespace shimmerly {
namespace {

// Shared helpers outside every region, kept out of line: called from a set's code they run
// with the baseline instructions.
[[gnu::noinline]] void sharedHelper(uint32_t* p, int64_t n) {
  for (int64_t j = 0; j < n; ++j) p[j] += 1;
}
template <typename Set>
[[gnu::noinline]] void sharedTemplate(uint32_t* p, int64_t n) {
  for (int64_t j = 0; j < n; ++j) p[j] += 2;
}

#ifdef SHIMMERLY_PROVOKE_HAND_TARGET
// A target written by hand outside the regions.
__attribute__((target("avx2"))) void handWritten(uint32_t* p) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), _mm256_add_epi32(x, x));
}
#endif

#define SHIMMERLY_ISA_REGION avx2
#include "core/isa_region_begin.h"
struct Tag {};
void addEight(uint32_t* p) {
  // No marker and kept out of line: the region still compiles the lambda for AVX2.
  auto add = [](uint32_t * q) __attribute__((noinline)) {
    const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(q), _mm256_add_epi32(x, _mm256_set1_epi32(8)));
  };
  add(p);
#ifdef SHIMMERLY_PROVOKE_SHARED_CALL
  sharedHelper(p, 8);
#endif
#ifdef SHIMMERLY_PROVOKE_SHARED_TEMPLATE
  sharedTemplate<Tag>(p, 8);
#endif
}
#ifdef SHIMMERLY_PROVOKE_EARLY_END
// The set's target dropped before the region's end.
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#endif
#include "core/isa_region_end.h"

#define SHIMMERLY_ISA_REGION avx512
#include "core/isa_region_begin.h"
void addSixteen(uint32_t* p) {
  _mm512_storeu_si512(p, _mm512_add_epi32(_mm512_loadu_si512(p), _mm512_set1_epi32(16)));
}
#include "core/isa_region_end.h"

}  // namespace

void provoke(uint32_t* p) {
  avx2::addEight(p);
  avx512::addSixteen(p);
  sharedHelper(p, 4);
  sharedTemplate<int>(p, 4);
#ifdef SHIMMERLY_PROVOKE_HAND_TARGET
  handWritten(p);
#endif
}

}  // namespace shimmerly
