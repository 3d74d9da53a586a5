// The writing dialog and the writer's event handler.
#include "write_dialog.h"

#include <commctrl.h>

#include <string>

#include "app_errors.h"
#include "main_dialog.h"
#include "program_state.h"
#include "resource.h"
#include "utils.h"

namespace {

const char kDiskWritten[] = "The disk has been written.";
const char kWrongMedium[] = "In drive &: no 3.5\" 720 KB or 1.44 MB medium could be found.";
const char kOddDrive[] = "Drive &: seems not to be an ordinary 3.5\" floppy drive.\r\n";
const char kInsert720[] = "Please make sure a 3.5\" 720 KB floppy disk is inserted!";
const char kInsert144[] = "Please make sure a 3.5\" 1.44 MB floppy disk is inserted!";
const char kDriveFailed[] = "Can't initialize drive &:.\r\n(&)";
const char kTrackFailed[] = "Can't write track &/& to drive &:.\r\n(&)";
const char kWritingTrack[] = "Writing to drive &: (&/& of &/&)";

int ShowBox(HWND dialog, const char *text, const char *caption, UINT flags) {
  return MessageBoxA(dialog, text, caption, flags);
}

// A message box with the pattern's placeholders filled.
int ShowMessage(HWND dialog, const char *pattern, const char *const *arguments, size_t count,
                const char *caption, UINT flags) {
  char text[kMessageSize];
  FormatMsg(text, sizeof text, pattern, arguments, count);
  return ShowBox(dialog, text, caption, flags);
}

// The bar counts tracks: 0 to cylinders x heads, taken in 16 bits.
void ResetProgress(HWND dialog, const TDiskGeometry &geometry) {
  WORD tracks = static_cast<WORD>(static_cast<WORD>(geometry.Cylinders) *
                                  static_cast<WORD>(geometry.TracksPerCylinder));
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0, MAKELPARAM(0, tracks));
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, 0, 0);
}

void OnInitWriteDialog(HWND dialog) {
  Program.Busy = false;
  Program.StopExplained = false;
  CenterWindow(dialog);
  ResetProgress(dialog, Program.Geometry);
  PostMessageA(dialog, WM_USER, 0, 0);
}

void OnStartWriting(HWND dialog) {
  Program.Busy = true;
  bool written = WriteImage(Program.DriveLetter, Program.Image, Program.ImageSize,
                            reinterpret_cast<ULONG_PTR>(dialog), WriteEventHandler);
  if (written) {
    ShowWindow(dialog, SW_HIDE);
    ShowBox(dialog, kDiskWritten, "Information", MB_OK | MB_ICONINFORMATION);
  } else if (!Program.Cancel && !Program.StopExplained) {
    char error[kErrorTextSize];
    FormatErrorText(GetLastError(), error);
    ShowBox(dialog, error, "Error", MB_OK | MB_ICONERROR);
  }
  Program.Busy = false;
  PostMessageA(dialog, WM_CLOSE, 0, 0);
}

void OnCancel(HWND dialog) {
  Program.Cancel = true;
  if (!Program.Busy) PostMessageA(dialog, WM_CLOSE, 0, 0);
}

// Closing while the writer runs acts as Cancel: the writer stops at its next
// event, and the end of writing closes the dialog.
void OnCloseWriteDialog(HWND dialog) {
  if (Program.Busy) {
    Program.Cancel = true;
    return;
  }
  EndDialog(dialog, 0);
}

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void StopExplained(LONG &action) {
  action = kActionStop;
  Program.StopExplained = true;
}

