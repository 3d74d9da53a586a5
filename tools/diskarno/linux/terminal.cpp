// The terminal on Linux: isatty, stop signals caught into a number, and a
// line read with the echo turned off for passwords.
#include <errno.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include "terminal.h"

namespace {

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kStopSignalCount = 3;

volatile sig_atomic_t stopSignal = 0;
struct sigaction formerActions[kStopSignalCount];
bool caught[kStopSignalCount];

void OnStopSignal(int number) {
  stopSignal = number;
}

// Catches the stop signals; restart says whether a read or write the signal
// cuts into goes on (a track's transfer) or fails with EINTR (a prompt).
void Catch(bool on, bool restart) {
  for (int n = 0; n < kStopSignalCount; ++n) {
    if (!on) {
      if (caught[n]) sigaction(kStopSignals[n], &formerActions[n], nullptr);
      caught[n] = false;
      continue;
    }
    struct sigaction former;
    if (sigaction(kStopSignals[n], nullptr, &former) != 0 || former.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = restart ? SA_RESTART : 0;
    if (!caught[n]) formerActions[n] = former;
    if (sigaction(kStopSignals[n], &action, nullptr) == 0) caught[n] = true;
  }
}

}  // namespace

bool StderrIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}
bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) == 1;
}

void CatchStopSignals(bool on) {
  Catch(on, true);
}

int StopSignal() {
  return stopSignal;
}

bool ReadTypedLine(std::string &line, bool echo) {
  line.clear();
  struct termios former;
  const bool hide = !echo && tcgetattr(STDIN_FILENO, &former) == 0;
  if (hide) {
    struct termios quiet = former;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  bool wasCaught = caught[0];
  Catch(true, false);
  bool complete = false;
  for (;;) {
    char c = 0;
    ssize_t got = read(STDIN_FILENO, &c, 1);
    if (got < 0 && errno == EINTR && stopSignal == 0) continue;
    if (got <= 0) break;
    if (c == '\n') {
      complete = true;
      break;
    }
    line += c;
  }
  Catch(wasCaught, true);
  if (hide) tcsetattr(STDIN_FILENO, TCSAFLUSH, &former);
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return complete || (!line.empty() && stopSignal == 0);
}
