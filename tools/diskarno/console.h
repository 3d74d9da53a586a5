// What the tool asks of the terminal around it: the live status line, the
// signals that ask it to stop, and the questions only a user can answer. The
// real one is the process's terminal (terminal_console.h over the
// platform's terminal.h); tests give their own.
#ifndef DISKARNO_TOOLS_DISKARNO_CONSOLE_H
#define DISKARNO_TOOLS_DISKARNO_CONSOLE_H

#include <string>

class TToolConsole {
 public:
  virtual ~TToolConsole() = default;
  // Shows the live status line ("Writing track 37/160, 23 %"); an empty text
  // clears it. Nothing where standard error is no terminal.
  virtual void Status(const std::string &) {}
  // On: SIGINT, SIGTERM and SIGHUP (Ctrl-C, Ctrl-Break) only ask the work to
  // stop at its next safe point. Off: they end the process as usual.
  virtual void CatchStops(bool) {}
  // The number of the signal that asked to stop, or 0.
  virtual int StopRequested() { return 0; }
  // Asks the question and takes "yes" in any case; false where nobody can
  // answer.
  virtual bool Confirm(const std::string &) { return false; }
  // Whether a user is there to answer a question or type a password.
  virtual bool CanAsk() { return false; }
  // Reads a password without echo; false where nobody can type one, or
  // when the input ended before a line was typed (Ctrl-D).
  virtual bool AskPassword(const std::string &, std::string &) { return false; }
};

// Whether a typed answer is "yes": any case, blanks around it ignored.
inline bool SaysYes(std::string answer) {
  while (!answer.empty() && (answer.back() == ' ' || answer.back() == '\t')) answer.pop_back();
  size_t first = answer.find_first_not_of(" \t");
  answer = first == std::string::npos ? "" : answer.substr(first);
  if (answer.size() != 3) return false;
  for (char &c : answer)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return answer == "yes";
}

// Keeps stops caught for its lifetime.
class TCaughtStops {
 public:
  explicit TCaughtStops(TToolConsole &console) : console_(console) { console_.CatchStops(true); }
  ~TCaughtStops() { console_.CatchStops(false); }
  TCaughtStops(const TCaughtStops &) = delete;
  TCaughtStops &operator=(const TCaughtStops &) = delete;

 private:
  TToolConsole &console_;
};

// "SIGINT", "SIGTERM", "SIGHUP" (their numbers on Linux; Windows reports
// Ctrl-C and Ctrl-Break as SIGINT), else "signal N".
inline std::string SignalName(int signal) {
  switch (signal) {
    case 1:
      return "SIGHUP";
    case 2:
      return "SIGINT";
    case 15:
      return "SIGTERM";
  }
  return "signal " + std::to_string(signal);
}

#endif
