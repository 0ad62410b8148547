// The plug-in's entry point behind the exported `main`: the busy flag, the per-command host
// record, the host's slider form, the command table and the failure guard that turns typed
// errors into the host's result codes and messages. No exception leaves pluginMain.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "host/host_api.h"

namespace shimmerly {

// One handler per command; extra is the command's own record (may be null).
using EntryHandler = PF_Err (*)(PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                                PF_LayerDef* output, void* extra);

// Selectors 0..13 have entries; any other selector does nothing.
inline constexpr size_t kCommandCount = 14;
using CommandTable = std::array<EntryHandler, kCommandCount>;

// The table main dispatches through. Tests may swap an entry and must put it back.
CommandTable& commandTable();

// True when the host's effect-API version is 12.10 or later.
bool hostHasFloatSlidersFor(PF_SpecVersion version);

// The whole of `main`.
PF_Err pluginMain(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data, PF_ParamDef* params[],
                  PF_LayerDef* output, void* extra);

}  // namespace shimmerly
