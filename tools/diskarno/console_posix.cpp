// The terminal on Linux: isatty, and SIGINT caught into a flag.
#include <signal.h>
#include <unistd.h>

#include "console.h"

namespace {

volatile sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) {
  interruptRequested = 1;
}

}  // namespace

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}
bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

void CatchInterrupt(bool on) {
  struct sigaction action = {};
  action.sa_handler = on ? OnInterrupt : SIG_DFL;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;  // a track's read or write is not cut short
  sigaction(SIGINT, &action, nullptr);
}

bool InterruptRequested() {
  return interruptRequested != 0;
}
