// The thread's message queue, key states, and the user's input into them.
#include "ui_state.h"

namespace winapi {

namespace {

constexpr LPARAM kAltDown = 1 << 29;
constexpr LPARAM kKeyUpBits = static_cast<LPARAM>(0xC0000001u);

void TrackKey(const MSG &message) {
  BYTE &state = KeyStates()[message.wParam & 0xFF];
  if (message.message == WM_KEYDOWN || message.message == WM_SYSKEYDOWN) {
    if (!(state & 0x80)) state ^= 0x01;  // the toggle flips on each press
    state |= 0x80;
  } else if (message.message == WM_KEYUP || message.message == kWmSysKeyUp) {
    state &= static_cast<BYTE>(~0x80);
  }
}

bool InRange(UINT message, UINT low, UINT high) {
  return (low == 0 && high == 0) || (message >= low && message <= high);
}

// Keys go to the focus when it is in the active dialog, else to that dialog.
HWND KeyTarget() {
  TWindow *dialog = ActiveDialog();
  TWindow *focus = FindWindowRecord(Ui().Focus);
  if (focus && DialogOf(focus) == dialog) return focus->Handle;
  return dialog ? dialog->Handle : nullptr;
}

TWindow *ActiveControl(int id, const char *what) {
  TWindow *dialog = ActiveDialog();
  if (!dialog) {
    Problem(std::string(what) + " " + std::to_string(id) + " with no dialog on screen");
    return nullptr;
  }
  TWindow *control = FindWindowRecord(GetDlgItem(dialog->Handle, id));
  if (!control) {
    Problem(std::string(what) + ": dialog " + dialog->Template + " has no control " +
            std::to_string(id));
    return nullptr;
  }
  if (!control->Enabled || !IsWindowVisible(control->Handle)) {
    RecordEvent(control, "lost input", what);
    return nullptr;
  }
  return control;
}

void PostKey(UINT message, int virtualKey, LPARAM flags) {
  HWND target = KeyTarget();
  if (!target) {
    Problem("a key with no dialog on screen");
    return;
  }
  PostInput(target, message, static_cast<WPARAM>(virtualKey), flags);
}

}  // namespace

bool PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return PostMessageA(window, message, wParam, lParam) != FALSE;
}

void ClickControl(int id) {
  if (TWindow *control = ActiveControl(id, "click")) {
    PostInput(control->Handle, kWmLButtonDown, 0, 0);
    PostInput(control->Handle, kWmLButtonUp, 0, 0);
  }
}

void ClickCloseBox() {
  if (TWindow *dialog = ActiveDialog())
    PostInput(dialog->Handle, WM_SYSCOMMAND, SC_CLOSE, 0);
  else
    Problem("close box with no dialog on screen");
}

void HoldKey(int virtualKey) {
  PostKey(WM_KEYDOWN, virtualKey, 1);
}
void ReleaseKey(int virtualKey) {
  PostKey(WM_KEYUP, virtualKey, kKeyUpBits);
}

void PressKey(int virtualKey) {
  HoldKey(virtualKey);
  ReleaseKey(virtualKey);
}

void PressAltF4() {
  PostKey(WM_SYSKEYDOWN, VK_F4, kAltDown | 1);
  PostKey(kWmSysKeyUp, VK_F4, kAltDown | kKeyUpBits);
}

void TypeText(const std::string &text) {
  for (char c : text) PostKey(WM_CHAR, static_cast<BYTE>(c), 1);
}

void SelectComboItem(int id, int index) {
  TWindow *combo = ActiveControl(id, "select");
  if (!combo) return;
  SendMessageA(combo->Handle, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(combo->Parent->Handle, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(combo->Handle));
}

}  // namespace winapi

using namespace winapi;

extern "C" BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (window && !FindWindowRecord(window)) return FALSE;
  MSG posted = {window, message, wParam, lParam, 0, {0, 0}};
  Queue().push_back(posted);
  return TRUE;
}

extern "C" BOOL WINAPI PeekMessageA(LPMSG message, HWND window, UINT low, UINT high, UINT remove) {
  std::deque<MSG> &queue = Queue();
  for (auto it = queue.begin(); it != queue.end(); ++it) {
    if ((window && it->hwnd != window) || !InRange(it->message, low, high)) continue;
    *message = *it;
    if (remove & PM_REMOVE) {
      queue.erase(it);
      TrackKey(*message);
    }
    return TRUE;
  }
  return FALSE;
}

extern "C" BOOL WINAPI TranslateMessage(const MSG *) {
  return FALSE;
}

extern "C" LRESULT WINAPI DispatchMessageA(const MSG *message) {
  TWindow *window = FindWindowRecord(message->hwnd);
  if (!window) return 0;
  // Alt+F4 anywhere asks the dialog to close, as the system menu does.
  if (message->message == WM_SYSKEYDOWN && message->wParam == VK_F4 && (message->lParam & kAltDown))
    return SendMessageA(DialogOf(window)->Handle, WM_SYSCOMMAND, SC_CLOSE, 0);
  return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

extern "C" SHORT WINAPI GetKeyState(int virtualKey) {
  BYTE state = KeyStates()[virtualKey & 0xFF];
  return static_cast<SHORT>(((state & 0x80) ? 0xFF80 : 0) | (state & 0x01));
}
