// The console on Windows: a console handle, and Ctrl-C or Ctrl-Break
// caught into a flag (the handler runs on a thread of its own).
#include <windows.h>

#include "console.h"

namespace {

volatile LONG interruptRequested = 0;

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&interruptRequested, 1);
  return TRUE;
}

bool IsConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != FALSE;
}

}  // namespace

bool StderrIsTerminal() {
  return IsConsole(STD_ERROR_HANDLE);
}
bool StdinIsTerminal() {
  return IsConsole(STD_INPUT_HANDLE);
}

void CatchInterrupt(bool on) {
  SetConsoleCtrlHandler(OnControl, on ? TRUE : FALSE);
}

bool InterruptRequested() {
  // An aligned 32-bit read is atomic on every x86; the 386 has no CMPXCHG.
  return interruptRequested != 0;
}
