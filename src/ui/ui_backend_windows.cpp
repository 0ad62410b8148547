// The Windows box backend, the default on Windows: the question box and the text prompt are
// modal dialogs from the module's own templates (1000 and 172), the message box is the system's
// MessageBoxA captioned "Attention !". Answers as UiBackend promises: 1, 2 or 3 from the
// question box, 0 or -1 from the prompt, -1 whenever the system cannot show a box.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/windows/module_handle.h"
#include "platform/windows/resource_ids.h"
#include "ui/message_boxes.h"

namespace shimmerly {
namespace {

// Answers a dialog procedure closes its dialog with; 0 and -1 are what DialogBoxParamA reports
// when it cannot show the box at all.
constexpr INT_PTR kFirst = 1, kSecond = 2, kThird = 3;
constexpr INT_PTR kPromptOk = 1, kPromptCancel = 2;

struct Question {
  const char* text;
  const char* buttons[3];
  const char* caption;
};

HWND ownerWindow(void* owner) {
  return static_cast<HWND>(owner);
}

void setButton(HWND dialog, int id, const char* text) {
  if (text)
    SetDlgItemTextA(dialog, id, text);
  else
    ShowWindow(GetDlgItem(dialog, id), SW_HIDE);
}

// Centres a window on the screen without changing its size or stacking order.
void centreOnScreen(HWND window) {
  RECT box;
  GetWindowRect(window, &box);
  const int width = box.right - box.left, height = box.bottom - box.top;
  const int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  const int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Moves a window so that its client area is centred on the owner's client area.
void centreOnOwner(HWND window, HWND owner) {
  RECT ownerClient, ownerBox, client;
  GetClientRect(owner, &ownerClient);
  GetWindowRect(owner, &ownerBox);
  GetClientRect(window, &client);
  const int left = ownerClient.right / 2 + ownerBox.left - client.right / 2;
  const int top = ownerClient.bottom / 2 + ownerBox.top - client.bottom / 2;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK questionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto* question = reinterpret_cast<const Question*>(lParam);
      setButton(dialog, SHIMMERLY_QUESTION_FIRST, question->buttons[0]);
      setButton(dialog, SHIMMERLY_QUESTION_SECOND, question->buttons[1]);
      setButton(dialog, SHIMMERLY_QUESTION_THIRD, question->buttons[2]);
      SetDlgItemTextA(dialog, SHIMMERLY_QUESTION_TEXT, question->text ? question->text : "");
      if (question->caption && question->caption[0]) SetWindowTextA(dialog, question->caption);
      centreOnScreen(dialog);
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case SHIMMERLY_QUESTION_FIRST:
          EndDialog(dialog, kFirst);
          return TRUE;
        case SHIMMERLY_QUESTION_SECOND:  // also Escape and the close box (IDCANCEL)
          EndDialog(dialog, kSecond);
          return TRUE;
        case SHIMMERLY_QUESTION_THIRD:
          EndDialog(dialog, kThird);
          return TRUE;
      }
      break;
  }
  return FALSE;
}

struct PromptRun {
  const TextPrompt* prompt;
  char* result;  // 256 bytes
};

INT_PTR CALLBACK promptProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      const TextPrompt& prompt = *reinterpret_cast<const PromptRun*>(lParam)->prompt;
      if (HWND owner = ownerWindow(prompt.owner)) centreOnOwner(dialog, owner);
      SetWindowTextA(dialog, prompt.caption);
      SetDlgItemTextA(dialog, prompt.labelId, prompt.label);
      HWND edit = GetDlgItem(dialog, prompt.editId);
      SendMessageA(edit, EM_LIMITTEXT, 255, 0);
      SetWindowTextA(edit, prompt.initialText);
      SendMessageA(edit, EM_SETSEL, 0, -1);
      SetFocus(edit);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        const auto* run = reinterpret_cast<const PromptRun*>(GetWindowLongPtrA(dialog, DWLP_USER));
        // At most 255 characters and the terminator.
        GetDlgItemTextA(dialog, run->prompt->editId, run->result, 256);
        EndDialog(dialog, kPromptOk);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {  // Cancel, Escape and the close box
        EndDialog(dialog, kPromptCancel);
        return TRUE;
      }
      break;
  }
  return FALSE;
}

class WindowsUi final : public UiBackend {
 public:
  void showMessage(const char* text) override {
    MessageBoxA(GetForegroundWindow(), text ? text : "", "Attention !", MB_OK);
  }

  int askQuestion(void* owner, const char* text, const char* first, const char* second,
                  const char* third, const char* caption) override {
    MessageBeep(MB_ICONEXCLAMATION);
    const Question question{text, {first, second, third}, caption};
    const INT_PTR answer =
        DialogBoxParamA(pluginModule(), MAKEINTRESOURCEA(SHIMMERLY_QUESTION_BOX_ID),
                        ownerWindow(owner), questionProc, reinterpret_cast<LPARAM>(&question));
    return answer >= kFirst && answer <= kThird ? static_cast<int>(answer) : -1;
  }

  int runTextPrompt(const TextPrompt& prompt, char* result) override {
    PromptRun run{&prompt, result};
    const INT_PTR answer =
        DialogBoxParamA(pluginModule(), MAKEINTRESOURCEA(prompt.templateId),
                        ownerWindow(prompt.owner), promptProc, reinterpret_cast<LPARAM>(&run));
    return answer == kPromptOk ? 0 : -1;
  }
};

}  // namespace

UiBackend& defaultUiBackend() {
  static WindowsUi backend;
  return backend;
}

}  // namespace shimmerly
