// The dialog manager against small dialog procedures on the program's own
// templates: what the scenario tests rely on.
#include <commctrl.h>
#include <gtest/gtest.h>

#include <vector>

#include "sim_user.h"

using namespace winapi;

namespace {

const int kStatus = 300, kProgress = 301, kDriveBox = 100, kPassword = 101, kWriteDisk = 1;

struct Seen {
  std::vector<int> commands;
  int closes = 0;
  bool endOnClose = true;
};
Seen seen;

INT_PTR CALLBACK RecordingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_COMMAND) seen.commands.push_back(LOWORD(wParam));
  if (message == WM_CLOSE) {
    ++seen.closes;
    if (seen.endOnClose) EndDialog(dialog, 7);
  }
  return FALSE;
}

INT_PTR CALLBACK FocusPasswordProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SendDlgItemMessageA(dialog, kDriveBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Floppy"));
    SetFocus(GetDlgItem(dialog, kPassword));
  }
  return RecordingProc(dialog, message, wParam, lParam);
}

class DialogManager : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(LoadResources(DK_BINARY_DIR "/resources/app.res"));
    ResetUserInterface();
    seen = Seen();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);
  }
  void TearDown() override { ResetUserInterface(); }
  ScriptedUser user;
};

TEST_F(DialogManager, ProgressBarNeedsCommonControls) {
  ResetUserInterface();
  SetLastError(0);
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGWRITE", nullptr, RecordingProc, 0), -1);
  EXPECT_EQ(GetLastError(), 1407u);
  INITCOMMONCONTROLSEX wrongSize = {4, ICC_PROGRESS_CLASS};
  EXPECT_FALSE(InitCommonControlsEx(&wrongSize));
  InitCommonControls();
  user.CloseBox();
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGWRITE", nullptr, RecordingProc, 0), 7);
  EXPECT_EQ(DialogBoxParamA(nullptr, "NODIALOG", nullptr, RecordingProc, 0), -1);
  EXPECT_EQ(GetLastError(), 1814u);
  EXPECT_TRUE(UserProblems().empty());
}

TEST_F(DialogManager, EnterClicksTheDefaultButtonOnlyWhenEnabled) {
  user.Press(VK_RETURN)
      .Do([] { EnableWindow(GetDlgItem(FindDialog("MAINDIALOG"), kWriteDisk), TRUE); })
      .Press(VK_RETURN)
      .Press(VK_ESCAPE)
      .Click(8)
      .Click(kWriteDisk)
      .Do([] { EnableWindow(GetDlgItem(FindDialog("MAINDIALOG"), kWriteDisk), FALSE); })
      .Click(kWriteDisk)
      .AltF4();
  EXPECT_EQ(DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, FocusPasswordProc, 0), 7);
  // Enter on the disabled default button does nothing; Escape is IDCANCEL;
  // the click on the disabled button is lost; Alt+F4 closes, and closing
  // posts IDCANCEL, which arrives after the dialog has gone.
  EXPECT_EQ(seen.commands, (std::vector<int>{kWriteDisk, IDCANCEL, 8, kWriteDisk}));
  EXPECT_EQ(seen.closes, 1);
  EXPECT_TRUE(UserProblems().empty());
  EXPECT_EQ(RemainingSteps(), 0u);
}

TEST_F(DialogManager, ClosingPostsCancelUnlessItIsDisabled) {
  seen.endOnClose = false;
  user.CloseBox()
      .Do([] { EnableWindow(GetDlgItem(FindDialog("DLGWRITE"), IDCANCEL), FALSE); })
      .CloseBox()
      .Do([] { EndDialog(FindDialog("DLGWRITE"), 3); });
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGWRITE", nullptr, RecordingProc, 0), 3);
  EXPECT_EQ(seen.closes, 2);
  EXPECT_EQ(seen.commands, std::vector<int>{IDCANCEL});
}

