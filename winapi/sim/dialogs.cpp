// The dialog manager: windows made from dialog templates, modal loops,
// the default dialog behaviour, and the user32 window functions.
#include <commctrl.h>

#include <fstream>
#include <iterator>

#include "host_control.h"
#include "ui_state.h"

namespace winapi {

namespace {

// Dialog base units of "MS Sans Serif" 8 points.
constexpr int kBaseUnitX = 6;
constexpr int kBaseUnitY = 13;
constexpr int kFrame = 3;
constexpr int kCaption = 18;
constexpr int kTaskbar = 28;  // DS_CENTER centres in the work area above it
constexpr DWORD kDsCenter = 0x0800;
constexpr DWORD kWsVisible = 0x10000000;
constexpr DWORD kWsDisabled = 0x08000000;
constexpr DWORD kWsTabStop = 0x00010000;
constexpr DWORD kSsTypeMask = 0x1F;
constexpr DWORD kSsIcon = 0x03;
constexpr size_t kDispatchLimit = 1000000;

std::string Upper(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

int Round(int value, int numerator, int denominator) {
  return (value * numerator + denominator / 2) / denominator;
}

RECT UnitsToPixels(short x, short y, short width, short height) {
  RECT rect;
  rect.left = Round(x, kBaseUnitX, 4);
  rect.top = Round(y, kBaseUnitY, 8);
  rect.right = rect.left + Round(width, kBaseUnitX, 4);
  rect.bottom = rect.top + Round(height, kBaseUnitY, 8);
  return rect;
}

TWindow *NewWindow() {
  TUiState &ui = Ui();
  auto window = std::make_unique<TWindow>();
  window->Handle = reinterpret_cast<HWND>(ui.NextHandle);
  ui.NextHandle += 4;
  TWindow *record = window.get();
  ui.Windows[record->Handle] = std::move(window);
  return record;
}

void ForgetWindow(TWindow *window) {
  TUiState &ui = Ui();
  if (ui.Focus == window->Handle) ui.Focus = nullptr;
  ui.Windows.erase(window->Handle);
}

void DestroyDialog(TWindow *dialog) {
  TUiState &ui = Ui();
  for (TWindow *child : dialog->Children) ForgetWindow(child);
  dialog->Children.clear();
  for (auto it = ui.Dialogs.begin(); it != ui.Dialogs.end(); ++it)
    if (*it == dialog) {
      ui.Dialogs.erase(it);
      break;
    }
  ForgetWindow(dialog);
}

bool ClassRegistered(const std::string &name) {
  if (name == "BUTTON" || name == "EDIT" || name == "STATIC" || name == "COMBOBOX" ||
      name == "LISTBOX" || name == "SCROLLBAR")
    return true;
  return name == "MSCTLS_PROGRESS32" && Ui().CommonControls;
}

bool IconExists(const std::string &name) {
  TResourceId type, id = ResourceIdFrom(name.c_str());
  type.Ordinal = kResourceGroupIcon;
  for (const TResourceEntry &entry : Ui().Resources)
    if (entry.Type.Matches(type) && entry.Name.Matches(id)) return true;
  return false;
}

const TResourceEntry *FindDialogResource(LPCSTR name) {
  TResourceId type, id = ResourceIdFrom(name);
  type.Ordinal = kResourceDialog;
  for (const TResourceEntry &entry : Ui().Resources)
    if (entry.Type.Matches(type) && entry.Name.Matches(id)) return &entry;
  return nullptr;
}

void PlaceDialog(TWindow *dialog, const TDialogTemplate &form, TWindow *owner) {
  RECT client = UnitsToPixels(form.X, form.Y, form.Width, form.Height);
  int width = client.right - client.left + 2 * kFrame;
  int height = client.bottom - client.top + 2 * kFrame + kCaption;
  int left = client.left, top = client.top;
  if (form.Style & kDsCenter) {
    TUiState &ui = Ui();
    left = (ui.ScreenWidth - width) / 2;
    top = (ui.ScreenHeight - kTaskbar - height) / 2;
  } else if (owner) {
    left += owner->Rect.left + kFrame;
    top += owner->Rect.top + kFrame + kCaption;
  }
  dialog->Rect = {left, top, left + width, top + height};
}

bool AddControl(TWindow *dialog, const TControlTemplate &form) {
  std::string name = Upper(form.Class);
  if (!ClassRegistered(name)) {
    SetLastError(kErrorCannotFindWindowClass);
    return false;
  }
  TWindow *control = NewWindow();
  control->Parent = dialog;
  control->Class = name;
  control->Style = form.Style;
  control->Id = static_cast<short>(form.Id);
  control->Text = form.Text;
  control->Enabled = !(form.Style & kWsDisabled);
  control->Visible = (form.Style & kWsVisible) != 0;
  control->Rect = UnitsToPixels(form.X, form.Y, form.Width, form.Height);
  if (name == "COMBOBOX") control->Text.clear();
  if (name == "STATIC" && (form.Style & kSsTypeMask) == kSsIcon && !IconExists(form.Text))
    Problem("dialog " + dialog->Template + ": no icon group named " + form.Text);
  dialog->Children.push_back(control);
  return true;
}

TWindow *CreateDialogWindow(LPCSTR name, HWND owner, DLGPROC procedure) {
  const TResourceEntry *resource = FindDialogResource(name);
  TDialogTemplate form;
  if (!resource) {
    SetLastError(kErrorResourceNameNotFound);
    return nullptr;
  }
  if (!ParseDialogTemplate(resource->Data, form)) {
    SetLastError(kErrorResourceTypeNotFound);
    return nullptr;
  }
  TWindow *dialog = NewWindow();
  dialog->Template =
      resource->Name.Ordinal ? "#" + std::to_string(resource->Name.Ordinal) : resource->Name.Name;
  dialog->Class = "#32770";
  dialog->Style = form.Style;
  dialog->Text = form.Caption;
  dialog->Owner = owner;
  dialog->Procedure = procedure;
  PlaceDialog(dialog, form, FindWindowRecord(owner));
  Ui().Dialogs.push_back(dialog);
  for (const TControlTemplate &control : form.Controls) {
    if (!AddControl(dialog, control)) {
      DWORD error = GetLastError();
      DestroyDialog(dialog);
      SetLastError(error);
      return nullptr;
    }
  }
  return dialog;
}

TWindow *FirstTabStop(TWindow *dialog) {
  for (TWindow *child : dialog->Children)
    if ((child->Style & kWsTabStop) && child->Enabled && child->Visible) return child;
  return nullptr;
}

bool FocusWithin(TWindow *dialog) {
  TWindow *focus = FindWindowRecord(Ui().Focus);
  return focus && DialogOf(focus) == dialog;
}

// WM_INITDIALOG, then the activation: without focus of its own the dialog
// gives it to its first tab stop.
void InitDialog(TWindow *dialog, LPARAM parameter) {
  HWND handle = dialog->Handle;
  TWindow *first = FirstTabStop(dialog);
  INT_PTR setFocus = dialog->Procedure(
      handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(first ? first->Handle : nullptr), parameter);
  if (!FindWindowRecord(handle)) return;
  dialog->Visible = (dialog->Style & kWsVisible) != 0;
  first = FirstTabStop(dialog);
  if ((setFocus || !FocusWithin(dialog)) && first) SetFocus(first->Handle);
}

// The nearest default push button, or IDOK's id when there is none.
TWindow *DefaultButton(TWindow *dialog) {
  for (TWindow *child : dialog->Children)
    if (child->Class == "BUTTON" && (child->Style & 0x0F) == 1) return child;
  return nullptr;
}

bool IsPushButton(TWindow *window) {
  return window && window->Class == "BUTTON" && (window->Style & 0x0F) <= 1;
}

void SendCommand(TWindow *dialog, int id, TWindow *control) {
  SendMessageA(dialog->Handle, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(control ? control->Handle : nullptr));
}

// The keys a dialog's own loop handles: Enter and Escape.
bool IsDialogKey(TWindow *dialog, const MSG &message) {
  if (message.message != WM_KEYDOWN) return false;
  TWindow *focus = FindWindowRecord(Ui().Focus);
  if (focus && DialogOf(focus) != dialog) focus = nullptr;
  if (message.wParam == VK_ESCAPE) {
    SendMessageA(dialog->Handle, WM_COMMAND, IDCANCEL,
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog->Handle, IDCANCEL)));
    return true;
  }
  if (message.wParam != VK_RETURN) return false;
  if (IsPushButton(focus)) {
    SendCommand(dialog, focus->Id, focus);
  } else if (TWindow *button = DefaultButton(dialog)) {
    if (button->Enabled) SendCommand(dialog, button->Id, button);
  } else {
    SendCommand(dialog, IDOK, FindWindowRecord(GetDlgItem(dialog->Handle, IDOK)));
  }
  return true;
}

void ModalLoop(TWindow *dialog) {
  HWND handle = dialog->Handle;
  TUiState &ui = Ui();
  while (FindWindowRecord(handle) && !dialog->Ended) {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (ui.Aborting) break;
      UserIdle();
      continue;
    }
    if (++ui.Dispatched > kDispatchLimit) AbortEverything("the program never stops dispatching");
    if (IsDialogKey(dialog, message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

LRESULT DefaultDialogMessage(TWindow *dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CLOSE: {
      // Closing is like the Cancel button, unless that button is disabled.
      TWindow *cancel = FindWindowRecord(GetDlgItem(dialog->Handle, IDCANCEL));
      if (!cancel || cancel->Enabled)
        PostMessageA(dialog->Handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(cancel ? cancel->Handle : nullptr));
      return 0;
    }
    case WM_SYSCOMMAND:
      if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(dialog->Handle, WM_CLOSE, 0, 0);
      return 0;
  }
  return 0;
}

}  // namespace

TUiState &Ui() {
  static TUiState state;
  return state;
}

std::deque<MSG> &Queue() {
  thread_local std::deque<MSG> queue;
  return queue;
}

BYTE *KeyStates() {
  thread_local BYTE states[256];
  return states;
}

TWindow *FindWindowRecord(HWND handle) {
  auto it = Ui().Windows.find(handle);
  if (it == Ui().Windows.end()) {
    SetLastError(kErrorInvalidWindowHandle);
    return nullptr;
  }
  return it->second.get();
}

TWindow *DialogOf(TWindow *window) {
  return window && window->Parent ? window->Parent : window;
}

TWindow *ActiveDialog() {
  std::vector<TWindow *> &dialogs = Ui().Dialogs;
  for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
    if ((*it)->Enabled && (*it)->Visible && !(*it)->Ended) return *it;
  return nullptr;
}

void RecordEvent(TWindow *window, const char *kind, const std::string &value) {
  TWindow *dialog = DialogOf(window);
  Ui().Events.push_back({dialog->Template, window->Parent ? window->Id : 0, kind, value});
}

void Problem(const std::string &text) {
  Ui().Problems.push_back(text);
}

void AbortEverything(const std::string &reason) {
  TUiState &ui = Ui();
  if (!ui.Aborting) Problem(reason);
  ui.Aborting = true;
  for (TWindow *dialog : ui.Dialogs) dialog->Ended = true;
  Queue().clear();
}

namespace {

FARPROC Export(void (*function)()) {
  return reinterpret_cast<FARPROC>(function);
}

// COMCTL32's exports as GetProcAddress finds them, for the version set.
void PublishCommonControls() {
  ModuleExports exports = {{"InitCommonControls", Export(InitCommonControls)}};
  if (Ui().CommonControlsEx)
    exports.push_back(
        {"InitCommonControlsEx", Export(reinterpret_cast<void (*)()>(InitCommonControlsEx))});
  SetModuleExports("COMCTL32.DLL", std::move(exports));
}

}  // namespace

void ResetUserInterface() {
  TUiState &ui = Ui();
  std::vector<TResourceEntry> resources = std::move(ui.Resources);
  ui = TUiState();
  ui.Resources = std::move(resources);
  Queue().clear();
  for (int i = 0; i < 256; ++i) KeyStates()[i] = 0;
  PublishCommonControls();
}

void SetCommonControlsVersion(int major, int minor) {
  Ui().CommonControlsEx = major > 4 || (major == 4 && minor >= 70);
  PublishCommonControls();
}

void FailCommonControlsEx() { Ui().CommonControlsExFails = true; }

bool LoadResources(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::vector<BYTE> data((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<TResourceEntry> entries;
  if (!ParseResourceFile(data, entries)) return false;
  Ui().Resources = std::move(entries);
  return true;
}

void SetScreenSize(int width, int height) {
  Ui().ScreenWidth = width;
  Ui().ScreenHeight = height;
}

HWND FindDialog(const std::string &templateName) {
  std::vector<TWindow *> &dialogs = Ui().Dialogs;
  for (auto it = dialogs.rbegin(); it != dialogs.rend(); ++it)
    if ((*it)->Template == Upper(templateName)) return (*it)->Handle;
  return nullptr;
}

std::string TemplateName(HWND dialog) {
  TWindow *window = FindWindowRecord(dialog);
  return window ? DialogOf(window)->Template : "";
}

RECT WindowRect(HWND handle) {
  RECT rect = {0, 0, 0, 0};
  GetWindowRect(handle, &rect);
  return rect;
}

}  // namespace winapi

using namespace winapi;

extern "C" INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR templateName, HWND owner,
                                          DLGPROC procedure, LPARAM parameter) {
  TUiState &ui = Ui();
  if (ui.Aborting) return -1;
  TWindow *ownerWindow = owner ? FindWindowRecord(owner) : nullptr;
  if (owner && !ownerWindow) return -1;
  TWindow *dialog = CreateDialogWindow(templateName, owner, procedure);
  if (!dialog) return -1;
  HWND handle = dialog->Handle;
  RecordEvent(dialog, "created", dialog->Text);
  if (ownerWindow) {
    ownerWindow->SavedFocus = ui.Focus;
    EnableWindow(owner, FALSE);
  }
  InitDialog(dialog, parameter);
  if (FindWindowRecord(handle)) ModalLoop(dialog);
  INT_PTR result = -1;
  if (TWindow *ended = FindWindowRecord(handle)) {
    result = ended->Result;
    RecordEvent(ended, "ended", std::to_string(result));
    DestroyDialog(ended);
  }
  if ((ownerWindow = owner ? FindWindowRecord(owner) : nullptr)) {
    EnableWindow(owner, TRUE);
    if (FindWindowRecord(ownerWindow->SavedFocus)) ui.Focus = ownerWindow->SavedFocus;
  }
  return result;
}

extern "C" BOOL WINAPI EndDialog(HWND handle, INT_PTR result) {
  TWindow *dialog = FindWindowRecord(handle);
  if (!dialog || dialog->Parent) return FALSE;
  dialog->Ended = true;
  dialog->Result = result;
  dialog->Visible = false;
  return TRUE;
}

extern "C" HWND WINAPI GetDlgItem(HWND handle, int id) {
  TWindow *dialog = FindWindowRecord(handle);
  if (!dialog) return nullptr;
  for (TWindow *child : dialog->Children)
    if (static_cast<WORD>(child->Id) == static_cast<WORD>(id)) return child->Handle;
  SetLastError(kErrorControlIdNotFound);
  return nullptr;
}

extern "C" LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return 0;
  if (window->Parent) return ControlMessage(window, message, wParam, lParam);
  if (message == WM_SETTEXT || message == WM_GETTEXT || message == WM_GETTEXTLENGTH)
    return ControlMessage(window, message, wParam, lParam);
  INT_PTR handled = window->Procedure(handle, message, wParam, lParam);
  if (handled || !FindWindowRecord(handle)) return handled;
  return DefaultDialogMessage(window, message, wParam, lParam);
}

extern "C" LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam,
                                              LPARAM lParam) {
  HWND control = GetDlgItem(dialog, id);
  return control ? SendMessageA(control, message, wParam, lParam) : 0;
}

