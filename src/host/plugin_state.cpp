// The one PluginState of the module. Made on first use, it connects the layers below to the
// host whose record is current: rasters take the host's memory handles, and the preset folder
// learns the plug-in file's path from get_platform_data.
#include "host/plugin_state.h"

#include <string>
#include <vector>

#include "core/errors.h"
#include "core/raster.h"
#include "platform/files.h"
#include "presets/preset_folder.h"
#include "presets/preset_library.h"

namespace shimmerly {
namespace {

// Memory from the host's handles while a host record is current and offers all four
// memory-handle services. The release callbacks are kept with the block: the current host
// record may change before the raster is released.
bool hostRasterMemory(uint64_t bytes, RasterBlock& block) {
  const PF_InData* inData = pluginState().currentInData;
  if (inData == nullptr || inData->utils == nullptr) return false;
  const PF_UtilCallbacks* utils = inData->utils;
  if (utils->host_new_handle == nullptr || utils->host_lock_handle == nullptr ||
      utils->host_unlock_handle == nullptr || utils->host_dispose_handle == nullptr)
    return false;
  PF_Handle handle = utils->host_new_handle(bytes);
  if (handle == nullptr) throwBadAllocation();
  void* address = utils->host_lock_handle(handle);
  if (address == nullptr) {
    utils->host_dispose_handle(handle);
    throwBadAllocation();
  }
  block.address = address;
  block.release = [handle, unlock = utils->host_unlock_handle,
                   dispose = utils->host_dispose_handle] {
    unlock(handle);
    dispose(handle);
  };
  return true;
}

// The plug-in file's path as the current host reports it.
std::string hostModulePath() {
  const PF_InData* in = pluginState().currentInData;
  if (!in || !in->utils || !in->utils->get_platform_data) return {};
  // The host writes a zero-terminated path of at most the platform's path length.
  std::vector<char> buffer(platform::kMaxPathBytes + 1, '\0');
  in->utils->get_platform_data(in->effect_ref, PF_PlatData_EXE_FILE_PATH, buffer.data());
  buffer.back() = '\0';
  return buffer.data();
}

}  // namespace

PluginState& pluginState() {
  static PluginState state = [] {
    setRasterMemorySource(hostRasterMemory);
    setModulePathSource(hostModulePath);
    return PluginState{};
  }();
  return state;
}

}  // namespace shimmerly
