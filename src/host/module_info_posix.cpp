// Module version and the detailed-about request on POSIX, which has neither version resources
// nor a keyboard service: the module's version is the one the build stamps into the plug-in
// (the project version), and instead of the Shift key the host is asked: a host that answers
// the Shimmerly host-services query with shift_key_down set asks for the detailed about text
// (the shimmerly command's `about --details` does).
#include "host/host_services.h"
#include "host/module_info.h"

namespace shimmerly {

bool readModuleFileVersion(const char* fileName, int32_t version[3]) {
  if (!fileName || !fileName[0]) {
    version[0] = version[1] = version[2] = 0;
    return false;
  }
  version[0] = SHIMMERLY_VERSION_MAJOR;
  version[1] = SHIMMERLY_VERSION_MINOR;
  version[2] = SHIMMERLY_VERSION_PATCH;
  return true;
}

bool isShiftKeyDown() {
  PF_ShimmerlyHostServices services;
  return queryHostServices(services) && services.shift_key_down != 0;
}

}  // namespace shimmerly
