// The effect's controls (indexed as param_indices.h says): the parameter set-up that declares
// them to the host, slider access in float or 16.16 form by the host's version, and the
// conversions between the controls and a GlowUnit. Nothing here checks an index.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/units.h"
#include "host/host_api.h"
#include "host/param_indices.h"
#include "presets/preset_library.h"

namespace shimmerly {

class GlowUnit;

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
