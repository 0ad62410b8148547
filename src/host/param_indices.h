// The plug-in's controls as a host addresses them: their indices in the parameter array, and the
// fixed items of the "Effect Presets" popup. Part of the plug-in's interface, with host_api.h:
// a host such as `shimmerly` drives the controls through these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace shimmerly {

enum ParamIndex : int32_t {
  PARAM_INPUT = 0,
  PARAM_PRESETS = 1,
  PARAM_TARGET_GROUP = 2,
  PARAM_MASK = 3,
  PARAM_BRIGHT_CUTOFF = 4,
  PARAM_DARK_CUTOFF = 5,
  PARAM_SHOW_TARGET = 6,
  PARAM_TARGET_GROUP_END = 7,
  PARAM_GLOW_STYLE = 8,
  PARAM_GLOW_SIZE = 9,
  PARAM_SOFTNESS = 10,
  PARAM_GLOW_COLOR_FROM = 11,
  PARAM_CUSTOM_COLOR = 12,
  PARAM_TRANS_BOOST = 13,
  PARAM_BLEND_MODE = 14,
  PARAM_SHOW_EFFECT_ONLY = 15,
  PARAM_COUNT = 16
};

// Size of the "Effect Presets" choice text, terminator included.
inline constexpr size_t kPresetChoiceTextSize = 10240;
// The four fixed items that open the "Effect Presets" popup.
inline constexpr const char* kPresetFixedChoices =
    "Select A Preset|------------------|Save...|-----------------";
// Popup value of the first preset name.
inline constexpr int32_t kFirstPresetChoice = 5;

}  // namespace shimmerly
