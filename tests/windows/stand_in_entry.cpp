// A stand-in entry function for a test copy of the plug-in module, so that the module's
// resources, export table and imports can be checked before the real entry point is linked in.
// Answers every command with PF_Err_NONE; never shipped.
#include "host/host_api.h"

extern "C" PF_Err __cdecl shimmerlyEntryPoint(PF_Cmd, PF_InData*, PF_OutData*, PF_ParamDef*[],
                                              PF_LayerDef*, void*) {
  return PF_Err_NONE;
}
