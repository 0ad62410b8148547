// Boxes drawn by the host: a backend that hands each box to the callbacks of a host that
// answered the Shimmerly host-services query (PF_ShimmerlyHostServices in host/host_api.h).
// The record is copied; its refcon is passed back to every callback unchanged.
#pragma once

#include "host/host_api.h"
#include "ui/message_boxes.h"

namespace shimmerly {

class HostUiBackend final : public UiBackend {
 public:
  explicit HostUiBackend(const PF_ShimmerlyHostServices& services) : services_(services) {}

  // True when the record carries all three box callbacks.
  static bool canDraw(const PF_ShimmerlyHostServices& services);

  void showMessage(const char* text) override;
  int askQuestion(void* owner, const char* text, const char* first, const char* second,
                  const char* third, const char* caption) override;
  int runTextPrompt(const TextPrompt& prompt, char* result) override;

 private:
  PF_ShimmerlyHostServices services_;
};

}  // namespace shimmerly
