// The console on Windows: a console handle, Ctrl-C or Ctrl-Break caught into
// a flag (the handler runs on a thread of its own), and a line read with the
// console's echo turned off for passwords.
#include <windows.h>

#include <cstdio>

#include "terminal.h"

namespace {

constexpr LONG kInterruptSignal = 2;  // what Linux calls SIGINT

volatile LONG stopSignal = 0;

BOOL WINAPI OnControl(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT) return FALSE;
  InterlockedExchange(&stopSignal, kInterruptSignal);
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

void CatchStopSignals(bool on) {
  SetConsoleCtrlHandler(OnControl, on ? TRUE : FALSE);
}

int StopSignal() {
  // An aligned 32-bit read is atomic on every x86; the 386 has no CMPXCHG.
  return static_cast<int>(stopSignal);
}

bool ReadTypedLine(std::string &line, bool echo) {
  line.clear();
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD former = 0;
  const bool hide = !echo && GetConsoleMode(input, &former);
  if (hide) SetConsoleMode(input, former & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  char buffer[512];
  bool complete = fgets(buffer, sizeof buffer, stdin) != nullptr;
  if (hide) SetConsoleMode(input, former);
  if (!complete) return false;
  line = buffer;
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return stopSignal == 0;
}
