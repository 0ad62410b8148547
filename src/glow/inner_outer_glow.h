// Inner and outer glow: save the unspread target, spread the raster, then recompute every alpha
// of the grown region from the spread alpha s and the saved alpha o, followed by a fixed
// contrast stretch. The saved copy is a second kind-1 raster, or, when none is given, the red
// byte of the processed raster itself (which then stops being a colour).
#pragma once

#include <cstdint>

#include "core/raster.h"
#include "glow/glow_bounds.h"

namespace shimmerly {

// 255 for u ≥ 217 (u above 0.85 × 255), else u × 20 div 17. u is 0..255.
int stretchAlpha(int u);
// The new alpha of one pixel from its spread alpha s and saved alpha o (both 0..255).
int innerGlowAlpha(int s, int o);
int outerGlowAlpha(int s, int o);

// Strongest just inside the target's rim: alpha = stretchAlpha((255 − s) × o div 255), 0 where
// o = 0. Returns 0. Empty bounds: nothing changes and no spread runs.
int innerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
              Raster* savedCopy);
// Strongest just outside the rim: alpha = stretchAlpha((255 − o) × s div 255), 0 where o = 255.
int outerGlow(Raster& raster, double radius, GlowBounds& bounds, bool lowQuality,
              Raster* savedCopy);

}  // namespace shimmerly
