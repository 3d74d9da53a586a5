// The program's entry: module start-up, the package header, the main dialog.
#ifndef DISKARNO_APP_STARTUP_H
#define DISKARNO_APP_STARTUP_H

#include <windows.h>

constexpr int kExitCorruptPackage = 1;

// Runs the whole program and returns its exit code: 0 after the main dialog
// has closed, 1 for a corrupt package (after telling the user). Every
// module's shutdown step has run when it returns.
int ProgramMain(HINSTANCE instance);

#endif