void OnDriveReady(HWND dialog, TWriteStatus &status, LONG &action) {
  TDriveText drive(status.DriveLetter);
  const char *arguments[] = {drive.Text};
  DWORD mediaType = status.Geometry.MediaType;
  if (mediaType != kMediaF3_1Pt44 && mediaType != kMediaF3_720) {
    ShowMessage(dialog, kWrongMedium, arguments, 1, "Error", MB_OK | MB_ICONERROR);
    StopExplained(action);
    return;
  }
  if (IsStandard35Geometry(status.Geometry)) return;
  // The two texts joined first (arguments are not filled in again), then
  // the drive filled in.
  const char *parts[] = {kOddDrive, mediaType == kMediaF3_720 ? kInsert720 : kInsert144};
  char warning[kMessageSize];
  FormatMsg(warning, sizeof warning, "&|&", parts, 2);
  if (ShowMessage(dialog, warning, arguments, 1, "Warning", MB_OKCANCEL | MB_ICONERROR) != IDOK) {
    StopExplained(action);
    return;
  }
  SetStandard35Geometry(status.Geometry);
  ResetProgress(dialog, status.Geometry);
}

void OnDriveFailed(HWND dialog, TWriteStatus &status, LONG &action) {
  action = kActionStop;
  TDriveText drive(status.DriveLetter);
  char error[kErrorTextSize];
  FormatErrorText(status.Error, error);
  const char *arguments[] = {drive.Text, error};
  if (ShowMessage(dialog, kDriveFailed, arguments, 2, "Error", MB_RETRYCANCEL | MB_ICONERROR) ==
      IDRETRY)
    action = kActionRetry;
  else
    Program.Cancel = true;
}

void OnWriteTrack(HWND dialog, TWriteStatus &status) {
  LONG tracks =
      status.Cylinder * static_cast<LONG>(status.Geometry.TracksPerCylinder) + status.Head;
  SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(tracks), 0);
  TDriveText drive(status.DriveLetter);
  char numbers[4][kDecimalSize];
  DecimalText(status.Cylinder + 1, numbers[0]);
  DecimalText(status.Head + 1, numbers[1]);
  DecimalText(status.Geometry.Cylinders, numbers[2]);
  DecimalText(status.Geometry.TracksPerCylinder, numbers[3]);
  const char *arguments[] = {drive.Text, numbers[0], numbers[1], numbers[2], numbers[3]};
  char text[kMessageSize];
  FormatMsg(text, sizeof text, kWritingTrack, arguments, 5);
  SetWindowTextA(GetDlgItem(dialog, IDC_STATUS), text);
}

void OnTrackFailed(HWND dialog, TWriteStatus &status, LONG &action) {
  action = kActionStop;
  char cylinder[kDecimalSize], head[kDecimalSize];
  DecimalText(status.Cylinder + 1, cylinder);
  DecimalText(status.Head + 1, head);
  TDriveText drive(status.DriveLetter);
  char error[kErrorTextSize];
  FormatErrorText(status.Error, error);
  const char *arguments[] = {cylinder, head, drive.Text, error};
  switch (ShowMessage(dialog, kTrackFailed, arguments, 4, "Error",
                      MB_ABORTRETRYIGNORE | MB_ICONERROR)) {
    case IDRETRY:
      action = kActionRetry;
      break;
    case IDIGNORE:
      action = kActionContinue;
      break;
    default:
      Program.Cancel = true;
      break;
  }
}

}  // namespace

void WriteEventHandler(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action) {
  HWND dialog = reinterpret_cast<HWND>(userData);
  // Any bit but the toggle bit: the key is held down.
  if (static_cast<WORD>(GetKeyState(VK_ESCAPE)) & 0xFFFE)
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
  PumpMessages();
  Sleep(0);
  if (Program.Cancel) {
    action = kActionStop;
    return;
  }
  switch (event) {
    case kEventDriveReady:
      OnDriveReady(dialog, status, action);
      break;
    case kEventDriveFailed:
      OnDriveFailed(dialog, status, action);
      break;
    case kEventWriteTrack:
      OnWriteTrack(dialog, status);
      break;
    case kEventTrackFailed:
      OnTrackFailed(dialog, status, action);
      break;
  }
}

INT_PTR CALLBACK WriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitWriteDialog(dialog);
      break;
    case WM_USER:
      OnStartWriting(dialog);
      break;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDCANCEL) OnCancel(dialog);
      break;
    case WM_CLOSE:
      OnCloseWriteDialog(dialog);
      break;
  }
  return FALSE;
}
