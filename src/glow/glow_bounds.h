// GlowBounds: the box, in raster coordinates (column, row from the bottom), that covers every
// pixel where the layer's alpha, the target or the glow is non-zero. Empty while x0 > x1 or
// y0 > y1; it starts empty and grows point by point.
#pragma once

namespace shimmerly {

struct GlowBounds {
  double x0 = 1e20;
  double x1 = -1e20;
  double y0 = 1e20;
  double y1 = -1e20;

  bool empty() const { return x0 > x1 || y0 > y1; }
  // The include rule: the x and y tests are independent, so the first point included into an
  // empty box sets all four sides.
  void include(double x, double y) {
    if (x < x0) x0 = x;
    if (x > x1) x1 = x;
    if (y < y0) y0 = y;
    if (y > y1) y1 = y;
  }
};

}  // namespace shimmerly
