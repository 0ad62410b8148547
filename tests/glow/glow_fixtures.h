// Kind-1 rasters made in code for the glow engine's tests: solid, seeded noise, single pixels,
// and whole-raster comparison.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "core/raster.h"

namespace shimmerly::testing {

inline RgbaPixel& at(const Raster& raster, int32_t x, int32_t y) {
  return raster.rgbaRow(y)[x];
}

inline Raster solidRaster(int32_t w, int32_t h, RgbaPixel colour) {
  Raster raster(w, h, kPixelRgba);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) at(raster, x, y) = colour;
  return raster;
}

// Every byte random; about alphaZeroShare of the pixels fully transparent.
inline Raster noiseRaster(int32_t w, int32_t h, uint32_t seed, double alphaZeroShare = 0.3) {
  Raster raster(w, h, kPixelRgba);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t v = rng();
      RgbaPixel p{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
      if (unit(rng) < alphaZeroShare) p.alpha = 0;
      at(raster, x, y) = p;
    }
  return raster;
}

inline Raster copyOf(const Raster& raster) {
  Raster copy(raster.width(), raster.height(), kPixelRgba);
  for (int32_t y = 0; y < raster.height(); ++y)
    for (int32_t x = 0; x < raster.width(); ++x) at(copy, x, y) = at(raster, x, y);
  return copy;
}

inline bool samePixel(const RgbaPixel& a, const RgbaPixel& b) {
  return a.red == b.red && a.green == b.green && a.blue == b.blue && a.alpha == b.alpha;
}

// Fails at the first differing pixel, printing both.
inline ::testing::AssertionResult sameRaster(const Raster& a, const Raster& b) {
  for (int32_t y = 0; y < a.height(); ++y)
    for (int32_t x = 0; x < a.width(); ++x)
      if (!samePixel(at(a, x, y), at(b, x, y))) {
        const RgbaPixel p = at(a, x, y), q = at(b, x, y);
        return ::testing::AssertionFailure()
               << "at (" << x << ", " << y << "): (" << +p.red << ", " << +p.green << ", "
               << +p.blue << ", " << +p.alpha << ") vs (" << +q.red << ", " << +q.green << ", "
               << +q.blue << ", " << +q.alpha << ")";
      }
  return ::testing::AssertionSuccess();
}

}  // namespace shimmerly::testing
