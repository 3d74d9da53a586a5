// The main dialog "MAINDIALOG": names the disk, takes the drive and the
// password, and runs the checks before a disk is written.
#ifndef DISKARNO_APP_MAIN_DIALOG_H
#define DISKARNO_APP_MAIN_DIALOG_H

#include <windows.h>

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Moves a window to the middle of the primary screen, keeping its size.
void CenterWindow(HWND window);

// The stage procedure of the unpacker: shows the text as the caption of the
// window passed as the context.
void SetCaptionText(ULONG_PTR context, const char *text);

#endif
