// The scripted backend that the preset-flow tests rely on: answers in order, every box recorded,
// -1 once a script runs dry, and the prompt's 255-byte field.
#include "ui/scripted_backend.h"

#include <gtest/gtest.h>

#include <string>

namespace shimmerly {
namespace {

TEST(ScriptedBackend, AnswersInOrderAndRecordsEveryBox) {
  ScriptedUiBackend script;
  ScopedUiBackend installed(script);
  script.typeAndAccept("Blue");
  script.acceptInitial();
  script.cancelPrompt();
  script.answerQuestion(2);

  char buffer[256] = "start";
  TextPrompt first(172, nullptr, "Set preset name:", 1004, 1003, "", "");
  EXPECT_EQ(first.run(buffer), 0);
  EXPECT_STREQ(buffer, "Blue");
  TextPrompt second(172, nullptr, "Set preset name:", 1004, 1003, "Kept", "");
  EXPECT_EQ(second.run(buffer), 0);
  EXPECT_STREQ(buffer, "Kept");
  EXPECT_EQ(askQuestion(nullptr, "Replace?", "Yes", "No", nullptr, "Preset"), 2);
  EXPECT_EQ(second.run(buffer), -1);
  EXPECT_STREQ(buffer, "Kept");
  showMessage("Done.");
  // Scripts ran dry: the boxes cannot be shown.
  EXPECT_EQ(second.run(buffer), -1);
  EXPECT_EQ(askQuestion(nullptr, "Again?", "Yes", nullptr, nullptr, nullptr), -1);

  ASSERT_EQ(script.shown().size(), 7u);
  EXPECT_EQ(script.shown()[1].initialText, "Kept");
  EXPECT_EQ(script.shown()[2].kind, ScriptedUiBackend::Kind::Question);
  EXPECT_EQ(script.shown()[2].buttons, (std::vector<std::string>{"Yes", "No"}));
  EXPECT_EQ(script.shown()[2].caption, "Preset");
  EXPECT_EQ(script.shown()[6].buttons, (std::vector<std::string>{"Yes"}));
  EXPECT_EQ(script.messages(), (std::vector<std::string>{"Done."}));
  EXPECT_EQ(script.promptsShown(), 4u);
  EXPECT_EQ(script.questionsShown(), 2u);
  EXPECT_EQ(script.unusedAnswers(), 0u);
}

TEST(ScriptedBackend, PromptHandsBackAtMost255Bytes) {
  ScriptedUiBackend script;
  ScopedUiBackend installed(script);
  script.typeAndAccept(std::string(400, 'q'));
  char buffer[256];
  TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, "", "");
  ASSERT_EQ(box.run(buffer), 0);
  EXPECT_EQ(std::string(buffer), std::string(255, 'q'));
}

}  // namespace
}  // namespace shimmerly
