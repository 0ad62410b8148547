// Default backend of platforms that have no box service of their own yet: headless.
#include "ui/message_boxes.h"

namespace shimmerly {

UiBackend& defaultUiBackend() {
  return headlessUiBackend();
}

}  // namespace shimmerly
