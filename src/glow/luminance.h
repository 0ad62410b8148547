// The luminance the brightness masks compare with their cutoffs, in the double precision of the
// per-pixel rule and in whole numbers for the vector rows.
#pragma once

#include <algorithm>

#include "core/isa_dispatch.h"

namespace shimmerly {

// min(255, trunc(green × 0.587 + red × 0.299 + blue × 0.144)), in double precision.
SHIMMERLY_INLINE int luminanceOf(int red, int green, int blue) {
  return std::min(static_cast<int>(green * 0.587 + red * 0.299 + blue * 0.144), 255);
}

// The same in whole numbers. The double sum lies within 1e-12 of key / 1000, with
// key = 587 × green + 299 × red + 144 × blue, so its truncation is key div 1000, except where key
// is a multiple of 1000 other than 0: there the sum may fall on either side of the whole number,
// and only the doubles say which. key div 1000 is taken in single precision, exact for every key
// up to 255 × 1030 (the tests check every colour). Sets `unsure` for the pixels of that exception,
// whose luminance is then luminanceOf's.
SHIMMERLY_INLINE int wholeLuminanceOf(int red, int green, int blue, int& unsure) {
  const int key = 587 * green + 299 * red + 144 * blue;
  const int quotient = static_cast<int>(static_cast<float>(key) * 0.001f + 0.0005f);
  unsure |= static_cast<int>(quotient * 1000 == key) & static_cast<int>(key != 0);
  return std::min(quotient, 255);
}

}  // namespace shimmerly
