// Drives the modal boxes of the process in tests: a watcher thread waits for each visible dialog
// window ("#32770") of this process in turn and hands it to the test's next action (inspect,
// type, press a button) and, should a box still be open seconds later, cancels it so that no test
// hangs, and fails the test.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace shimmerly::testing {

class DialogDriver {
 public:
  using Action = std::function<void(HWND dialog)>;
  explicit DialogDriver(Action action);
  // One action per box, in the order in which the boxes open.
  explicit DialogDriver(std::vector<Action> actions);
  ~DialogDriver();
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  // Whether every action ran on a box. An action may close its box, and so let the test go on,
  // before the watcher has counted it; this waits for an action still running to be counted.
  bool acted() const;

 private:
  void watch();

  std::vector<Action> actions_;
  std::atomic<bool> stop_{false};
  std::atomic<size_t> actedCount_{0};
  std::atomic<bool> acting_{false};  // set from before an action starts until it is counted
  std::atomic<bool> rescued_{false};
  std::thread thread_;
};

std::string windowText(HWND window);
// The window that has the keyboard focus in the thread that owns the dialog.
HWND focusOf(HWND dialog);
// Input as the user gives it, posted to the dialog's thread.
void pressKey(HWND dialog, WPARAM virtualKey);
void typeText(HWND control, const std::string& text);
void clickButton(HWND dialog, int id);

}  // namespace shimmerly::testing
