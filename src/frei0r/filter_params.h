// The frei0r filter's fourteen parameters: their names, kinds and explanations in the order hosts
// number them, and FilterSettings, which reads the values a host sets into shimmerly::Controls.
// Nothing here depends on frei0r.h, so that the tests and the fuzz target use it on its own.
#ifndef SHIMMERLY_FREI0R_FILTER_PARAMS_H
#define SHIMMERLY_FREI0R_FILTER_PARAMS_H

#include <array>
#include <string>

#include "shimmerly/shimmerly.h"

namespace shimmerly::frei0r {

// The frei0r parameter types the filter uses, numbered as F0R_PARAM_BOOL, _DOUBLE, _COLOR and
// _STRING are.
enum class ParamKind { Bool = 0, Double = 1, Color = 2, Text = 4 };

struct ParamInfo {
  const char* name;
  ParamKind kind;
  const char* explanation;
};

// The parameters' indices: ffmpeg's filter_params lists the values in this order.
enum Param : int {
  kPreset,
  kMask,
  kBrightCutoff,
  kDarkCutoff,
  kShowTarget,
  kGlowStyle,
  kGlowSize,
  kSoftness,
  kColorFrom,
  kColor,
  kTransBoost,
  kBlend,
  kEffectOnly,
  kQuality,
  kParamCount
};

// The parameter at `index`, which must be from 0 to kParamCount - 1.
const ParamInfo& paramInfo(int index);

// A control in its own unit from a frei0r double of 0..1, rounded to 6 decimals so that a host's
// 0.0225 for the glow size is exactly 22.5 pixels.
double controlOfUnit(int index, double unit);
// The frei0r double of 0..1 of a control's value.
double unitOfControl(int index, double control);

// The values one instance holds: what the host last set successfully, and the controls and
// render options they make. Each set... returns an empty string when the value was taken, or one
// line saying what is wrong with it; the parameter then keeps its last good value.
class FilterSettings {
 public:
  FilterSettings();

  std::string setNumber(int index, double value);  // Bool and Double parameters
  std::string setColor(int index, double red, double green, double blue);
  std::string setText(int index, const char* text);  // Text parameters; nullptr is ""

  double number(int index) const;  // 1 or 0 for a Bool
  std::array<float, 3> color() const;
  const std::string& text(int index) const;

  // The preset's controls with every parameter set to other than its default on top.
  const Controls& controls() const { return effective_; }
  const RenderOptions& options() const { return options_; }

 private:
  void update();

  Controls changes_;     // the controls as the parameters set them
  Controls presetBase_;  // the preset's controls, or the defaults without one
  Controls effective_;
  RenderOptions options_;
  std::array<double, kParamCount> numbers_{};
  std::array<std::string, kParamCount> texts_;
  std::array<float, 3> color_{1.0f, 1.0f, 1.0f};
  // The text a string parameter last refused and why: hosts that set every parameter before
  // every frame do not make the filter load a bad preset again each time.
  std::array<std::string, kParamCount> refused_, refusal_;
};

}  // namespace shimmerly::frei0r

#endif
