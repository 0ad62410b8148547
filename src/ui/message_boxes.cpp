// The box entry points, the backend switch and the headless backend.
#include "ui/message_boxes.h"

#include <cstdio>
#include <cstring>

namespace shimmerly {
namespace {

void copyText(char (&dest)[256], const char* src) {
  std::snprintf(dest, sizeof dest, "%s", src ? src : "");
}

class HeadlessUi final : public UiBackend {
 public:
  void showMessage(const char* text) override { std::fprintf(stderr, "%s\n", text); }
  int askQuestion(void*, const char*, const char*, const char*, const char*, const char*) override {
    return -1;
  }
  int runTextPrompt(const TextPrompt&, char*) override { return -1; }
};

UiBackend* installedBackend = nullptr;

}  // namespace

UiBackend& headlessUiBackend() {
  static HeadlessUi backend;
  return backend;
}

// The platform's own backend; platforms that can show boxes provide defaultUiBackend().
UiBackend& defaultUiBackend();

void setUiBackend(UiBackend* backend) {
  installedBackend = backend;
}

UiBackend& uiBackend() {
  return installedBackend ? *installedBackend : defaultUiBackend();
}

void showMessage(const char* text) {
  uiBackend().showMessage(text);
}

int askQuestion(void* owner, const char* text, const char* first, const char* second,
                const char* third, const char* caption) {
  return uiBackend().askQuestion(owner, text, first, second, third, caption);
}

TextPrompt::TextPrompt(int32_t templateId_, void* owner_, const char* label_, int32_t labelId_,
                       int32_t editId_, const char* initialText_, const char* caption_)
    : templateId(templateId_), owner(owner_), labelId(labelId_), editId(editId_) {
  copyText(label, label_);
  copyText(caption, caption_);
  copyText(initialText, initialText_);
}

int TextPrompt::run(char* buffer) {
  if (templateId == 0) return -1;
  result[0] = '\0';
  if (uiBackend().runTextPrompt(*this, result) != 0) return -1;
  std::memcpy(buffer, result, std::strlen(result) + 1);
  return 0;
}

}  // namespace shimmerly