extern "C" BOOL WINAPI SetWindowTextA(HWND handle, LPCSTR text) {
  return SendMessageA(handle, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

extern "C" int WINAPI GetWindowTextA(HWND handle, LPSTR text, int maxCount) {
  if (!FindWindowRecord(handle)) {
    if (maxCount > 0) text[0] = '\0';
    return 0;
  }
  return static_cast<int>(SendMessageA(handle, WM_GETTEXT, static_cast<WPARAM>(maxCount),
                                       reinterpret_cast<LPARAM>(text)));
}

extern "C" BOOL WINAPI EnableWindow(HWND handle, BOOL enable) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return FALSE;
  BOOL wasDisabled = !window->Enabled;
  if (window->Enabled != (enable != 0)) {
    window->Enabled = enable != 0;
    RecordEvent(window, "enabled", enable ? "1" : "0");
  }
  return wasDisabled;
}

extern "C" BOOL WINAPI DestroyWindow(HWND handle) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return FALSE;
  RecordEvent(window, "destroyed", "");
  if (!window->Parent) {
    DestroyDialog(window);
    return TRUE;
  }
  std::vector<TWindow *> &siblings = window->Parent->Children;
  for (auto it = siblings.begin(); it != siblings.end(); ++it)
    if (*it == window) {
      siblings.erase(it);
      break;
    }
  ForgetWindow(window);
  return TRUE;
}

