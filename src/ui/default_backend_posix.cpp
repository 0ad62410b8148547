// The POSIX default backend: boxes on the controlling terminal.
#include "ui/message_boxes.h"
#include "ui/terminal_backend.h"

namespace shimmerly {

UiBackend& defaultUiBackend() {
  static TerminalUiBackend backend;
  return backend;
}

}  // namespace shimmerly
