// The host-drawn backend: forwards each box to the host's callbacks and checks the answers.
#include "host/host_ui_backend.h"

#include <cstring>

namespace shimmerly {

bool HostUiBackend::canDraw(const PF_ShimmerlyHostServices& services) {
  return services.show_message && services.ask_question && services.run_text_prompt;
}

void HostUiBackend::showMessage(const char* text) {
  services_.show_message(services_.refcon, text);
}

int HostUiBackend::askQuestion(void*, const char* text, const char* first, const char* second,
                               const char* third, const char* caption) {
  int answer = services_.ask_question(services_.refcon, text, first, second, third, caption);
  return answer >= 1 && answer <= 3 ? answer : -1;
}

int HostUiBackend::runTextPrompt(const TextPrompt& prompt, char* result) {
  // The host writes into a buffer of its own, so that an answer without a terminator within
  // the field's 256 bytes cannot run past the prompt's result.
  char answer[256] = {};
  if (services_.run_text_prompt(services_.refcon, prompt.label, prompt.caption, prompt.initialText,
                                answer) != 0)
    return -1;
  answer[255] = '\0';
  std::memcpy(result, answer, std::strlen(answer) + 1);
  return 0;
}

}  // namespace shimmerly
