// The tool's console over the process's terminal (console.h).
#ifndef DISKARNO_TOOLS_DISKARNO_TERMINAL_CONSOLE_H
#define DISKARNO_TOOLS_DISKARNO_TERMINAL_CONSOLE_H

#include "console.h"

// The one console of the process: the status line only where standard
// error is a terminal, questions only where standard input is one too.
TToolConsole &TerminalConsole();

#endif
