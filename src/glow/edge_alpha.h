// The inner and outer glow's alpha of a pixel in a division-free form the vector units take:
// from the spread alpha s and the alpha o the pixel had before the spread, exactly
// innerGlowAlpha(s, o) and outerGlowAlpha(s, o). x div 255 for x ≤ 65025 is
// (x + 1 + (x >> 8)) >> 8, and u × 20 div 17 for u ≤ 255 is (u × 4819) >> 12: both exact over
// those ranges (the tests check every pair of bytes).
#pragma once

#include <cstdint>

namespace shimmerly {

template <bool kInner>
inline __attribute__((always_inline)) uint32_t edgeGlowAlpha(uint32_t s, uint32_t o) {
  const uint32_t product = kInner ? (255 - s) * o : (255 - o) * s;
  const uint32_t u = (product + 1 + (product >> 8)) >> 8;
  const bool none = kInner ? o == 0 : o == 255;
  const uint32_t stretched = u >= 217 ? 255u : (u * 4819) >> 12;
  return none ? 0u : stretched;
}

}  // namespace shimmerly
