// The modal boxes through which the plug-in talks to the user outside the host's controls: the
// message box (caption "Attention !", one OK button), the question box (up to three buttons)
// and the text prompt. Each box is drawn by the current UiBackend: native dialogs, the terminal,
// or a scripted backend in tests.
#pragma once

#include <cstdint>

namespace shimmerly {

struct TextPrompt;

class UiBackend {
 public:
  virtual ~UiBackend() = default;
  // A message with the caption "Attention !" and one OK button.
  virtual void showMessage(const char* text) = 0;
  // Returns 1, 2 or 3 for the first, second or third button; -1 when no box can be shown.
  // second, third and caption may be null.
  virtual int askQuestion(void* owner, const char* text, const char* first, const char* second,
                          const char* third, const char* caption) = 0;
  // Shows the prompt; on OK copies at most 255 bytes of the field into result (256 bytes) and
  // returns 0, on Cancel or when no prompt can be shown returns -1.
  virtual int runTextPrompt(const TextPrompt& prompt, char* result) = 0;
};

// Installs a backend (not owned); null restores the platform's default backend.
void setUiBackend(UiBackend* backend);
UiBackend& uiBackend();

// A backend for a process that cannot show boxes: the prompt and the question return -1 and a
// message goes to standard error.
UiBackend& headlessUiBackend();

void showMessage(const char* text);
int askQuestion(void* owner, const char* text, const char* first, const char* second,
                const char* third, const char* caption);

// One text prompt: a dialog template with a label and one edit field.
struct TextPrompt {
  TextPrompt(int32_t templateId, void* owner, const char* label, int32_t labelId, int32_t editId,
             const char* initialText, const char* caption);

  // 0 after OK with the result copied into buffer (256 bytes); -1 after Cancel, leaving buffer
  // alone; -1 also when templateId is 0.
  int run(char* buffer);

  int32_t templateId = 0;
  void* owner = nullptr;
  int32_t labelId = 0;
  char label[256] = {};
  char caption[256] = {};
  int32_t editId = 0;
  char initialText[256] = {};
  char result[256] = {};
};

}  // namespace shimmerly
