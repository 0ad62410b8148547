// The commands that frame the plug-in's life in the host: global set-up and set-down, sequence
// set-up and re-set-up (the effect keeps no per-instance data), and the about text.
#pragma once

#include <cstdint>

#include "host/host_api.h"

namespace shimmerly {

// The effect version reported to the host: major 2, every other part 0.
inline constexpr uint32_t kEffectVersion = 0x100000;
// The build number the about text shows with Shift held.
inline constexpr const char* kBuildNumber = "109";

PF_Err globalSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                   PF_LayerDef* output);
PF_Err globalSetdown(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_LayerDef* output);
PF_Err sequenceSetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                     PF_LayerDef* output);
PF_Err sequenceResetup(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                       PF_LayerDef* output);
PF_Err about(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

// The file-name part of a module path: what follows the last path separator, or the whole path.
// Writes at most 259 bytes plus the terminator.
void copyFileName(const char* path, char (&fileName)[260]);

}  // namespace shimmerly
