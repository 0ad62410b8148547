// The render command: reads the controls by their indices and the host's frame settings into a
// frame request, and renders it on the plug-in's engine, which writes the output frame (8-bit
// PF_Pixel, straight colour, top row first). The host is asked once per row whether to stop.
#pragma once

#include <cstdint>

#include "host/host_api.h"
#include "shimmerly/shimmerly.h"

namespace shimmerly {

// Asks the host, through the record of the command in progress, whether to stop. True means
// stop; the host's code is then in *code. Without a current host record it never stops.
bool checkInterrupt(int32_t current, int32_t total, int32_t* code);

// The twelve controls as the parameters hold them, in the units a user sees.
Controls controlsOf(PF_ParamDef* params[]);

// PF_Cmd_RENDER. Returns 0, the host's interrupt code, or target extraction's non-zero result.
PF_Err render(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[], PF_LayerDef* output);

}  // namespace shimmerly
