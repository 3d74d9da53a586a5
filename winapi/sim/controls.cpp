// The predefined controls as the program uses them: text, buttons, combo
// boxes, edits and progress bars.
#include <commctrl.h>

#include <cstring>

#include "ui_state.h"

namespace winapi {

namespace {

constexpr DWORD kEsPassword = 0x0020;
constexpr DWORD kEsAutoHScroll = 0x0080;
constexpr DWORD kWsBorder = 0x00800000;
// An edit that does not scroll takes what fits in its width: characters
// are about 5 pixels wide (the password mark too), inside a 1-pixel border
// and 2-pixel margins.
constexpr int kCharWidth = 5;
constexpr int kEditMargin = 2;

LRESULT CopyText(const std::string &text, WPARAM size, LPARAM buffer) {
  char *out = reinterpret_cast<char *>(buffer);
  if (size == 0 || !out) return 0;
  size_t count = text.size() < size ? text.size() : size - 1;
  memcpy(out, text.data(), count);
  out[count] = '\0';
  return static_cast<LRESULT>(count);
}

int EditCapacity(const TWindow *edit) {
  if (edit->Style & kEsAutoHScroll) return 30000;
  int border = (edit->Style & kWsBorder) ? 1 : 0;
  int width = edit->Rect.right - edit->Rect.left - 2 * (border + kEditMargin);
  return width > 0 ? width / kCharWidth : 0;
}

void EditChar(TWindow *edit, char c) {
  int start = edit->SelectionStart, end = edit->SelectionEnd;
  std::string text = edit->Text;
  if (c == '\b') {
    if (start == end && start > 0) --start;
    text.erase(static_cast<size_t>(start), static_cast<size_t>(end - start));
  } else {
    text.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), 1, c);
    if (static_cast<int>(text.size()) > EditCapacity(edit)) return;  // does not fit: a beep
    ++start;
  }
  SetText(edit, text);
  edit->SelectionStart = edit->SelectionEnd = start;
}

LRESULT EditMessage(TWindow *edit, UINT message, WPARAM wParam, LPARAM lParam) {
  int length = static_cast<int>(edit->Text.size());
  switch (message) {
    case EM_SETSEL: {
      int start = static_cast<int>(static_cast<LONG_PTR>(wParam));
      int end = static_cast<int>(lParam);
      if (start < 0) {
        edit->SelectionStart = edit->SelectionEnd;
        return 0;
      }
      if (end < 0 || end > length) end = length;
      if (start > length) start = length;
      edit->SelectionStart = start < end ? start : end;
      edit->SelectionEnd = start < end ? end : start;
      return 0;
    }
    case EM_GETSEL:
      if (wParam) *reinterpret_cast<DWORD *>(wParam) = static_cast<DWORD>(edit->SelectionStart);
      if (lParam) *reinterpret_cast<DWORD *>(lParam) = static_cast<DWORD>(edit->SelectionEnd);
      return MAKELONG(edit->SelectionStart, edit->SelectionEnd);
    case WM_CHAR:
      if (edit->Enabled) EditChar(edit, static_cast<char>(wParam));
      return 0;
  }
  return 0;
}

LRESULT ComboMessage(TWindow *combo, UINT message, WPARAM wParam, LPARAM lParam) {
  int count = static_cast<int>(combo->Items.size());
  int index = static_cast<int>(static_cast<LONG_PTR>(wParam));
  bool valid = index >= 0 && index < count;
  switch (message) {
    case CB_ADDSTRING:
      combo->Items.emplace_back(reinterpret_cast<const char *>(lParam), 0);
      return count;
    case CB_GETCOUNT:
      return count;
    case CB_SETITEMDATA:
      if (!valid) return CB_ERR;
      combo->Items[static_cast<size_t>(index)].second = lParam;
      return TRUE;
    case CB_GETITEMDATA:
      return valid ? combo->Items[static_cast<size_t>(index)].second : CB_ERR;
    case CB_SETCURSEL:
      combo->Selection = valid ? index : -1;
      SetText(combo, valid ? combo->Items[static_cast<size_t>(index)].first : "");
      return valid ? index : CB_ERR;
    case CB_GETCURSEL:
      return combo->Selection;
    case CB_GETLBTEXT:
      if (!valid) return CB_ERR;
      strcpy(reinterpret_cast<char *>(lParam),
             combo->Items[static_cast<size_t>(index)].first.c_str());
      return static_cast<LRESULT>(combo->Items[static_cast<size_t>(index)].first.size());
  }
  return 0;
}

