// A stand-in plug-in module for the host's tests: it answers every command, appends each
// command's number to "commands.log" in $HOME, declares no controls, and renders a frame by
// copying the input layer into the output, asking the host about progress and abort per row. A
// frame whose first pixel is (alpha 1, red 2, green 3, blue 4) makes it raise SIGINT first, as
// if the user pressed Ctrl-C during that frame.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/host_api.h"

extern "C" PF_Err countingEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output,
                                void* extra) __asm__("main") __attribute__((visibility("default")));

extern "C" PF_Err countingEntry(PF_Cmd cmd, PF_InData* in_data, PF_OutData* out_data,
                                PF_ParamDef* params[], PF_LayerDef* output, void*) {
  const char* home = std::getenv("HOME");
  if (FILE* log = std::fopen((std::string(home ? home : ".") + "/commands.log").c_str(), "a")) {
    std::fprintf(log, "%u\n", cmd);
    std::fclose(log);
  }
  if (cmd == PF_Cmd_PARAMS_SETUP) out_data->num_params = 1;
  if (cmd == PF_Cmd_RENDER) {
    const PF_LayerDef& input = params[0]->u.ld;
    const PF_Pixel& first = input.data[0];
    if (first.alpha == 1 && first.red == 2 && first.green == 3 && first.blue == 4)
      std::raise(SIGINT);
    for (int32_t r = 0; r < input.height; ++r) {
      PF_Err err = in_data->inter.progress(in_data->effect_ref, r, input.height);
      if (!err) err = in_data->inter.abort(in_data->effect_ref);
      if (err) return err;
      std::memcpy(
          reinterpret_cast<char*>(output->data) + static_cast<int64_t>(r) * output->rowbytes,
          reinterpret_cast<const char*>(input.data) + static_cast<int64_t>(r) * input.rowbytes,
          static_cast<size_t>(input.width) * 4);
    }
  }
  return PF_Err_NONE;
}
