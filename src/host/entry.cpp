// The entry point's dispatch: turns away re-entrant calls, remembers the host record, creates the
// preset manager on the first command, dispatches, and catches every failure so that none
// crosses into the host.
#include "host/entry.h"

#include <cstdio>
#include <new>

#include "core/errors.h"
#include "host/lifecycle.h"
#include "host/params.h"
#include "host/plugin_state.h"
#include "host/render_command.h"
#include "host/user_changed_param.h"
#include "presets/preset_library.h"

namespace shimmerly {
namespace {

PF_Err doNothing(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*, void*) {
  return PF_Err_NONE;
}

template <PF_Err (*Handler)(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*)>
PF_Err plain(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output,
             void*) {
  return Handler(in_data, out_data, params, output);
}

// The plug-in keeps no sequence data; both records are cleared all the same.
PF_Err sequenceSetdown(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*,
                       void*) {
  out_data->sequence_data = nullptr;
  in_data->sequence_data = nullptr;
  return PF_Err_NONE;
}

PF_Err changedParam(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                    PF_LayerDef* output, void* extra) {
  int32_t index = extra ? static_cast<PF_UserChangedParamExtra*>(extra)->param_index : 0;
  return userChangedParam(in_data, out_data, params, output, index);
}

void reportFailure(PF_OutData* out_data, const char* message) {
  if (!out_data) return;
  std::snprintf(out_data->return_msg, sizeof out_data->return_msg, "%s", message);
  out_data->out_flags |= PF_OutFlag_DISPLAY_ERROR_MESSAGE;
}

}  // namespace

CommandTable& commandTable() {
  static CommandTable table = {
      plain<about>,            // PF_Cmd_ABOUT
      plain<globalSetup>,      // PF_Cmd_GLOBAL_SETUP
      doNothing,               // PF_Cmd_UNUSED_0
      plain<globalSetdown>,    // PF_Cmd_GLOBAL_SETDOWN
      plain<paramsSetup>,      // PF_Cmd_PARAMS_SETUP
      plain<sequenceSetup>,    // PF_Cmd_SEQUENCE_SETUP
      plain<sequenceResetup>,  // PF_Cmd_SEQUENCE_RESETUP
      doNothing,               // PF_Cmd_SEQUENCE_FLATTEN
      sequenceSetdown,         // PF_Cmd_SEQUENCE_SETDOWN
      doNothing,               // PF_Cmd_DO_DIALOG
      doNothing,               // PF_Cmd_FRAME_SETUP
      plain<render>,           // PF_Cmd_RENDER
      doNothing,               // PF_Cmd_FRAME_SETDOWN
      changedParam,            // PF_Cmd_USER_CHANGED_PARAM
  };
  return table;
}

bool hostHasFloatSlidersFor(PF_SpecVersion version) {
  return version.major > 12 || (version.major == 12 && version.minor >= 10);
}

PF_Err pluginMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_LayerDef* output, void* extra) {
  PluginState& state = pluginState();
  state.result = PF_Err_NONE;
  if (state.busy) return PF_Err_NONE;
  if (!state.presetManager) {
    try {
      state.presetManager = std::make_unique<OrbixGlowUnitManager>();
    } catch (...) {
      // Tried again at the next command.
    }
  }
  state.currentInData = in_data;
  if (in_data) state.hostHasFloatSliders = hostHasFloatSlidersFor(in_data->version);
  state.busy = true;
  try {
    if (cmd < kCommandCount)
      state.result = commandTable()[cmd](in_data, out_data, params, output, extra);
  } catch (const eBaseError&) {
    reportFailure(out_data, "Unable to complete the operation. (*3)");
    state.result = PF_Err_OUT_OF_MEMORY;
  } catch (const eOrbixError& error) {
    char message[PF_MAX_EFFECT_MSG_LEN + 1];
    std::snprintf(message, sizeof message, "Fatal Shimmerly error (%d) occurred during operation.",
                  static_cast<int>(error.code));
    reportFailure(out_data, message);
    state.result = PF_Err_INTERNAL_STRUCT_DAMAGED;
  } catch (...) {
    reportFailure(out_data, "Unable to complete the operation. (*4)");
    state.result = PF_Err_OUT_OF_MEMORY;
  }
  state.busy = false;
  return state.result;
}

}  // namespace shimmerly
