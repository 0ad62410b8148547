// The scripted backend: queued answers in, a record of every box out.
#include "ui/scripted_backend.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace shimmerly {

void ScriptedUiBackend::typeAndAccept(std::string text) {
  prompts_.push_back({PromptAnswer::Type, std::move(text)});
}
void ScriptedUiBackend::acceptInitial() {
  prompts_.push_back({PromptAnswer::KeepInitial, {}});
}
void ScriptedUiBackend::cancelPrompt() {
  prompts_.push_back({PromptAnswer::Cancel, {}});
}
void ScriptedUiBackend::answerQuestion(int answer) {
  questions_.push_back(answer);
}

std::vector<std::string> ScriptedUiBackend::messages() const {
  std::vector<std::string> texts;
  for (const Shown& box : shown_)
    if (box.kind == Kind::Message) texts.push_back(box.text);
  return texts;
}

size_t ScriptedUiBackend::promptsShown() const {
  return std::count_if(shown_.begin(), shown_.end(),
                       [](const Shown& box) { return box.kind == Kind::Prompt; });
}

size_t ScriptedUiBackend::questionsShown() const {
  return std::count_if(shown_.begin(), shown_.end(),
                       [](const Shown& box) { return box.kind == Kind::Question; });
}

void ScriptedUiBackend::showMessage(const char* text) {
  shown_.push_back({Kind::Message, text ? text : "", {}, {}, {}});
}

int ScriptedUiBackend::askQuestion(void*, const char* text, const char* first, const char* second,
                                   const char* third, const char* caption) {
  Shown box{Kind::Question, text ? text : "", caption ? caption : "", {}, {}};
  for (const char* button : {first, second, third})
    if (button) box.buttons.emplace_back(button);
  shown_.push_back(std::move(box));
  if (questions_.empty()) return -1;
  int answer = questions_.front();
  questions_.pop_front();
  return answer;
}

int ScriptedUiBackend::runTextPrompt(const TextPrompt& prompt, char* result) {
  shown_.push_back({Kind::Prompt, prompt.label, prompt.caption, {}, prompt.initialText});
  if (prompts_.empty()) return -1;
  PromptAnswer answer = std::move(prompts_.front());
  prompts_.pop_front();
  if (answer.action == PromptAnswer::Cancel) return -1;
  const std::string& text =
      answer.action == PromptAnswer::Type ? answer.text : std::string(prompt.initialText);
  // The field hands back at most 255 bytes.
  size_t n = std::min<size_t>(text.size(), 255);
  std::memcpy(result, text.data(), n);
  result[n] = '\0';
  return 0;
}

}  // namespace shimmerly
