// The eight blend modes. Each mode is written as the exact sequence of double-precision
// operations it performs: products and sums run left to right, every conversion to a byte
// truncates toward zero (after + 0.5 where a mode rounds), and division by 255 is a
// multiplication by the double nearest 1/255.
#include "composite/blend.h"

#include <algorithm>
#include <array>

namespace shimmerly {

namespace {

constexpr double k1 = 1.0 / 255.0;  // the double nearest to 1/255
constexpr double k2 = 2.0 / 255.0;  // the double nearest to 2/255

// Entry 0 = 0, entry i = 1 / i. A function-local static is initialised exactly once, also when
// several threads reach it at the same time, so no render ever sees a half-filled table.
const std::array<double, 512>& reciprocalTable() {
  static const std::array<double, 512> table = [] {
    std::array<double, 512> t{};
    t[0] = 0.0;
    for (int i = 1; i < 512; ++i) t[i] = 1.0 / i;
    return t;
  }();
  return table;
}

// trunc toward zero, then limited to 255. No value reaching here is negative.
inline uint8_t clampedTrunc(double v) {
  const int t = static_cast<int>(v);
  return static_cast<uint8_t>(std::min(255, t));
}

// A′ = clamped trunc(a × (1 − c) + b + 0.5).
inline uint8_t blendedAlpha(int a, int b, double c) {
  return clampedTrunc(a * (1.0 - c) + b + 0.5);
}

inline uint8_t& channel(PF_Pixel& p, int i) {
  return i == 0 ? p.red : (i == 1 ? p.green : p.blue);
}
inline uint8_t channel(const RgbaPixel& g, int i) {
  return i == 0 ? g.red : (i == 1 ? g.green : g.blue);
}

// A transparent host pixel takes the glow pixel as it is.
inline void takeGlow(const RgbaPixel& g, PF_Pixel& p) {
  p.alpha = g.alpha;
  p.red = g.red;
  p.green = g.green;
  p.blue = g.blue;
}

void blendNormal(const RgbaPixel& g, PF_Pixel& p) {
  const int a = p.alpha, b = g.alpha;
  if (a == 0) return takeGlow(g, p);
  if (b == 0) return;
  const double c = b * k1, e = a * k1;
  for (int i = 0; i < 3; ++i)
    channel(p, i) = clampedTrunc(channel(p, i) * e * (1.0 - c) + channel(g, i) * c + 0.5);
  p.alpha = blendedAlpha(a, b, c);
  unmultiplyPixel(p);
}

void blendScreen(const RgbaPixel& g, PF_Pixel& p) {
  const int a = p.alpha, b = g.alpha;
  const double c = b * k1, e = a * k1;
  for (int i = 0; i < 3; ++i)
    channel(p, i) = static_cast<uint8_t>(
        static_cast<int>(255.0 - (255.0 - channel(p, i) * e) * (255.0 - channel(g, i) * c) * k1));
  p.alpha = blendedAlpha(a, b, c);
  unmultiplyPixel(p);
}

void blendMultiply(const RgbaPixel& g, PF_Pixel& p) {
  const int a = p.alpha, b = g.alpha;
  if (a == 0) return takeGlow(g, p);
  const double c = b * k1, e = a * k1;
  int m[3];
  for (int i = 0; i < 3; ++i)
    m[i] = static_cast<int>(channel(p, i) * ((1.0 - c) + channel(g, i) * c * k1));
  p.alpha = blendedAlpha(a, b, c);
  for (int i = 0; i < 3; ++i)
    channel(p, i) = clampedTrunc(channel(g, i) * c * (1.0 - e) + m[i] * e + 0.5);
  unmultiplyPixel(p);
}

void blendOverlay(const RgbaPixel& g, PF_Pixel& p) {
  const int a = p.alpha, b = g.alpha;
  if (a == 0) return takeGlow(g, p);
  const double c = b * k1, e = a * k1;
  double o[3];
  for (int i = 0; i < 3; ++i) {
    const int px = channel(p, i), gx = channel(g, i);
    o[i] = px > 128 ? 255.0 - (255 - gx) * (255 - px) * k2 : px * gx * k2;
  }
  for (int i = 0; i < 3; ++i)
    channel(p, i) = clampedTrunc(channel(p, i) * e * (1.0 - c) + o[i] * c + 0.5);
  p.alpha = blendedAlpha(a, b, c);
  unmultiplyPixel(p);
  for (int i = 0; i < 3; ++i)
    channel(p, i) = clampedTrunc(channel(g, i) * c * (1.0 - e) + channel(p, i) * e + 0.5);
  unmultiplyPixel(p);
}

void blendAdd(const RgbaPixel& g, PF_Pixel& p) {
  const int a = p.alpha, b = g.alpha;
  if (a == 0) return takeGlow(g, p);
  if (b == 0) return;
  const double c = b * k1, e = a * k1;
  const uint8_t alpha = blendedAlpha(a, b, c);
  const double q = reciprocalTable()[alpha] * 255.0;
  for (int i = 0; i < 3; ++i)
    channel(p, i) = clampedTrunc((channel(p, i) * e + channel(g, i) * c) * q);
  p.alpha = alpha;
}

}  // namespace

void fillAlphaReciprocals() {
  (void)reciprocalTable();
}

const double* alphaReciprocals() {
  return reciprocalTable().data();
}

void unmultiplyPixel(PF_Pixel& pixel) {
  const int alpha = pixel.alpha;
  if (alpha == 0 || alpha == 255) return;
  const double q = reciprocalTable()[alpha] * 255.0;
  // The blend modes only pass pixels whose channels are at most their alpha, so the quotient
  // stays within 0..255; the limit keeps a stray caller from wrapping a byte.
  pixel.red = clampedTrunc(pixel.red * q);
  pixel.green = clampedTrunc(pixel.green * q);
  pixel.blue = clampedTrunc(pixel.blue * q);
}

void blendPixel(int32_t mode, const RgbaPixel& glow, PF_Pixel& pixel) {
  switch (mode) {
    case 1:
      return blendNormal(glow, pixel);
    case 2:
      return blendScreen(glow, pixel);
    case 3:
      return blendMultiply(glow, pixel);
    case 4:
      return blendOverlay(glow, pixel);
    case 5:
      return blendAdd(glow, pixel);
    case 6:  // Magic Glue 1
      blendScreen(glow, pixel);
      return blendMultiply(glow, pixel);
    case 7:  // Magic Glue 2
      blendScreen(glow, pixel);
      blendOverlay(glow, pixel);
      return blendMultiply(glow, pixel);
    case 8:  // Magic Glue 3
      blendMultiply(glow, pixel);
      return blendScreen(glow, pixel);
    default:  // the render command never passes other modes; the pixel is left alone
      return;
  }
}

}  // namespace shimmerly
