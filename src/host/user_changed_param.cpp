// The change notice of supervised controls and the Save... flow of the presets popup. The flow
// keeps one name buffer across its retries (a refused name comes back in the prompt), and every
// path ends with the popup at "Select A Preset" and refresh plus re-render requested. On the
// host "PrMr" a second "Save..." notice right after a flow is ignored: that host repeats it.
#include "host/user_changed_param.h"

#include "host/host_services.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "presets/glow_unit.h"
#include "presets/preset_library.h"
#include "ui/message_boxes.h"

namespace shimmerly {
namespace {

constexpr const char* kProduct = "Shimmerly";
constexpr int32_t kSaveChoice = 3;

constexpr const char* kReplaceQuestion =
    "This name is already taken as a preset.\r\rWould you like to replace it?";
constexpr const char* kLeadingPeriodMessage =
    "Presets cannot start with a period. Please try again.";
constexpr const char* kSaveFailedMessage = "Error while saving preset file.";
constexpr const char* kAvailableLaterMessage =
    "This preset will be available the next time the application is started.";
constexpr const char* kLoadFailedMessage = "Error while loading preset.";

// Asks for a name until one may be saved; false when the user gave up. replaced tells whether
// the user agreed to overwrite an existing preset.
bool choosePresetName(char (&name)[256], bool& replaced) {
  for (;;) {
    if (!promptPresetName(name)) return false;
    if (presetExists(kProduct, name)) {
      // An existing preset may be replaced even when its name starts with a full stop.
      if (askQuestion(nullptr, kReplaceQuestion, "Yes", "No", nullptr, "Preset") == 1) {
        replaced = true;
        return true;
      }
      continue;
    }
    if (name[0] == '.') {
      showMessage(kLeadingPeriodMessage);
      continue;
    }
    // A name that cannot be a file name would only fail inside the library: refuse it here
    // with the library's own message and let the user correct it.
    if (!isPresetNameAllowed(name)) {
      showMessage(kPresetSaveFailedMessage);
      continue;
    }
    return true;
  }
}

void runSaveFlow(PF_ParamDef* params[], GlowUnit& unit) {
  char name[256] = {};
  bool replaced = false;
  pluginState().savePromptActive = true;
  if (!choosePresetName(name, replaced)) return;
  paramsToGlowUnit(params, 1.0, unit);
  if (savePreset(kProduct, name, unit) != 0)
    showMessage(kSaveFailedMessage);  // after the library's own message
  else if (!replaced)
    showMessage(kAvailableLaterMessage);
}

void applyStoredPreset(PF_OutData* out_data, PF_ParamDef* params[], int32_t value, GlowUnit& unit) {
  const OrbixGlowUnitManager* manager = pluginState().presetManager.get();
  if (!manager) return;
  const PresetNameList& names = manager->list();
  // The popup was built from the list; a value past its end (the list changed since) is
  // ignored.
  size_t position = static_cast<size_t>(value - kFirstPresetChoice);
  if (position >= names.size()) return;
  if (loadPreset(kProduct, names[position].c_str(), unit) == 0)
    glowUnitToParams(out_data, params, &unit);
  else
    showMessage(kLoadFailedMessage);
}

}  // namespace

bool promptPresetName(char* buffer) {
  TextPrompt prompt(172, nullptr, "Set preset name:", 1004, 1003, buffer, "");
  return prompt.run(buffer) == 0 && buffer[0] != '\0';
}

PF_Err userChangedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                        PF_LayerDef*, int32_t paramIndex) {
  PluginState& state = pluginState();
  HostBoxesScope hostBoxes;  // a host without dialogs may draw the boxes itself
  if (in_data->appl_id != PF_FOURCC('P', 'r', 'M', 'r')) state.savePromptActive = false;
  GlowUnit unit("GlowUnit");
  if (paramIndex == PARAM_PRESETS) {
    const int32_t value = params[PARAM_PRESETS]->u.pd.value;
    if (!state.savePromptActive && value == kSaveChoice) {
      runSaveFlow(params, unit);
    } else {
      state.savePromptActive = false;
      if (value >= kFirstPresetChoice) applyStoredPreset(out_data, params, value, unit);
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
