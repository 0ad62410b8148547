// The watcher thread that finds and drives this process's modal boxes in tests.
#include "windows/dialog_driver.h"

#include <gtest/gtest.h>

#include <chrono>

namespace shimmerly::testing {
namespace {

struct Search {
  HWND found = nullptr;
};

BOOL CALLBACK findDialog(HWND window, LPARAM lParam) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char className[16] = {};
  GetClassNameA(window, className, sizeof className);
  if (process == GetCurrentProcessId() && IsWindowVisible(window) &&
      std::string(className) == "#32770") {
    reinterpret_cast<Search*>(lParam)->found = window;
    return FALSE;
  }
  return TRUE;
}

HWND visibleDialog() {
  Search search;
  EnumWindows(findDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

}  // namespace

DialogDriver::DialogDriver(Action action) : DialogDriver(std::vector<Action>{std::move(action)}) {}

DialogDriver::DialogDriver(std::vector<Action> actions)
    : actions_(std::move(actions)), thread_([this] { watch(); }) {}

DialogDriver::~DialogDriver() {
  stop_ = true;
  thread_.join();
  EXPECT_FALSE(rescued_) << "a box stayed open after the test's actions and was cancelled";
}

void DialogDriver::watch() {
  using Clock = std::chrono::steady_clock;
  auto giveUp = Clock::now() + std::chrono::seconds(5);
  HWND handled = nullptr;  // the box of the latest action, until it has closed
  while (!stop_ && Clock::now() < giveUp) {
    HWND dialog = visibleDialog();
    if (!dialog || dialog == handled || actedCount_ == actions_.size()) {
      if (!dialog) handled = nullptr;
      Sleep(5);
      continue;
    }
    // Act once the box has given the keyboard focus to one of its controls, as it is when the
    // user starts to type.
    const auto focusDeadline = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < focusDeadline && !IsChild(dialog, focusOf(dialog))) Sleep(5);
    acting_ = true;
    actions_[actedCount_](dialog);
    ++actedCount_;
    acting_ = false;
    handled = dialog;
    giveUp = Clock::now() + std::chrono::seconds(5);
  }
  // The actions should have closed every box; cancel one that stays open past the deadline.
  if (HWND dialog = visibleDialog()) {
    rescued_ = true;
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  }
}

bool DialogDriver::acted() const {
  while (acting_) Sleep(1);
  return actedCount_ == actions_.size();
}

std::string windowText(HWND window) {
  char text[1024] = {};
  SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

HWND focusOf(HWND dialog) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
  return info.hwndFocus;
}

void pressKey(HWND dialog, WPARAM virtualKey) {
  HWND target = focusOf(dialog);

  PostMessageA(target ? target : dialog, WM_KEYDOWN, virtualKey, 1);
  PostMessageA(target ? target : dialog, WM_KEYUP, virtualKey, 1 | (3u << 30));
}

void typeText(HWND control, const std::string& text) {
  for (char c : text) SendMessageA(control, WM_CHAR, static_cast<unsigned char>(c), 1);
}

void clickButton(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace shimmerly::testing
