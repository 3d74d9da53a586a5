// The main dialog and its checks before writing.
#include "main_dialog.h"

#include <cstring>
#include <string>

#include "app_errors.h"
#include "image_unpacker.h"
#include "medium_query.h"
#include "package_format.h"
#include "program_state.h"
#include "resource.h"
#include "utils.h"
#include "write_dialog.h"

namespace {

const char kVersionText[] = "11-24-2004";
const char kAboutCaption[] = "About (version &)";
const char kAboutText[] =
    "Made with diskarno pack, part of Diskarno SFX.\r\n"
    "Copyright (C) 2026 the Diskarno developers\r\n"
    "\r\n"
    "This software contains cryptographic algorithms. If the usage of those\r\n"
    "algorithms is not permitted in your country, you must not use\r\n"
    "this software!\r\n"
    "\r\n"
    "zlib compression library (C) 1995-2024 Jean-loup Gailly and Mark Adler";

const char kInvalidPassword[] = "Invalid password";
const char kFilesOnDisk[] = "There seem to be some files on the floppy disk.\r\nOverwrite them ?";
const char kDriveNotReady[] = "Drive &: is not ready.";
const char kOtherDiskType[] =
    "This file has been created for a different floppy disk type.\r\n"
    "Do you still want to write the disk ?";
const char kUnpackedCaption[] = "Create a disk";

// A 3.5-inch 120 MB drive takes a 1.44 MB disk.
constexpr int64_t kCapacity120M = 126222336;
constexpr LONG kImageSize1Pt44 = 1474560;

// Texts of controls are read into 256 characters with a count of 255, so at
// most 254 characters arrive.
constexpr int kTextCount = 255;

void ShowError(HWND dialog, const char *text) {
  MessageBoxA(dialog, text, "Error", MB_OK | MB_ICONERROR);
}

// One drive as an item of the box, its letter as the item's data.
void AddDrive(void *context, const char *name, char letter) {
  HWND dialog = static_cast<HWND>(context);
  LRESULT index =
      SendDlgItemMessageA(dialog, IDC_DRIVE, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name));
  SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETITEMDATA, static_cast<WPARAM>(index),
                      static_cast<BYTE>(letter));
}

void FillDriveBox(HWND dialog) {
  ListRemovableDrives(AddDrive, dialog);
  if (SendDlgItemMessageA(dialog, IDC_DRIVE, CB_GETCOUNT, 0, 0) <= 0) return;
  SendDlgItemMessageA(dialog, IDC_DRIVE, CB_SETCURSEL, 0, 0);
  EnableWindow(GetDlgItem(dialog, IDC_WRITE_DISK), TRUE);
}

void PreparePasswordField(HWND dialog) {
  if (!Program.Protected) {
    DestroyWindow(GetDlgItem(dialog, IDC_PASSWORD));
    DestroyWindow(GetDlgItem(dialog, IDC_PASSWORD_LABEL));
  } else {
    SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
  }
}

void ShowDescription(HWND dialog) {
  HWND control = GetDlgItem(dialog, IDC_DESCRIPTION);
  char text[256] = {};
  GetWindowTextA(control, text, kTextCount);
  if (!text[0]) return;
  const char *arguments[] = {Program.Description.c_str()};
  char message[kMessageSize];
  FormatMsg(message, sizeof message, text, arguments, 1);
  SetWindowTextA(control, message);
}

void OnInitMainDialog(HWND dialog) {
  CenterWindow(dialog);
  FillDriveBox(dialog);
  PreparePasswordField(dialog);
  ShowDescription(dialog);
}

void ShowAbout(HWND dialog) {
  const char *arguments[] = {kVersionText};
  char caption[64];
  FormatMsg(caption, sizeof caption, kAboutCaption, arguments, 1);
  MessageBoxA(dialog, kAboutText, caption, MB_OK | MB_ICONINFORMATION);
}

// Reads the typed password into text (kTextCount + 1 bytes) and its length;
// false after telling the user that it is wrong, with text wiped. A package
// that needs no password (PasswordNeeded) takes none: length is 0.
bool ReadPassword(HWND dialog, char *text, int &length) {
  length = 0;
  if (!PasswordNeeded(Program.Protected, Program.PasswordCheck)) return true;
  length = GetWindowTextA(GetDlgItem(dialog, IDC_PASSWORD), text, kTextCount);
  if (length < 0) length = 0;
  if (PasswordMatches(Program.PasswordCheck, TPasswordText(text, static_cast<size_t>(length))))
    return true;
  memset(text, 0, kTextCount + 1);
  length = 0;
  ShowError(dialog, kInvalidPassword);
  SendDlgItemMessageA(dialog, IDC_PASSWORD, EM_SETSEL, 0, -1);
  SetFocus(GetDlgItem(dialog, IDC_PASSWORD));
  return false;
}

