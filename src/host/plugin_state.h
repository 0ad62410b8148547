// The module-wide state of the plug-in: one record for the whole load of the module, all zero
// at load. The entry point keeps it; code without a host record of its own reaches the host's
// callbacks through currentInData.
#pragma once

#include <cstdint>
#include <memory>

#include "host/host_api.h"

namespace shimmerly {

class OrbixGlowUnitManager;

struct PluginState {
  bool busy = false;
  PF_Err result = PF_Err_NONE;
  PF_InData* currentInData = nullptr;  // input record of the latest command; never cleared
  bool hostHasFloatSliders = false;
  std::unique_ptr<OrbixGlowUnitManager> presetManager;
  char pluginFileName[260] = {};
  bool savePromptActive = false;
};

// The one instance of the module.
PluginState& pluginState();

}  // namespace shimmerly