TEST_F(DialogManager, TypingGoesToTheFocusAndReplacesTheSelection) {
  user.Type("secret")
      .Do([] {
        HWND edit = GetDlgItem(FindDialog("MAINDIALOG"), kPassword);
        char text[256];
        EXPECT_EQ(GetWindowTextA(edit, text, 4), 3);
        EXPECT_STREQ(text, "sec");
        SendMessageA(edit, EM_SETSEL, 0, -1);
        int start, end;
        EditSelection(edit, start, end);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 6);
      })
      .Type("ab\b")
      .Do([] { EXPECT_EQ(WindowText(GetDlgItem(FindDialog("MAINDIALOG"), kPassword)), "a"); })
      // The edit does not scroll: 68 dialog units hold 19 characters.
      .Type(std::string(40, 'x'))
      .Do([] {
        EXPECT_EQ(WindowText(GetDlgItem(FindDialog("MAINDIALOG"), kPassword)),
                  "a" + std::string(18, 'x'));
      })
      .CloseBox();
  DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, FocusPasswordProc, 0);
  EXPECT_TRUE(UserProblems().empty());
}

TEST_F(DialogManager, ComboBoxItemsDataAndSelection) {
  user.Do([] {
        HWND dialog = FindDialog("MAINDIALOG");
        EXPECT_EQ(SendDlgItemMessageA(dialog, kDriveBox, CB_GETCURSEL, 0, 0), CB_ERR);
        EXPECT_EQ(
            SendDlgItemMessageA(dialog, kDriveBox, CB_GETITEMDATA, static_cast<WPARAM>(-1), 0),
            CB_ERR);
        SendDlgItemMessageA(dialog, kDriveBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Other"));
        EXPECT_TRUE(SendDlgItemMessageA(dialog, kDriveBox, CB_SETITEMDATA, 1, 'B'));
        EXPECT_EQ(SendDlgItemMessageA(dialog, kDriveBox, CB_SETITEMDATA, 2, 'C'), CB_ERR);
      })
      .Select(kDriveBox, 1)
      .Do([] {
        HWND dialog = FindDialog("MAINDIALOG");
        EXPECT_EQ(SendDlgItemMessageA(dialog, kDriveBox, CB_GETCURSEL, 0, 0), 1);
        EXPECT_EQ(SendDlgItemMessageA(dialog, kDriveBox, CB_GETITEMDATA, 1, 0), 'B');
        EXPECT_EQ(WindowText(GetDlgItem(dialog, kDriveBox)), "Other");
        EXPECT_EQ(ComboItems(GetDlgItem(dialog, kDriveBox)),
                  (std::vector<std::string>{"Floppy", "Other"}));
      })
      .CloseBox();
  DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, FocusPasswordProc, 0);
  EXPECT_EQ(seen.commands.front(), kDriveBox);
  EXPECT_TRUE(UserProblems().empty());
}

TEST_F(DialogManager, MessageBoxesAreRecordedAndModalToTheirOwner) {
  HWND dialog = nullptr;
  user.AlwaysAnswer("Again", IDRETRY);
  user.Do([&dialog] {
        dialog = FindDialog("MAINDIALOG");
        HWND edit = GetDlgItem(dialog, kPassword);
        SetLastError(1234);
        EXPECT_EQ(MessageBoxA(dialog, "Sure?", "Question", MB_YESNO | MB_ICONQUESTION), IDNO);
        EXPECT_EQ(GetLastError(), 1234u);
        EXPECT_TRUE(IsWindowEnabled(dialog));
        EXPECT_EQ(GetFocus(), edit);
        EXPECT_EQ(MessageBoxA(dialog, "1", "Again", MB_RETRYCANCEL), IDRETRY);
        EXPECT_EQ(MessageBoxA(dialog, "2", "Again", MB_OK), IDOK);  // no such button
        EXPECT_EQ(MessageBoxA(nullptr, "3", "Surprise", MB_YESNO), IDNO);
      })
      .Answer("Question", IDNO,
              [] {
                EXPECT_FALSE(IsWindowEnabled(FindDialog("MAINDIALOG")));
                EXPECT_EQ(GetFocus(), nullptr) << "the box has the focus";
              })
      .CloseBox();
  DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, FocusPasswordProc, 0);
  const std::vector<TMessageBoxRecord> &boxes = MessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  EXPECT_EQ(boxes[0].Owner, "MAINDIALOG");
  EXPECT_TRUE(boxes[0].OwnerVisible);
  EXPECT_EQ(boxes[0].Text, "Sure?");
  EXPECT_EQ(boxes[0].Flags, 0x24u);
  EXPECT_EQ(boxes[3].Owner, "");
  ASSERT_EQ(UserProblems().size(), 2u);
  EXPECT_NE(UserProblems()[0].find("no button"), std::string::npos);
  EXPECT_NE(UserProblems()[1].find("Surprise"), std::string::npos);
}

