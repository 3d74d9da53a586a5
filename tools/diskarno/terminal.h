// The system half of the terminal around the tool (linux/terminal.cpp,
// windows/terminal.cpp): whether stdin and stderr
// are one, the signals that ask a run to stop, and reading a typed line.
#ifndef DISKARNO_TOOLS_DISKARNO_TERMINAL_H
#define DISKARNO_TOOLS_DISKARNO_TERMINAL_H

#include <string>

bool StderrIsTerminal();
bool StdinIsTerminal();
// On: SIGINT, SIGTERM and SIGHUP (on Windows Ctrl-C and Ctrl-Break, reported
// as SIGINT) only record their number for StopSignal; a signal the process
// was started ignoring stays ignored. Off: each gets its former action back.
void CatchStopSignals(bool on);
// The number of the last signal recorded, or 0.
int StopSignal();
// Reads one line typed on standard input, without its line break; echo off
// hides what is typed. False at the end of input or when a stop signal came
// meanwhile (the terminal's echo is given back either way).
bool ReadTypedLine(std::string &line, bool echo);

#endif