LRESULT ProgressMessage(TWindow *bar, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case PBM_SETRANGE: {
      LRESULT previous = MAKELONG(bar->RangeLow, bar->RangeHigh);
      bar->RangeLow = LOWORD(lParam);
      bar->RangeHigh = HIWORD(lParam);
      RecordEvent(bar, "range",
                  std::to_string(bar->RangeLow) + ".." + std::to_string(bar->RangeHigh));
      return previous;
    }
    case PBM_SETPOS: {
      LRESULT previous = bar->Position;
      int position = static_cast<int>(static_cast<LONG_PTR>(wParam));
      if (position < bar->RangeLow) position = bar->RangeLow;
      if (position > bar->RangeHigh) position = bar->RangeHigh;
      bar->Position = position;
      RecordEvent(bar, "pos", std::to_string(position));
      return previous;
    }
    case PBM_GETPOS:
      return bar->Position;
  }
  return 0;
}

// A click that a push button takes: focus on the press, the command on the
// release.
LRESULT ButtonMessage(TWindow *button, UINT message) {
  if (message == kWmLButtonDown) SetFocus(button->Handle);
  if (message == kWmLButtonUp)
    SendMessageA(button->Parent->Handle, WM_COMMAND, MAKEWPARAM(button->Id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button->Handle));
  return 0;
}

}  // namespace

void SetText(TWindow *window, const std::string &text) {
  window->Text = text;
  RecordEvent(window, "text", text);
  TextChanged(window);
}

LRESULT ControlMessage(TWindow *window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SETTEXT:
      SetText(window, lParam ? reinterpret_cast<const char *>(lParam) : "");
      if (window->Class == "EDIT") window->SelectionStart = window->SelectionEnd = 0;
      return TRUE;
    case WM_GETTEXT:
      return CopyText(window->Text, wParam, lParam);
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(window->Text.size());
  }
  if (window->Class == "EDIT") return EditMessage(window, message, wParam, lParam);
  if (window->Class == "COMBOBOX") return ComboMessage(window, message, wParam, lParam);
  if (window->Class == "MSCTLS_PROGRESS32") return ProgressMessage(window, message, wParam, lParam);
  if (window->Class == "BUTTON") return ButtonMessage(window, message);
  return 0;
}

std::string WindowText(HWND handle) {
  TWindow *window = FindWindowRecord(handle);
  return window ? window->Text : "";
}

std::vector<std::string> ComboItems(HWND handle) {
  std::vector<std::string> items;
  if (TWindow *combo = FindWindowRecord(handle))
    for (const auto &item : combo->Items) items.push_back(item.first);
  return items;
}

void EditSelection(HWND handle, int &start, int &end) {
  start = end = -1;
  if (TWindow *edit = FindWindowRecord(handle)) {
    start = edit->SelectionStart;
    end = edit->SelectionEnd;
  }
}

void ProgressRange(HWND handle, int &low, int &high) {
  low = high = -1;
  if (TWindow *bar = FindWindowRecord(handle)) {
    low = bar->RangeLow;
    high = bar->RangeHigh;
  }
}

int ProgressPosition(HWND handle) {
  TWindow *bar = FindWindowRecord(handle);
  return bar ? bar->Position : -1;
}

}  // namespace winapi
