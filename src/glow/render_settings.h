// RenderSettings: the per-frame record that the render command fills from the controls and
// target extraction reads (extraction may change glowSize).
#pragma once

#include <cstdint>

namespace shimmerly {

struct RenderSettings {
  int32_t targetType = 0;        // TargetType code 1..8; any other selects nothing
  int32_t targetProcessing = 0;  // TargetProcessing code: 1 None, 4 InnerGlow, 5 OuterGlow
  double shapeRadiusX = 0;
  double shapeRadiusY = 0;
  double shapeSkew = 0;
  double shapeCentreX = 0;
  double shapeCentreY = 0;  // row counted from the top of the layer
  double edgeWidth = 0;
  double glowSize = 0;      // spread radius in pixels of this frame
  double brightCutoff = 0;  // 0..255
  double darkCutoff = 0;    // 0..255
  bool showTarget = false;
};

}  // namespace shimmerly
