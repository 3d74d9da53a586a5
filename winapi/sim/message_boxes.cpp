// Message boxes: recorded with owner, caption, text and flags, and answered
// by the script.
#include "ui_state.h"

namespace winapi {

namespace {

bool IsButtonOf(UINT type, int answer) {
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return answer == IDOK;
    case MB_OKCANCEL:
      return answer == IDOK || answer == IDCANCEL;
    case MB_ABORTRETRYIGNORE:
      return answer == IDABORT || answer == IDRETRY || answer == IDIGNORE;
    case MB_YESNOCANCEL:
      return answer == IDYES || answer == IDNO || answer == IDCANCEL;
    case MB_YESNO:
      return answer == IDYES || answer == IDNO;
    case MB_RETRYCANCEL:
      return answer == IDRETRY || answer == IDCANCEL;
  }
  return false;
}

// What closing the box without a choice gives.
int CautiousAnswer(UINT type) {
  switch (type & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    case MB_YESNO:
      return IDNO;
  }
  return IDCANCEL;
}

}  // namespace

const std::vector<TMessageBoxRecord> &MessageBoxes() {
  return Ui().Boxes;
}

}  // namespace winapi

using namespace winapi;

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  TWindow *ownerWindow = owner ? FindWindowRecord(owner) : nullptr;
  if (owner && !ownerWindow) return 0;
  DWORD error = GetLastError();
  TMessageBoxRecord box;
  if (ownerWindow) {
    box.Owner = DialogOf(ownerWindow)->Template;
    box.OwnerVisible = IsWindowVisible(owner) != FALSE;
  }
  box.Caption = caption ? caption : "Error";
  box.Text = text ? text : "";
  box.Flags = type;
  // The box is modal to its owner and takes the focus while it is up.
  HWND focus = GetFocus();
  bool ownerWasEnabled = ownerWindow && ownerWindow->Enabled;
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  Ui().Focus = nullptr;
  int answer = 0;
  if (!AnswerBox(box, answer)) {
    answer = CautiousAnswer(type);
  } else if (!IsButtonOf(type, answer)) {
    Problem("the answer " + std::to_string(answer) + " is no button of the box \"" + box.Caption +
            "\"");
    answer = CautiousAnswer(type);
  }
  box.Answer = answer;
  Ui().Boxes.push_back(box);
  if (ownerWasEnabled && FindWindowRecord(owner)) EnableWindow(owner, TRUE);
  if (FindWindowRecord(focus)) Ui().Focus = focus;
  SetLastError(error);
  return answer;
}
