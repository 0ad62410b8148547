// Module version and keyboard state on systems without version resources or a keyboard service:
// the module's version is the build's own version, and Shift is never reported held.
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
  return false;
}

}  // namespace shimmerly
