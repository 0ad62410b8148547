// Applying a preset to the controls (see preset_controls.h): the preset popup's conversions from
// the glow settings record back to the controls.
#include "presets/preset_controls.h"

#include <cmath>
#include <cstdint>

#include "core/units.h"
#include "presets/glow_unit.h"

namespace shimmerly {
namespace {

// A slider set to x: kept within 0.00001 of its value, else x through single precision.
double slid(double current, float x) {
  return std::fabs(current - x) <= 0.00001 ? current : static_cast<double>(x);
}

}  // namespace

Controls appliedPreset(const GlowUnit& unit, const Controls& current) {
  Controls c = current;
  c.mask = unit.targetType;
  c.glowStyle = unit.targetProcessing;
  c.glowSize = slid(c.glowSize, static_cast<float>(unit.targetFeather));
  c.softness = slid(c.softness, static_cast<float>(unit.softness * 100));
  c.brightCutoff =
      slid(c.brightCutoff, static_cast<float>(unit.targetBrightCutoff * kByteToPercent));
  c.darkCutoff = slid(c.darkCutoff, static_cast<float>(unit.targetDarkCutoff * kByteToPercent));
  c.showTarget = unit.targetShowTarget;
  c.colorFrom = unit.colorFrom;
  c.color[0] = static_cast<uint8_t>(unit.customColor.red / 257);
  c.color[1] = static_cast<uint8_t>(unit.customColor.green / 257);
  c.color[2] = static_cast<uint8_t>(unit.customColor.blue / 257);
  c.transBoost = slid(c.transBoost, static_cast<float>((unit.boost - 1) * 100));
  c.blend = unit.transferMode;
  c.effectOnly = unit.compositeOnOriginal;
  return c;
}

}  // namespace shimmerly
