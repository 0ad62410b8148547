// The boxes drawn on a text terminal: the POSIX default. Every box opens the controlling
// terminal (or another terminal device given at construction), switches it to key-at-a-time
// input for as long as the box is open and restores it afterwards. Without a terminal the boxes
// behave as on a system that cannot show them: prompt and question give -1, a message goes to
// standard error.
#pragma once

#include <string>

#include "ui/message_boxes.h"

namespace shimmerly {

class TerminalUiBackend final : public UiBackend {
 public:
  explicit TerminalUiBackend(std::string terminalPath = "/dev/tty");

  // Shows the caption "Attention !" and the text, then waits for Enter, Escape or space.
  void showMessage(const char* text) override;
  // Shows the buttons left to right as the dialog does (third, second, first). Enter picks the
  // first (default) button, Escape answers 2, the digits 1 to 3 and each button's first letter
  // (when no other shown button shares it) pick that button.
  int askQuestion(void* owner, const char* text, const char* first, const char* second,
                  const char* third, const char* caption) override;
  // One edit line after the label. The initial text starts selected: the first typed character
  // replaces it, Backspace clears it. Enter is OK, Escape or Ctrl-C is Cancel.
  int runTextPrompt(const TextPrompt& prompt, char* result) override;

 private:
  std::string terminalPath_;
};

}  // namespace shimmerly
