// The terminal boxes, driven through a pseudo-terminal: the test reads what a box draws and
// types the user's keys while the box waits on another thread.
#include "ui/terminal_backend.h"

#include <gtest/gtest.h>
#include <termios.h>

#include <cstring>
#include <future>
#include <string>

#include "support/pseudo_terminal.h"
#include "ui/scripted_backend.h"

namespace shimmerly {
namespace {

using testing::PseudoTerminal;

class TerminalBoxes : public ::testing::Test {
 protected:
  PseudoTerminal pty;
  TerminalUiBackend backend{pty.slavePath()};

  // Runs the preset flow's prompt with the initial text, typing keys once the label is drawn.
  std::pair<int, std::string> prompt(const char* initial, const std::string& keys) {
    TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, initial, "");
    std::string buffer = "untouched";
    buffer.resize(256);
    pty.skipDrawn();
    auto answer = std::async(std::launch::async, [&] { return box.run(buffer.data()); });
    EXPECT_TRUE(pty.waitFor("Set preset name:"));
    pty.send(keys);
    int result = finish(answer);
    return {result, std::string(buffer.c_str())};
  }

  int question(const char* third, const char* caption, const std::string& keys) {
    pty.skipDrawn();
    auto answer = std::async(std::launch::async, [&] {
      return backend.askQuestion(nullptr, "Replace it?", "Yes", "No", third, caption);
    });
    EXPECT_TRUE(pty.waitFor("Replace it?"));
    EXPECT_TRUE(pty.waitFor(")"));  // the key help closes the box's last line
    pty.send(keys);
    return finish(answer);
  }

  // Waits for a box to close while reading what it draws.
  template <typename T>
  T finish(std::future<T>& answer) {
    while (answer.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
      pty.drain(10);
    return answer.get();
  }

  void SetUp() override { setUiBackend(&backend); }
  void TearDown() override { setUiBackend(nullptr); }
};

TEST_F(TerminalBoxes, PromptShowsInitialTextSelectedSoTypingReplacesIt) {
  auto [result, text] = prompt("abc", "xy\r");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, "xy");
  EXPECT_NE(pty.output().find("\x1b[7m"
                              "abc"),
            std::string::npos)
      << pty.output();
}

TEST_F(TerminalBoxes, PromptEnterWithoutTypingHandsBackTheInitialText) {
  auto [result, text] = prompt("Warm Halo", "\r");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, "Warm Halo");
}

TEST_F(TerminalBoxes, PromptBackspaceClearsTheSelectionThenRemovesWholeCharacters) {
  // "é" is two bytes; one Backspace removes both.
  auto [result, text] = prompt("abc",
                               "\x7f"
                               "ca\xc3\xa9\x7f"
                               "f\r");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, "caf");
}

TEST_F(TerminalBoxes, PromptCursorKeyDropsTheSelectionWithoutCancelling) {
  auto [result, text] = prompt("abc",
                               "\x1b[D"
                               "d\r");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, "abcd");
}

TEST_F(TerminalBoxes, PromptEscapeAndCtrlCCancelAndLeaveTheBufferAlone) {
  for (const char* keys : {"zz\x1b", "zz\x03"}) {
    auto [result, text] = prompt("abc", keys);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(text, "untouched");
  }
}

TEST_F(TerminalBoxes, PromptKeepsAtMost255Bytes) {
  auto [result, text] = prompt("", std::string(300, 'k') + "\r");
  EXPECT_EQ(result, 0);
  EXPECT_EQ(text, std::string(255, 'k'));
}

struct QuestionCase {
  const char* keys;
  const char* third;
  int answer;
};

class TerminalQuestion : public TerminalBoxes,
                         public ::testing::WithParamInterface<QuestionCase> {};

TEST_P(TerminalQuestion, KeysPickButtons) {
  const QuestionCase& c = GetParam();
  EXPECT_EQ(question(c.third, "Preset", c.keys), c.answer);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, TerminalQuestion,
    ::testing::Values(QuestionCase{"\r", nullptr, 1}, QuestionCase{"y", nullptr, 1},
                      QuestionCase{"N", nullptr, 2}, QuestionCase{"\x1b", nullptr, 2},
                      QuestionCase{"2", nullptr, 2}, QuestionCase{"3\r", nullptr, 1},
                      QuestionCase{"x1", nullptr, 1}, QuestionCase{"3", "Later", 3},
                      QuestionCase{"l", "Later", 3}));

TEST_F(TerminalBoxes, QuestionDrawsButtonsLeftToRightWithTheDefaultLast) {
  question("Later", "Preset", "\r");
  const std::string& out = pty.output();
  size_t later = out.find("Later"), no = out.find("No "), yes = out.find("[ Yes ]");
  ASSERT_NE(yes, std::string::npos) << out;
  EXPECT_LT(later, no);
  EXPECT_LT(no, yes);
  EXPECT_NE(out.find("-- Preset --"), std::string::npos);
}

TEST_F(TerminalBoxes, QuestionWithoutCaptionKeepsTheBoxCaption) {
  for (const char* caption : {static_cast<const char*>(nullptr), ""}) {
    EXPECT_EQ(question(nullptr, caption, "n"), 2);
  }
  const std::string& out = pty.output();
  size_t first = out.find("-- Brindlex --");
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_NE(out.find("-- Brindlex --", first + 1), std::string::npos) << out;
}

TEST_F(TerminalBoxes, MessageDrawsEachLineBreakAndWaitsForEnter) {
  auto shown = std::async(std::launch::async, [&] { showMessage("one\r\rtwo\r\nthree"); });
  ASSERT_TRUE(pty.waitFor("[ OK ]"));
  EXPECT_EQ(shown.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  pty.send("\r");
  finish(shown);
  EXPECT_NE(pty.output().find("Attention ! --\r\none\r\n\r\ntwo\r\nthree"), std::string::npos)
      << pty.output();
}

TEST_F(TerminalBoxes, TerminalSettingsComeBackAfterABox) {
  termios before{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &before), 0);
  prompt("abc", "\r");
  termios after{};
  ASSERT_EQ(tcgetattr(pty.slaveFd(), &after), 0);
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_oflag, before.c_oflag);
}

TEST(TerminalWithoutDevice, BoxesActAsOnASystemThatCannotShowThem) {
  TerminalUiBackend backend("/nonexistent/tty");
  ScopedUiBackend installed(backend);
  char buffer[256] = "kept";
  TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, "abc", "");
  EXPECT_EQ(box.run(buffer), -1);
  EXPECT_STREQ(buffer, "kept");
  EXPECT_EQ(askQuestion(nullptr, "Q?", "Yes", "No", nullptr, "Preset"), -1);
  ::testing::internal::CaptureStderr();
  showMessage("Error while saving preset file.");
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error while saving preset file.\n");
}

TEST(TerminalWithoutDevice, AFileThatIsNoTerminalCountsAsNone) {
  TerminalUiBackend backend("/dev/null");
  char result[256] = {};
  TextPrompt box(172, nullptr, "Set preset name:", 1004, 1003, "abc", "");
  EXPECT_EQ(backend.runTextPrompt(box, result), -1);
  EXPECT_EQ(backend.askQuestion(nullptr, "Q?", "Yes", "No", nullptr, nullptr), -1);
}

}  // namespace
}  // namespace shimmerly
