// The status line, the stop signals and the questions on the terminal.
#include "terminal_console.h"

#include <cstdio>
#include <cstring>

#include "description_text.h"
#include "terminal.h"

namespace {

class TTerminalConsole : public TToolConsole {
 public:
  void Status(const std::string &text) override {
    if (!StderrIsTerminal()) return;
    // Rewrites the one status line; a shorter text blanks what is left.
    const std::string shown = Printable(text);
    std::string line = "\r" + shown;
    if (shown.size() < shown_) line += std::string(shown_ - shown.size(), ' ') + "\r" + shown;
    shown_ = shown.size();
    fputs(line.c_str(), stderr);
    fflush(stderr);
  }
  void CatchStops(bool on) override { CatchStopSignals(on); }
  int StopRequested() override { return StopSignal(); }
  bool CanAsk() override { return StdinIsTerminal() && StderrIsTerminal(); }
  bool Confirm(const std::string &question) override {
    if (!StdinIsTerminal() || !StderrIsTerminal()) return false;
    fprintf(stderr, "%s Type yes to go on: ", Printable(question).c_str());
    fflush(stderr);
    std::string answer;
    return ReadTypedLine(answer, true) && SaysYes(answer);
  }
  bool AskPassword(const std::string &prompt, std::string &password) override {
    if (!StdinIsTerminal() || !StderrIsTerminal()) return false;
    fputs(Printable(prompt).c_str(), stderr);
    fflush(stderr);
    bool typed = ReadTypedLine(password, false);
    fputs("\n", stderr);
    return typed;
  }

 private:
  size_t shown_ = 0;
};

// At namespace scope: a function-local static would need the thread-safe
// guard, which drags the C++ runtime's exception machinery into the tool.
TTerminalConsole terminalConsole;

}  // namespace

TToolConsole &TerminalConsole() {
  return terminalConsole;
}
