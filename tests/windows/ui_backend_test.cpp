// The Windows box backend driven through the real dialogs under a display (wine with Xvfb in
// CI): buttons, texts, captions and positions as the boxes open, and the answers after the
// user's keys and clicks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/windows/resource_ids.h"
#include "ui/message_boxes.h"
#include "windows/dialog_driver.h"

namespace shimmerly {
namespace {

using testing::clickButton;
using testing::DialogDriver;
using testing::focusOf;
using testing::pressKey;
using testing::typeText;
using testing::windowText;

struct QuestionSeen {
  std::string caption, text, first, second, third;
  bool firstVisible = false, secondVisible = false, thirdVisible = false;
  RECT box{};
};

QuestionSeen inspectQuestion(HWND dialog) {
  QuestionSeen seen;
  seen.caption = windowText(dialog);
  seen.text = windowText(GetDlgItem(dialog, SHIMMERLY_QUESTION_TEXT));
  seen.first = windowText(GetDlgItem(dialog, SHIMMERLY_QUESTION_FIRST));
  seen.second = windowText(GetDlgItem(dialog, SHIMMERLY_QUESTION_SECOND));
  seen.third = windowText(GetDlgItem(dialog, SHIMMERLY_QUESTION_THIRD));
  seen.firstVisible = IsWindowVisible(GetDlgItem(dialog, SHIMMERLY_QUESTION_FIRST));
  seen.secondVisible = IsWindowVisible(GetDlgItem(dialog, SHIMMERLY_QUESTION_SECOND));
  seen.thirdVisible = IsWindowVisible(GetDlgItem(dialog, SHIMMERLY_QUESTION_THIRD));
  GetWindowRect(dialog, &seen.box);
  return seen;
}

TEST(WindowsQuestionBox, TwoButtonsEscapeAnswersSecondAndEmptyCaptionKeepsBrindlex) {
  QuestionSeen seen;
  DialogDriver driver([&](HWND dialog) {
    seen = inspectQuestion(dialog);
    pressKey(dialog, VK_ESCAPE);
  });
  EXPECT_EQ(askQuestion(nullptr, "Replace the preset?", "Yes", "No", nullptr, ""), 2);
  ASSERT_TRUE(driver.acted());
  EXPECT_EQ(seen.caption, "Brindlex");
  EXPECT_EQ(seen.text, "Replace the preset?");
  EXPECT_EQ(seen.first, "Yes");
  EXPECT_EQ(seen.second, "No");
  EXPECT_TRUE(seen.firstVisible);
  EXPECT_TRUE(seen.secondVisible);
  EXPECT_FALSE(seen.thirdVisible);
  // Centred on the screen, integer division of the free space.
  const int width = seen.box.right - seen.box.left, height = seen.box.bottom - seen.box.top;
  EXPECT_EQ(seen.box.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(seen.box.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);
}

TEST(WindowsQuestionBox, NullCaptionKeepsBrindlexAndGivenCaptionReplacesIt) {
  for (const char* caption : {static_cast<const char*>(nullptr), "Preset"}) {
    std::string seen;
    DialogDriver driver([&](HWND dialog) {
      seen = windowText(dialog);
      clickButton(dialog, SHIMMERLY_QUESTION_FIRST);
    });
    EXPECT_EQ(askQuestion(nullptr, "?", "Yes", "No", nullptr, caption), 1);
    EXPECT_EQ(seen, caption ? caption : "Brindlex");
  }
}

class WindowsQuestionButtons : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(WindowsQuestionButtons, EachButtonGivesItsAnswer) {
  const auto [buttonId, answer] = GetParam();
  QuestionSeen seen;
  DialogDriver driver([&](HWND dialog) {
    seen = inspectQuestion(dialog);
    clickButton(dialog, buttonId);
  });
  EXPECT_EQ(askQuestion(nullptr, "Which?", "One", "Two", "Three", "Pick"), answer);
  EXPECT_EQ(seen.caption, "Pick");
  EXPECT_EQ(seen.third, "Three");
  EXPECT_TRUE(seen.thirdVisible);
}

INSTANTIATE_TEST_SUITE_P(AllThree, WindowsQuestionButtons,
                         ::testing::Values(std::pair{SHIMMERLY_QUESTION_FIRST, 1},
                                           std::pair{SHIMMERLY_QUESTION_SECOND, 2},
                                           std::pair{SHIMMERLY_QUESTION_THIRD, 3}));

struct PromptSeen {
  std::string caption, label, text;
  DWORD selectionStart = 99, selectionEnd = 99;
  bool editHasFocus = false;
  RECT box{}, client{};
};

PromptSeen inspectPrompt(HWND dialog) {
  PromptSeen seen;
  HWND edit = GetDlgItem(dialog, SHIMMERLY_PROMPT_EDIT);
  seen.caption = windowText(dialog);
  seen.label = windowText(GetDlgItem(dialog, SHIMMERLY_PROMPT_LABEL));
  seen.text = windowText(edit);
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&seen.selectionStart),
               reinterpret_cast<LPARAM>(&seen.selectionEnd));
  seen.editHasFocus = focusOf(dialog) == edit;
  GetWindowRect(dialog, &seen.box);
  GetClientRect(dialog, &seen.client);
  return seen;
}

TextPrompt presetPrompt(const char* initial, const char* caption, void* owner = nullptr) {
  return TextPrompt(SHIMMERLY_PROMPT_ID, owner, "Set preset name:", SHIMMERLY_PROMPT_LABEL,
                    SHIMMERLY_PROMPT_EDIT, initial, caption);
}

TEST(WindowsTextPrompt, OpensWithInitialTextSelectedAndTypingReplacesIt) {
  PromptSeen seen;
  std::string afterTyping;
  DialogDriver driver([&](HWND dialog) {
    seen = inspectPrompt(dialog);
    HWND edit = GetDlgItem(dialog, SHIMMERLY_PROMPT_EDIT);
    typeText(edit, "Blue Haze");
    afterTyping = windowText(edit);
    clickButton(dialog, IDOK);
  });
  char buffer[256] = "abc";
  TextPrompt prompt = presetPrompt(buffer, "Save Preset");
  EXPECT_EQ(prompt.run(buffer), 0);
  EXPECT_EQ(seen.caption, "Save Preset");
  EXPECT_EQ(seen.label, "Set preset name:");
  EXPECT_EQ(seen.text, "abc");
  EXPECT_EQ(seen.selectionStart, 0u);
  EXPECT_EQ(seen.selectionEnd, 3u);
  EXPECT_TRUE(seen.editHasFocus);
  EXPECT_EQ(afterTyping, "Blue Haze");
  EXPECT_STREQ(buffer, "Blue Haze");
}

TEST(WindowsTextPrompt, EmptyCaptionLeavesTheTitleEmpty) {
  PromptSeen seen;
  DialogDriver driver([&](HWND dialog) {
    seen = inspectPrompt(dialog);
    clickButton(dialog, IDOK);
  });
  char buffer[256] = "Warm";
  EXPECT_EQ(presetPrompt(buffer, "").run(buffer), 0);
  EXPECT_EQ(seen.caption, "");
  EXPECT_STREQ(buffer, "Warm");
}

class WindowsPromptCancel : public ::testing::TestWithParam<bool> {};

TEST_P(WindowsPromptCancel, CancelAfterTypingLeavesTheBufferAlone) {
  const bool byEscape = GetParam();
  DialogDriver driver([&](HWND dialog) {
    typeText(GetDlgItem(dialog, SHIMMERLY_PROMPT_EDIT), "changed");
    if (byEscape)
      pressKey(dialog, VK_ESCAPE);
    else
      clickButton(dialog, IDCANCEL);
  });
  char buffer[256] = "Original";
  EXPECT_EQ(presetPrompt(buffer, "").run(buffer), -1);
  EXPECT_TRUE(driver.acted());
  EXPECT_STREQ(buffer, "Original");
}

INSTANTIATE_TEST_SUITE_P(ButtonAndEscape, WindowsPromptCancel, ::testing::Bool());

TEST(WindowsTextPrompt, ResultHoldsAtMost255Characters) {
  DialogDriver driver([&](HWND dialog) {
    // WM_SETTEXT is not bound by the typing limit: the reader must cut the text itself.
    SetDlgItemTextA(dialog, SHIMMERLY_PROMPT_EDIT, std::string(300, 'n').c_str());
    clickButton(dialog, IDOK);
  });
  char buffer[300];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(presetPrompt("", "").run(buffer), 0);
  EXPECT_EQ(std::string(buffer), std::string(255, 'n'));
  EXPECT_EQ(buffer[256], '#');
}

TEST(WindowsTextPrompt, CentresItsClientAreaOnTheOwnersClientArea) {
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 120, 90, 500,
                               360, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  RECT ownerBox, ownerClient;
  GetWindowRect(owner, &ownerBox);
  GetClientRect(owner, &ownerClient);
  PromptSeen seen;
  DialogDriver driver([&](HWND dialog) {
    seen = inspectPrompt(dialog);
    clickButton(dialog, IDCANCEL);
  });
  char buffer[256] = "x";
  EXPECT_EQ(presetPrompt(buffer, "", owner).run(buffer), -1);
  DestroyWindow(owner);
  EXPECT_EQ(seen.box.left, ownerClient.right / 2 + ownerBox.left - seen.client.right / 2);
  EXPECT_EQ(seen.box.top, ownerClient.bottom / 2 + ownerBox.top - seen.client.bottom / 2);
}

TEST(WindowsTextPrompt, WithoutATemplateNoPromptIsShown) {
  char buffer[256] = "kept";
  TextPrompt prompt(0, nullptr, "label", SHIMMERLY_PROMPT_LABEL, SHIMMERLY_PROMPT_EDIT, "x", "");
  EXPECT_EQ(prompt.run(buffer), -1);
  EXPECT_STREQ(buffer, "kept");
}

TEST(WindowsMessageBox, CaptionedAttentionWithTheText) {
  std::string caption, text;
  DialogDriver driver([&](HWND dialog) {
    caption = windowText(dialog);
    text = windowText(GetDlgItem(dialog, 0xFFFF));  // the message box's text control
    clickButton(dialog, IDOK);
  });
  showMessage("The preset could not be saved.");
  EXPECT_TRUE(driver.acted());
  EXPECT_EQ(caption, "Attention !");
  EXPECT_EQ(text, "The preset could not be saved.");
}

}  // namespace
}  // namespace shimmerly
