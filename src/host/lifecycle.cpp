// Global and sequence commands and the about text. Global set-up prepares the preset folder and
// records the plug-in's own file name; the about text is formatted through the host's sprintf
// and always fits the host's 256-byte message.
#include "host/lifecycle.h"

#include <cstring>

#include "engine/render_engine.h"
#include "host/module_info.h"
#include "host/plugin_state.h"
#include "presets/preset_folder.h"

namespace shimmerly {

void copyFileName(const char* path, char (&fileName)[260]) {
  const char* start = path;
  for (const char* p = path; *p; ++p)
    if (*p == '\\' || *p == '/') start = p + 1;
  size_t length = std::strlen(start);
  if (length > sizeof fileName - 1) length = sizeof fileName - 1;
  std::memcpy(fileName, start, length);
  fileName[length] = '\0';
}

PF_Err globalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  PluginState& state = pluginState();
  ensurePresetFolder("Shimmerly");
  char path[260] = {};
  in_data->utils->get_platform_data(in_data->effect_ref, PF_PlatData_EXE_FILE_PATH, path);
  path[sizeof path - 1] = '\0';
  copyFileName(path, state.pluginFileName);
  out_data->my_version = kEffectVersion;
  out_data->out_flags = PF_OutFlag_SEND_UPDATE_PARAMS_UI;
  if (state.hostHasFloatSliders)
    out_data->out_flags2 = PF_OutFlag2_PARAM_GROUP_START_COLLAPSED_FLAG;
  return PF_Err_NONE;
}

PF_Err globalSetdown(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) {
  // The render's worker threads and the working memory kept between frames end here.
  renderEngine().release();
  return PF_Err_NONE;
}

PF_Err sequenceSetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) {
  return PF_Err_NONE;
}

PF_Err sequenceResetup(PF_InData*, PF_OutData*, PF_ParamDef*[], PF_LayerDef*) {
  return PF_Err_NONE;
}

namespace {

constexpr const char* kAboutFormat =
    "Shimmerly for AE, v%s\r"
    "Copyright (c) 2026 Brindlex. All rights reserved.\r"
    "https://www.brindlex.com\r"
    "Telephone +1 555 0142 7730\r"
    "Glow effects for motion graphics. %s %s";

}  // namespace

PF_Err about(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef*[], PF_LayerDef*) {
  PluginState& state = pluginState();
  int32_t version[3] = {0, 0, 0};
  if (!readModuleFileVersion(state.pluginFileName, version))
    version[0] = version[1] = version[2] = 0;
  char versionText[48];
  in_data->utils->ansi.sprintf(versionText, "%d.%d.%d", static_cast<int>(version[0]),
                               static_cast<int>(version[1]), static_cast<int>(version[2]));
  char lineA[PF_MAX_EFFECT_MSG_LEN + 1] = "";
  char lineB[32] = "";
  if (isShiftKeyDown()) {
    // Keep the whole text inside return_msg: a long file name is shortened.
    size_t fixed = std::strlen(kAboutFormat) - 6 + std::strlen(versionText) +
                   std::strlen("\r\rPlug-in Name: ") + std::strlen("\r\rBuild Number: ") +
                   std::strlen(kBuildNumber);
    int room = fixed < PF_MAX_EFFECT_MSG_LEN ? static_cast<int>(PF_MAX_EFFECT_MSG_LEN - fixed) : 0;
    in_data->utils->ansi.sprintf(lineA, "\r\rPlug-in Name: %.*s", room, state.pluginFileName);
    in_data->utils->ansi.sprintf(lineB, "\r\rBuild Number: %s", kBuildNumber);
  }
  in_data->utils->ansi.sprintf(out_data->return_msg, kAboutFormat, versionText, lineA, lineB);
  return PF_Err_NONE;
}

}  // namespace shimmerly
