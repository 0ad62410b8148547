// The plug-in module's one exported symbol. The function carries an internal name and is
// exported as `main`: on ELF through an assembler name, on Windows through the module-definition
// file, so that no C++ function is literally called main.
#include "host/entry.h"
#include "host/host_api.h"

#if defined(_WIN32)
#define SHIMMERLY_EXPORT_AS_MAIN
#else
#define SHIMMERLY_EXPORT_AS_MAIN __asm__("main") __attribute__((visibility("default")))
#endif

extern "C" PF_Err PF_CALL shimmerlyEntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                              PF_ParamDef* params[], PF_LayerDef* output,
                                              void* extra) SHIMMERLY_EXPORT_AS_MAIN;

extern "C" PF_Err PF_CALL shimmerlyEntryPoint(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                              PF_ParamDef* params[], PF_LayerDef* output,
                                              void* extra) {
  return shimmerly::pluginMain(cmd, in_data, out_data, params, output, extra);
}
