// The effect's controls: their indices in the host's parameter array, the parameter set-up that
// declares them to the host, slider access in float or 16.16 form by the host's version, and the
// conversions between the controls and a GlowUnit. Nothing here checks an index.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/units.h"
#include "host/host_api.h"
#include "presets/preset_library.h"

namespace shimmerly {

class GlowUnit;

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

// Writes the popup's choice text into text (kPresetChoiceTextSize bytes): the fixed items, then
// "|name" for every name that still fits whole (a "|" inside a name shown as "/"), or "|<None>"
// when no name was appended. Returns the number of choices.
int32_t buildPresetChoices(const PresetNameList& names, char* text);

// PF_Cmd_PARAMS_SETUP: lists the presets, hands the list to the preset manager and adds the
// fifteen controls through the host's add_param.
PF_Err paramsSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);

// A slider's value as a real: the float form's value, or the fixed form's value / 65536, chosen
// by pluginState().hostHasFloatSliders.
double readSliderValue(const PF_ParamDef* parameter);
// Stores x unless it lies within 0.00001 of the current value; true when it stored it (and set
// the parameter's change flag).
bool setSliderValue(PF_ParamDef* params[], int32_t index, float x);

// Fills the twelve controlled fields of unit from the controls; sizeScale multiplies Glow Size.
void paramsToGlowUnit(PF_ParamDef* params[], double sizeScale, GlowUnit& unit);
// Writes unit into the controls and asks the host to refresh them; nothing without a unit.
PF_Err glowUnitToParams(PF_OutData* out_data, PF_ParamDef* params[], const GlowUnit* unit);

}  // namespace shimmerly
