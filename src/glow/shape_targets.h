// The geometric targets: the coverage of a circle (ellipse) or a square (rectangle) at one
// pixel, shared by the reference and the fast extraction so that both compute the same doubles
// in the same order. i is the column, r the source row counted from the top.
#pragma once

#include <algorithm>
#include <cmath>

#include "glow/render_settings.h"

namespace shimmerly {

// Circle (ellipse) target for column i, source row r (counted from the top); A is the value at
// full coverage. Zero radii give 0 / 0 = NaN, which fails every test and leaves 0.
inline int circleValue(const RenderSettings& s, double i, double r, double aspect, bool lowQuality,
                       int A) {
  const double shear = s.shapeSkew != 0 ? (r - s.shapeCentreY) * s.shapeSkew * 2 : 0.0;
  double sx, sy, rmax;
  if (s.shapeRadiusX < s.shapeRadiusY) {
    sx = s.shapeRadiusY / s.shapeRadiusX;
    sy = 1.0;
    rmax = s.shapeRadiusY;
  } else {
    sx = 1.0;
    sy = s.shapeRadiusX / s.shapeRadiusY;
    rmax = s.shapeRadiusX;
  }
  const double X = (i + shear - s.shapeCentreX) * sx * aspect;
  const double Y = (r - s.shapeCentreY) * sy;
  const double squared = X * X + Y * Y;
  const double d = squared > 0 ? std::sqrt(squared) : 0.0;
  const double w = rmax - d;
  if (!(rmax - std::fabs(X) >= 0 && rmax - std::fabs(Y) >= 0 && w >= 0)) return 0;
  if (lowQuality || w >= 1) return A;
  return std::min(A, static_cast<int>(w * 255));
}

// Square (rectangle) target with a one-pixel antialiased edge in high quality.
inline int squareValue(const RenderSettings& s, double i, double r, double aspect, bool lowQuality,
                       int A) {
  const double shear = s.shapeSkew != 0 ? (r - s.shapeCentreY) * s.shapeSkew * 2 : 0.0;
  const double X = i + shear - s.shapeCentreX;
  const double Y = r - s.shapeCentreY;
  const double u = s.shapeRadiusX - std::fabs(X * aspect);
  const double t = s.shapeRadiusY - std::fabs(Y);
  if (!(u >= 0 && t >= 0)) return 0;
  if (lowQuality) return A;
  double coverage;
  if (u >= 1 && t >= 1)
    return A;
  else if (u >= 1)
    coverage = t;
  else if (t >= 1)
    coverage = u;
  else
    coverage = u * t;
  return std::min(A, static_cast<int>(coverage * 255));
}

}  // namespace shimmerly
