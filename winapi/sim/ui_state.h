// The dialog manager's inner state: windows, the message queue, key states,
// records and the script. Shared by the files of the dialog manager only.
#ifndef DISKARNO_WINAPI_SIM_UI_STATE_H
#define DISKARNO_WINAPI_SIM_UI_STATE_H

#include <windows.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "resource_reader.h"
#include "sim_user.h"

namespace winapi {

constexpr UINT kWmLButtonDown = 0x0201;
constexpr UINT kWmLButtonUp = 0x0202;
constexpr UINT kWmSysKeyUp = 0x0105;
constexpr DWORD kErrorInvalidWindowHandle = 1400;
constexpr DWORD kErrorControlIdNotFound = 1421;
constexpr DWORD kErrorCannotFindWindowClass = 1407;
constexpr DWORD kErrorResourceNameNotFound = 1814;
constexpr DWORD kErrorResourceTypeNotFound = 1813;

struct TWindow {
  HWND Handle = nullptr;
  TWindow *Parent = nullptr;  // the dialog of a control
  HWND Owner = nullptr;       // the owner of a dialog
  std::string Template;       // a dialog's template name
  std::string Class;          // upper case; "#32770" for dialogs
  DWORD Style = 0;
  int Id = 0;
  std::string Text;
  bool Enabled = true;
  bool Visible = false;
  RECT Rect = {0, 0, 0, 0};  // dialogs: screen; controls: dialog client
  std::vector<TWindow *> Children;
  // Dialogs.
  DLGPROC Procedure = nullptr;
  bool Ended = false;
  INT_PTR Result = 0;
  HWND SavedFocus = nullptr;
  // Combo boxes.
  std::vector<std::pair<std::string, LRESULT>> Items;
  int Selection = -1;
  // Edits.
  int SelectionStart = 0;
  int SelectionEnd = 0;
  // Progress bars.
  int RangeLow = 0;
  int RangeHigh = 100;
  int Position = 0;
};

enum class TTrigger { Idle, Box, Text };

struct TStep {
  TTrigger Trigger = TTrigger::Idle;
  std::string What;
  std::string Caption;  // Box
  int Answer = 0;       // Box
  std::string Dialog;   // Text
  int Id = 0;           // Text
  std::string Text;     // Text
  std::function<void()> Action;
};

struct TUiState {
  std::vector<TResourceEntry> Resources;
  std::map<HWND, std::unique_ptr<TWindow>> Windows;
  uintptr_t NextHandle = 0x10000;
  std::vector<TWindow *> Dialogs;  // live dialogs, oldest first
  HWND Focus = nullptr;
  bool CommonControls = false;   // the progress bar's class is registered
  bool CommonControlsEx = true;  // COMCTL32 4.70 or later: InitCommonControlsEx exists
  bool CommonControlsExFails = false;
  int ScreenWidth = 1024;
  int ScreenHeight = 768;
  bool Aborting = false;
  size_t Dispatched = 0;
  std::vector<TMessageBoxRecord> Boxes;
  std::vector<TUiEvent> Events;
  std::vector<std::string> Problems;
  std::deque<TStep> Script;
  std::vector<std::pair<std::string, int>> StandingAnswers;
};

TUiState &Ui();
// The thread's message queue and key states.
std::deque<MSG> &Queue();
BYTE *KeyStates();

TWindow *FindWindowRecord(HWND handle);  // NULL with ERROR_INVALID_WINDOW_HANDLE
TWindow *ActiveDialog();                 // the newest enabled, visible dialog
TWindow *DialogOf(TWindow *window);      // the window itself for a dialog
void RecordEvent(TWindow *window, const char *kind, const std::string &value);
void Problem(const std::string &text);
// Ends every dialog and stops asking the script: the test is failing.
void AbortEverything(const std::string &reason);

// Control behaviour: the messages each predefined class answers.
LRESULT ControlMessage(TWindow *control, UINT message, WPARAM wParam, LPARAM lParam);
void SetText(TWindow *window, const std::string &text);

// The script's hooks.
void UserIdle();  // the program waits for input
bool AnswerBox(const TMessageBoxRecord &box, int &answer);
void TextChanged(TWindow *window);

// Posts input to a window's queue; false when the window is gone.
bool PostInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace winapi

#endif
