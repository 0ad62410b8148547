// A backend that answers boxes from a script and records every box it was asked to show, in
// order. Tests use it to drive the preset flow; a host without a user uses it to answer the
// plug-in's prompt. A box asked for when its script is empty is answered as on a system that
// cannot show it (-1).
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/message_boxes.h"

namespace shimmerly {

class ScriptedUiBackend final : public UiBackend {
 public:
  enum class Kind { Message, Question, Prompt };

  // One box as it was shown.
  struct Shown {
    Kind kind = Kind::Message;
    std::string text;                  // message or question text; the prompt's label
    std::string caption;               // question or prompt caption ("" when none)
    std::vector<std::string> buttons;  // question buttons, first to third, none left out
    std::string initialText;           // prompt only
  };

  // Prompt answers, used in order: OK with a typed text, OK without typing (the initial text
  // comes back), or Cancel.
  void typeAndAccept(std::string text);
  void acceptInitial();
  void cancelPrompt();
  // Question answers, used in order: the number returned (1 to 3, or -1).
  void answerQuestion(int answer);

  const std::vector<Shown>& shown() const { return shown_; }
  // Texts of the messages shown, in order.
  std::vector<std::string> messages() const;
  size_t promptsShown() const;
  size_t questionsShown() const;
  // Answers queued but never asked for.
  size_t unusedAnswers() const { return prompts_.size() + questions_.size(); }

  void showMessage(const char* text) override;
  int askQuestion(void* owner, const char* text, const char* first, const char* second,
                  const char* third, const char* caption) override;
  int runTextPrompt(const TextPrompt& prompt, char* result) override;

 private:
  struct PromptAnswer {
    enum { Type, KeepInitial, Cancel } action;
    std::string text;
  };
  std::deque<PromptAnswer> prompts_;
  std::deque<int> questions_;
  std::vector<Shown> shown_;
};

// Installs a backend for the life of the object and puts the previous default back after.
class ScopedUiBackend {
 public:
  explicit ScopedUiBackend(UiBackend& backend) { setUiBackend(&backend); }
  ~ScopedUiBackend() { setUiBackend(nullptr); }
  ScopedUiBackend(const ScopedUiBackend&) = delete;
  ScopedUiBackend& operator=(const ScopedUiBackend&) = delete;
};

}  // namespace shimmerly
