// The luminance the brightness masks compare with their cutoffs, in the double precision of the
// per-pixel rule and in whole numbers for the vector rows.
#pragma once

#include <algorithm>
#include <cstdint>

#include "core/isa_dispatch.h"

namespace shimmerly {

// min(255, trunc(green × 0.587 + red × 0.299 + blue × 0.144)), in double precision.
SHIMMERLY_INLINE int luminanceOf(int red, int green, int blue) {
  return std::min(static_cast<int>(green * 0.587 + red * 0.299 + blue * 0.144), 255);
}

// The luminance's key in whole numbers: 587 × green + 299 × red + 144 × blue. The double sum of
// luminanceOf lies within 1e-12 of key / 1000, so its truncation is key div 1000, except where
// key is a multiple of 1000 other than 0: there the sum may fall on either side of the whole
// number, and only the doubles say which (the tests check every colour).
SHIMMERLY_INLINE int32_t luminanceKeyOf(int red, int green, int blue) {
  return 587 * green + 299 * red + 144 * blue;
}

// A window of whole luminances low ≤ l ≤ high (0 ≤ low, high ≤ 255; none when low > high) as
// a window of keys: a colour's luminance lies inside exactly when keyLow ≤ key < keyHigh, except
// at the keys unsureLow and unsureHigh, where luminanceOf decides. Why: away from the multiples
// of 1000 the truncated sum t is key div 1000, and low ≤ min(t, 255) ≤ high is
// 1000 × low ≤ key < 1000 × (high + 1), with no upper bound when high is 255. At key = 1000 × m
// (m ≥ 1) t is m or m − 1, which fall on different sides of the window only where m is low
// or m − 1 is high: at key 1000 × low (when low > 0) and at key 1000 × (high + 1).
struct LuminanceWindow {
  int32_t keyLow, keyHigh;
  int32_t unsureLow, unsureHigh;  // -1: no such key

  static LuminanceWindow of(int32_t low, int32_t high) {
    constexpr int32_t kNoKey = -1, kAbove = INT32_MAX;
    if (low > high) return {kAbove, kAbove, kNoKey, kNoKey};
    return {1000 * low, high < 255 ? 1000 * (high + 1) : kAbove, low > 0 ? 1000 * low : kNoKey,
            high < 255 ? 1000 * (high + 1) : kNoKey};
  }
  SHIMMERLY_INLINE bool inside(int32_t key) const { return keyLow <= key && key < keyHigh; }
  SHIMMERLY_INLINE bool unsure(int32_t key) const { return key == unsureLow || key == unsureHigh; }
};

}  // namespace shimmerly
