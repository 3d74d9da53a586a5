// What a verb and the shared work it calls have at hand during a run: where
// the results go, and the terminal around the run.
#ifndef DISKARNO_TOOLS_DISKARNO_CONTEXT_H
#define DISKARNO_TOOLS_DISKARNO_CONTEXT_H

#include <string>

#include "console.h"
#include "description_text.h"

// What a run prints: out goes to standard output, err to standard error,
// both at the end; the status line and the questions reach the console
// while the run goes on.
struct TToolOutput {
  std::string out;
  std::string err;
  // The terminal around the run; none: no status line, no question answered,
  // no stop.
  TToolConsole *console = nullptr;
};

struct TToolContext {
  const char *verb;  // "pack"
  TToolOutput &output;
  TToolConsole &console;

  // One line on standard error besides the verb's outcome:
  // "diskarno VERB: TEXT". The names in it are shown Printable.
  void Say(const std::string &text) {
    output.err += std::string("diskarno ") + verb + ": " + Printable(text) + "\n";
  }
  // One line of the verb's result on standard output, shown Printable.
  void Tell(const std::string &text) { output.out += Printable(text) + "\n"; }
};

#endif
