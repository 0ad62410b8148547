// The change notice of supervised controls: applies a chosen stored preset and resets the
// presets popup. A popup value past the end of the manager's list does nothing.
#include "host/user_changed_param.h"

#include "host/params.h"
#include "host/plugin_state.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"
#include "ui/message_boxes.h"

namespace shimmerly {

PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef*, int32_t paramIndex) {
  PluginState& state = pluginState();
  if (in_data->appl_id != PF_FOURCC('P', 'r', 'M', 'r')) state.savePromptActive = false;
  GlowUnit unit("GlowUnit");
  if (paramIndex == PARAM_PRESETS) {
    int32_t value = params[PARAM_PRESETS]->u.pd.value;
    state.savePromptActive = false;
    if (value >= kFirstPresetChoice && state.presetManager) {
      const PresetNameList& names = state.presetManager->list();
      size_t position = static_cast<size_t>(value - kFirstPresetChoice);
      if (position < names.size()) {
        if (loadPreset("Shimmerly", names[position].c_str(), unit) == 0)
          glowUnitToParams(out_data, params, &unit);
        else
          showMessage("Error while loading preset.");
      }
    }
  } else {
    state.savePromptActive = false;
  }
  params[PARAM_PRESETS]->u.pd.value = 1;
  params[PARAM_PRESETS]->change_flags = PF_ChangeFlag_CHANGED_VALUE;
  out_data->out_flags = PF_OutFlag_REFRESH_UI | PF_OutFlag_FORCE_RERENDER;
  return PF_Err_NONE;
}

}  // namespace shimmerly
