// The writing dialog "DLGWRITE": runs the disk image writer, shows its
// progress and answers its events.
#ifndef DISKARNO_APP_WRITE_DIALOG_H
#define DISKARNO_APP_WRITE_DIALOG_H

#include <windows.h>

#include "image_writer.h"

INT_PTR CALLBACK WriteDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The writer's callback; userData is the writing dialog's window. Keeps the
// dialogs alive by pumping the thread's messages once per event, and sets
// the action from the cancel flag and the user's answers.
void WriteEventHandler(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action);

#endif
