// The host-services query and the scope of host-drawn boxes.
#include "host/host_services.h"

#include <cstring>

#include "host/host_ui_backend.h"
#include "host/plugin_state.h"

namespace shimmerly {

bool queryHostServices(PF_ShimmerlyHostServices& services) {
  std::memset(&services, 0, sizeof services);
  PF_InData* in = pluginState().currentInData;
  if (!in || !in->utils || !in->utils->get_platform_data) return false;
  PF_ShimmerlyHostServices answer;
  std::memset(&answer, 0, sizeof answer);
  if (in->utils->get_platform_data(in->effect_ref, PF_PlatData_SHIMMERLY_HOST_SERVICES, &answer) !=
      PF_Err_NONE)
    return false;
  services = answer;
  return true;
}

HostBoxesScope::HostBoxesScope() {
  PF_ShimmerlyHostServices services;
  if (!queryHostServices(services) || !HostUiBackend::canDraw(services)) return;
  hostBackend_ = std::make_unique<HostUiBackend>(services);
  previous_ = &uiBackend();
  setUiBackend(hostBackend_.get());
}

HostBoxesScope::~HostBoxesScope() {
  if (hostBackend_) setUiBackend(previous_);
}

}  // namespace shimmerly
