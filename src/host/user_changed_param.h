// PF_Cmd_USER_CHANGED_PARAM: a supervised control changed. A choice of a stored preset in the
// "Effect Presets" popup applies it to the controls, "Save..." asks for a name and stores the
// current controls as a preset; whatever changed, the popup returns to "Select A Preset" and the
// host is asked to refresh the controls and render again (out_flags exactly 0x420000).
#pragma once

#include <cstdint>

#include "host/host_api.h"

namespace shimmerly {

// Always returns PF_Err_NONE; paramIndex is the host's param_index.
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef* output, int32_t paramIndex);

// Runs the name prompt showing the buffer's text (256 bytes). True when the user pressed OK with
// a non-empty name, which is then in the buffer; false after Cancel or OK on an empty field.
bool promptPresetName(char* buffer);

}  // namespace shimmerly
