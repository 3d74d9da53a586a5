// The terminal around the tool: whether stdin and stderr are one, and
// Ctrl-C as a request to stop between tracks.
#ifndef DISKARNO_TOOLS_DISKARNO_CONSOLE_H
#define DISKARNO_TOOLS_DISKARNO_CONSOLE_H

bool StderrIsTerminal();
bool StdinIsTerminal();
// On: Ctrl-C only sets the flag that InterruptRequested reads. Off: Ctrl-C
// ends the process again.
void CatchInterrupt(bool on);
bool InterruptRequested();

#endif