TEST_F(DialogManager, AScriptThatRunsOutEndsTheDialogWithAProblem) {
  user.Answer("Never shown", IDOK);
  EXPECT_EQ(DialogBoxParamA(nullptr, "MAINDIALOG", nullptr, FocusPasswordProc, 0), 0);
  ASSERT_EQ(UserProblems().size(), 1u);
  EXPECT_NE(UserProblems()[0].find("Never shown"), std::string::npos);
  EXPECT_EQ(FindDialog("MAINDIALOG"), nullptr);
}

// A pump like the program's: the key state changes when the key message is
// taken from the queue, not when the key is pressed.
INT_PTR CALLBACK PumpingProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) PostMessageA(dialog, WM_USER, 0, 0);
  if (message == WM_USER) {
    for (int track = 0; track < 5; ++track) {
      if (GetKeyState(VK_ESCAPE) & 0xFFFE) seen.commands.push_back(100 + track);
      MSG pending;
      while (PeekMessageA(&pending, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&pending);
        DispatchMessageA(&pending);
      }
      SetWindowTextA(GetDlgItem(dialog, kStatus), std::to_string(track).c_str());
      SendDlgItemMessageA(dialog, kProgress, PBM_SETPOS, static_cast<WPARAM>(track * 50), 0);
    }
    EndDialog(dialog, 1);
  }
  return RecordingProc(dialog, message, wParam, lParam);
}

TEST_F(DialogManager, HeldKeysAndTextTriggersDuringAPump) {
  user.WhenText("DLGWRITE", kStatus, "1", [] { HoldKey(VK_ESCAPE); })
      .WhenText("DLGWRITE", kStatus, "2", [] { ClickControl(IDCANCEL); });
  SHORT before = GetKeyState(VK_ESCAPE);
  EXPECT_EQ(DialogBoxParamA(nullptr, "DLGWRITE", nullptr, PumpingProc, 0), 1);
  // Escape taken from the queue at track 2 is down from track 3 on; the
  // click made at track 2 arrives at track 3.
  EXPECT_EQ(seen.commands, (std::vector<int>{103, IDCANCEL, 104}));
  EXPECT_EQ(GetKeyState(VK_ESCAPE) & 1, (before & 1) ^ 1);
  EXPECT_EQ(UiValues("DLGWRITE", kStatus, "text"),
            (std::vector<std::string>{"0", "1", "2", "3", "4"}));
  EXPECT_EQ(UiValues("DLGWRITE", kProgress, "pos"),
            (std::vector<std::string>{"0", "50", "100", "100", "100"}));
  EXPECT_EQ(RemainingSteps(), 0u);
}

TEST_F(DialogManager, DialogsAreCentredInTheWorkAreaAndPlacedInPixels) {
  user.Do([] {
        RECT rect = WindowRect(FindDialog("DLGWRITE"));
        // 203 x 43 dialog units in "MS Sans Serif" 8 are 305 x 70 pixels.
        EXPECT_EQ(rect.right - rect.left, 305 + 6);
        EXPECT_EQ(rect.bottom - rect.top, 70 + 6 + 18);
        EXPECT_EQ(rect.left, (1024 - 311) / 2);
        EXPECT_EQ(rect.top, (768 - 28 - 94) / 2);
        SetWindowPos(FindDialog("DLGWRITE"), nullptr, 10, 20, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
        RECT moved = WindowRect(FindDialog("DLGWRITE"));
        EXPECT_EQ(moved.left, 10);
        EXPECT_EQ(moved.bottom, 20 + 94);
      })
      .CloseBox();
  DialogBoxParamA(nullptr, "DLGWRITE", nullptr, RecordingProc, 0);
}

}  // namespace
