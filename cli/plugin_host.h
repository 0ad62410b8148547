// The host driver: drives a plug-in's `main` the way a compositing host does. It owns the input
// and output records, the callback suites (add_param, progress/abort, memory handles,
// get_platform_data, sprintf, strcpy) and the parameter array, which it builds from the
// definitions the plug-in hands to add_param (index 0 is the input layer). Used by every
// `shimmerly` subcommand and by tests that drive the plug-in in process or loaded.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/plugin_library.h"
#include "host/host_api.h"

namespace shimmerly::cli {

// The host-side settings of one frame.
struct FrameSettings {
  int32_t quality = PF_Quality_HI;
  PF_RationalScale downsampleX{1, 1};
  PF_RationalScale downsampleY{1, 1};
  PF_RationalScale pixelAspect{1, 1};
  std::optional<PF_Rect> extent;  // layer pixels from the top; default the whole layer
};

// A layer over `pixels`, width × height in packed rows, as a host hands it to the plug-in.
PF_LayerDef layerOver(std::vector<PF_Pixel>& pixels, int32_t width, int32_t height,
                      PF_RationalScale pixelAspect = {1, 1});

// A command that failed; what() is the plug-in's own message when it asked for one to be shown.
class PluginError : public std::runtime_error {
 public:
  PluginError(const std::string& message, PF_Err code) : std::runtime_error(message), code_(code) {}
  PF_Err code() const { return code_; }

 private:
  PF_Err code_;
};

class PluginHost {
 public:
  // Drives entry directly; pluginPath is what get_platform_data reports as the plug-in's file.
  PluginHost(PF_EntryPoint entry, std::string pluginPath);
  // Loads the module at pluginPath and drives its `main`.
  static std::unique_ptr<PluginHost> open(const std::string& pluginPath);
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // The host's effect-API version (default 13.0) and application code.
  void setHostVersion(int16_t major, int16_t minor);
  void setApplicationId(uint32_t applId) { in_.appl_id = applId; }

  // Sends one command with fresh output records; returns the plug-in's result.
  PF_Err call(PF_Cmd cmd, PF_LayerDef* output = nullptr, void* extra = nullptr);
  // As call, but a non-zero result raises PluginError.
  void run(PF_Cmd cmd, PF_LayerDef* output = nullptr, void* extra = nullptr);

  // Global set-up, parameter set-up (the parameter array is rebuilt) and sequence set-up.
  void start();
  // Sequence set-down and global set-down.
  void finish();
  void globalSetup() { run(PF_Cmd_GLOBAL_SETUP); }
  void paramsSetup();
  void sequenceSetup() { run(PF_Cmd_SEQUENCE_SETUP); }
  void sequenceSetdown() { run(PF_Cmd_SEQUENCE_SETDOWN); }
  void globalSetdown() { run(PF_Cmd_GLOBAL_SETDOWN); }
  std::string about();

  // Renders input into output (same size) with the current parameter values. Returns 0, or
  // the plug-in's code (an interrupt code among them); PluginError when it reported a message.
  PF_Err render(const PF_LayerDef& input, PF_LayerDef& output, const FrameSettings& frame = {});
  // Tells the plug-in that the parameter at index changed.
  PF_Err userChangedParam(int32_t index);

  // The parameter array: 0 is the input layer, then the plug-in's own parameters.
  size_t paramCount() const { return params_.size(); }
  PF_ParamDef& param(size_t index) { return params_[index]; }
  PF_ParamDef** paramArray() { return pointers_.data(); }

  PF_InData& inData() { return in_; }
  PF_OutData& outData() { return out_; }
  const std::string& pluginPath() const { return pluginPath_; }

  // Optional hooks. progress: answer of the progress callback (default 0). abort: answer of the
  // abort callback (default: PF_Interrupt_CANCEL once cancelRequested()). addParam: a non-zero
  // answer refuses the definition and is returned to the plug-in.
  std::function<PF_Err(int32_t current, int32_t total)> progressHook;
  std::function<PF_Err()> abortHook;
  std::function<PF_Err(const PF_ParamDef& def)> addParamHook;
  // Answers the Shimmerly host-services query (host_api.h) when set: fills the record (zeroed
  // by the plug-in) with the Shift-key state and, optionally, box callbacks.
  std::function<void(PF_ShimmerlyHostServices& services)> hostServicesHook;

  // Memory handles given out and not yet disposed of, across all hosts.
  static int64_t liveHandles();

 private:
  static PF_Err PF_CALL addParam(PF_ProgPtr ref, int32_t index, PF_ParamDef* def);
  static PF_Err PF_CALL progress(PF_ProgPtr ref, int32_t current, int32_t total);
  static PF_Err PF_CALL abortCheck(PF_ProgPtr ref);
  static PF_Err PF_CALL platformData(PF_ProgPtr ref, int32_t which, void* data);
  void clearParams();
  void appendParam(const PF_ParamDef& def);

  std::unique_ptr<PluginLibrary> library_;
  PF_EntryPoint entry_;
  std::string pluginPath_;
  PF_UtilCallbacks utils_{};
  PF_InData in_{};
  PF_OutData out_{};
  std::deque<PF_ParamDef> params_;      // stable addresses
  std::vector<PF_ParamDef*> pointers_;  // one per parameter, then a terminating null
  std::deque<std::string> texts_;       // popup choices and checkbox texts, owned by the host
};

// Ctrl-C: installCancelHandler makes SIGINT set the flag that the default abort answers with
// PF_Interrupt_CANCEL.
void installCancelHandler();
bool cancelRequested();
void requestCancel();
void clearCancel();

// The name of a parameter type as `shimmerly params` prints it.
const char* paramTypeName(int32_t type);

}  // namespace shimmerly::cli