extern "C" HWND WINAPI SetFocus(HWND handle) {
  TUiState &ui = Ui();
  HWND previous = ui.Focus;
  if (handle) {
    TWindow *window = FindWindowRecord(handle);
    if (!window) return nullptr;
    RecordEvent(window, "focus", "");
  }
  ui.Focus = handle;
  return previous;
}

extern "C" HWND WINAPI GetFocus(void) {
  return Ui().Focus;
}

extern "C" BOOL WINAPI ShowWindow(HWND handle, int command) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return FALSE;
  BOOL wasVisible = window->Visible;
  bool visible = command != SW_HIDE;
  if (window->Visible != visible) {
    window->Visible = visible;
    RecordEvent(window, "visible", visible ? "1" : "0");
  }
  return wasVisible;
}

extern "C" BOOL WINAPI IsWindowVisible(HWND handle) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return FALSE;
  return window->Visible && (!window->Parent || window->Parent->Visible);
}

extern "C" BOOL WINAPI IsWindowEnabled(HWND handle) {
  TWindow *window = FindWindowRecord(handle);
  return window && window->Enabled;
}

extern "C" BOOL WINAPI GetWindowRect(HWND handle, LPRECT rect) {
  TWindow *window = FindWindowRecord(handle);
  if (!window || !rect) return FALSE;
  *rect = window->Rect;
  if (window->Parent) {
    LONG left = window->Parent->Rect.left + kFrame,
         top = window->Parent->Rect.top + kFrame + kCaption;
    rect->left += left;
    rect->right += left;
    rect->top += top;
    rect->bottom += top;
  }
  return TRUE;
}

