// The simulated PC's dialog manager and its scripted user, as tests see it.
//
// Dialogs are built from the compiled resources (LoadResources). The program
// runs on the test's thread; whenever a modal loop finds its queue empty, the
// user takes the next step of the script. Message boxes are recorded and
// answered from the script; text changes can trigger steps as well. When the
// program waits for input the script does not give, the problem is recorded
// and every dialog is ended, so that a faulty program or script ends the
// test instead of hanging it.
#ifndef DISKARNO_WINAPI_SIM_SIM_USER_H
#define DISKARNO_WINAPI_SIM_SIM_USER_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace winapi {

// Forgets every window, message, record, script step and registered class,
// and sets the screen to 1024 x 768. Keeps the loaded resources.
void ResetUserInterface();
// Loads the .res file that DialogBoxParamA takes its templates from.
bool LoadResources(const std::string &path);
void SetScreenSize(int width, int height);
// The COMCTL32 version, 5.81 after a reset. 4.00 (the first Windows 95, NT
// 4.0) has no InitCommonControlsEx: GetProcAddress does not find it, and a
// direct call is recorded as a problem, since the system would not have
// loaded a program importing it.
void SetCommonControlsVersion(int major, int minor);
// InitCommonControlsEx is there but fails and registers nothing, until the
// next reset.
void FailCommonControlsEx();

// --- What the user saw -------------------------------------------------------

struct TMessageBoxRecord {
  std::string Owner;  // the owner dialog's template name, "" without owner
  bool OwnerVisible = false;
  std::string Caption;
  std::string Text;
  UINT Flags = 0;
  int Answer = 0;
};
const std::vector<TMessageBoxRecord> &MessageBoxes();

// One change to a dialog or control, in order: kind is "created", "ended",
// "text", "range", "pos", "enabled", "visible", "destroyed" or "focus".
struct TUiEvent {
  std::string Dialog;  // template name
  int Id;              // control id; 0 for the dialog itself
  std::string Kind;
  std::string Value;
};
const std::vector<TUiEvent> &UiEvents();
// The values of the events of one kind for one control, in order.
std::vector<std::string> UiValues(const std::string &dialog, int id, const std::string &kind);

// Script problems: unexpected boxes, input the script did not give, ...
const std::vector<std::string> &UserProblems();
size_t RemainingSteps();

// --- Looking at live windows -----------------------------------------------------

// The newest live dialog made from this template, or NULL.
HWND FindDialog(const std::string &templateName);
std::string WindowText(HWND window);
std::string TemplateName(HWND dialog);
std::vector<std::string> ComboItems(HWND combo);
void EditSelection(HWND edit, int &start, int &end);
void ProgressRange(HWND progress, int &low, int &high);
int ProgressPosition(HWND progress);
// Window rectangles are in screen pixels.
RECT WindowRect(HWND window);

// --- Input, as the user gives it ------------------------------------------------
// Each goes to the active dialog (the newest enabled one) or the focus, as
// real input would; a click on a disabled or hidden control is lost.

void ClickControl(int id);
void ClickCloseBox();
void PressKey(int virtualKey);
void HoldKey(int virtualKey);
void ReleaseKey(int virtualKey);
void PressAltF4();
void TypeText(const std::string &text);
void SelectComboItem(int id, int index);

// --- The script ------------------------------------------------------------------

class ScriptedUser {
 public:
  // Steps taken when the program waits for input.
  ScriptedUser &Click(int id);
  ScriptedUser &CloseBox();
  ScriptedUser &Press(int virtualKey);
  ScriptedUser &AltF4();
  ScriptedUser &Type(const std::string &text);
  ScriptedUser &Select(int comboId, int index);
  ScriptedUser &Do(std::function<void()> action, const std::string &what = "custom step");
  // A step taken when a message box with this caption appears: the action
  // runs first (it may look at the screen or change the machine), then the
  // box is answered.
  ScriptedUser &Answer(const std::string &caption, int answer,
                       std::function<void()> action = nullptr);
  // A step taken when a control of a dialog gets exactly this text.
  ScriptedUser &WhenText(const std::string &dialog, int id, const std::string &text,
                         std::function<void()> action);
  // Not a step: answers every later box with this caption that no step
  // expects.
  ScriptedUser &AlwaysAnswer(const std::string &caption, int answer);
};

}  // namespace winapi

#endif