// Stores the selected drive's letter; true only for A and B. With no
// selection the item data reads -1, whose low byte is no letter.
bool SelectDrive(HWND dialog) {
  LRESULT index = SendDlgItemMessageA(dialog, IDC_DRIVE, CB_GETCURSEL, 0, 0);
  LRESULT data =
      SendDlgItemMessageA(dialog, IDC_DRIVE, CB_GETITEMDATA, static_cast<WPARAM>(index), 0);
  char letter = static_cast<char>(data & 0xFF);
  if (letter >= 'a' && letter <= 'z') letter = static_cast<char>(letter - 'a' + 'A');
  Program.DriveLetter = letter;
  return letter == 'A' || letter == 'B';
}

bool ConfirmOverwrite(HWND dialog) {
  char pattern[] = "?:\\*.*";
  pattern[0] = Program.DriveLetter;
  if (!DiskHasFiles(pattern)) return true;
  return MessageBoxA(dialog, kFilesOnDisk, "Confirmation", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool CheckMedium(HWND dialog) {
  std::string label;
  bool present = false;
  if (QueryMedium(Program.DriveLetter, label, Program.Capacity, present, Program.Geometry) &&
      present)
    return true;
  TDriveText drive(Program.DriveLetter);
  const char *arguments[] = {drive.Text};
  char message[kMessageSize];
  FormatMsg(message, sizeof message, kDriveNotReady, arguments, 1);
  ShowError(dialog, message);
  return false;
}

bool ConfirmDiskType(HWND dialog) {
  bool fits = static_cast<int64_t>(Program.ImageSize) == Program.Capacity ||
              (Program.Capacity == kCapacity120M && Program.ImageSize == kImageSize1Pt44);
  if (fits) return true;
  return MessageBoxA(dialog, kOtherDiskType, "Warning", MB_YESNO | MB_ICONWARNING) == IDYES;
}

// The caption shows the unpacker's stages and then "Create a disk",
// whatever the outcome.
bool Unpack(HWND dialog, TPasswordText password) {
  BYTE *image = nullptr;
  bool loaded = LoadImage(password, image, Program.ImageSize, SetCaptionText,
                          reinterpret_cast<ULONG_PTR>(dialog));
  DWORD error = GetLastError();
  SetWindowTextA(dialog, kUnpackedCaption);
  if (!loaded) {
    char text[kErrorTextSize];
    FormatErrorText(error, text);
    ShowError(dialog, text);
    return false;
  }
  Program.Image = image;
  return true;
}

void WriteUnpackedImage(HWND dialog) {
  Program.Cancel = false;
  DialogBoxParamA(Program.Instance, "DLGWRITE", dialog, WriteDialogProc, 0);
  ReleaseImage();
}

void OnWriteDisk(HWND dialog) {
  char password[kTextCount + 1] = {};
  int length = 0;
  bool unpacked = ReadPassword(dialog, password, length) && SelectDrive(dialog) &&
                  ConfirmOverwrite(dialog) && CheckMedium(dialog) && ConfirmDiskType(dialog) &&
                  Unpack(dialog, TPasswordText(password, static_cast<size_t>(length)));
  // The password is needed no longer than the unpacking.
  memset(password, 0, sizeof password);
  if (unpacked) WriteUnpackedImage(dialog);
}

void OnMainCommand(HWND dialog, WORD id) {
  switch (id) {
    case IDC_WRITE_DISK:
      OnWriteDisk(dialog);
      break;
    case IDC_CLOSE:
      PostMessageA(dialog, WM_CLOSE, 0, 0);
      break;
    case IDC_ABOUT:
      ShowAbout(dialog);
      break;
  }
}

}  // namespace

void CenterWindow(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return;
  int width = rect.right - rect.left;
  int height = rect.bottom - rect.top;
  int left = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
  int top = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
  SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void SetCaptionText(ULONG_PTR context, const char *text) {
  SetWindowTextA(reinterpret_cast<HWND>(context), text);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      OnInitMainDialog(dialog);
      break;
    case WM_COMMAND:
      OnMainCommand(dialog, LOWORD(wParam));
      break;
    case WM_CLOSE:
      EndDialog(dialog, 0);
      break;
  }
  return FALSE;
}
