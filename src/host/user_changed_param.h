// PF_Cmd_USER_CHANGED_PARAM: a supervised control changed. A choice of a stored preset in the
// "Effect Presets" popup applies it to the controls; whatever changed, the popup returns to
// "Select A Preset" and the host is asked to refresh the controls and render again.
#pragma once

#include <cstdint>

#include "host/host_api.h"

namespace shimmerly {

// Always returns PF_Err_NONE; paramIndex is the host's param_index.
PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef* output, int32_t paramIndex);

}  // namespace shimmerly
