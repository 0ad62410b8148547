// The Shimmerly host-services query (PF_PlatData_SHIMMERLY_HOST_SERVICES in host_api.h): what a
// host without the platform's keyboard and dialog services tells the plug-in, and a scope that
// lets such a host draw the plug-in's boxes for the length of one command.
#pragma once

#include <memory>

#include "host/host_api.h"
#include "ui/message_boxes.h"

namespace shimmerly {

// Asks the host of the current command; false, with services zero-filled, when there is no
// current command or the host does not answer the query.
bool queryHostServices(PF_ShimmerlyHostServices& services);

// While alive, the boxes are drawn by the host when the host offers to draw them; otherwise the
// boxes stay with the backend installed before.
class HostBoxesScope {
 public:
  HostBoxesScope();
  ~HostBoxesScope();
  HostBoxesScope(const HostBoxesScope&) = delete;
  HostBoxesScope& operator=(const HostBoxesScope&) = delete;

 private:
  std::unique_ptr<UiBackend> hostBackend_;
  UiBackend* previous_ = nullptr;
};

}  // namespace shimmerly