extern "C" BOOL WINAPI SetWindowPos(HWND handle, HWND, int x, int y, int width, int height,
                                    UINT flags) {
  TWindow *window = FindWindowRecord(handle);
  if (!window) return FALSE;
  RECT &rect = window->Rect;
  if (!(flags & SWP_NOSIZE)) {
    rect.right = rect.left + width;
    rect.bottom = rect.top + height;
  }
  if (!(flags & SWP_NOMOVE)) {
    LONG width = rect.right - rect.left, height = rect.bottom - rect.top;
    rect = {x, y, x + width, y + height};
  }
  return TRUE;
}

extern "C" int WINAPI GetSystemMetrics(int index) {
  if (index == SM_CXSCREEN) return Ui().ScreenWidth;
  if (index == SM_CYSCREEN) return Ui().ScreenHeight;
  return 0;
}

extern "C" void WINAPI InitCommonControls(void) {
  Ui().CommonControls = true;
}

extern "C" BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX *controls) {
  if (!Ui().CommonControlsEx) {
    Problem(
        "InitCommonControlsEx called, which COMCTL32 4.00 lacks: the loader would refuse a "
        "program importing it");
    SetLastError(ERROR_PROC_NOT_FOUND);
    return FALSE;
  }
  if (!controls || controls->dwSize != sizeof(INITCOMMONCONTROLSEX) || Ui().CommonControlsExFails)
    return FALSE;
  if (controls->dwICC & ICC_PROGRESS_CLASS) Ui().CommonControls = true;
  return TRUE;
}
