// The one PluginState of the module.
#include "host/plugin_state.h"

#include "presets/preset_library.h"

namespace shimmerly {

PluginState& pluginState() {
  static PluginState state;
  return state;
}

}  // namespace shimmerly
