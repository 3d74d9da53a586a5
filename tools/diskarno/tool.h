// The diskarno command-line tool: pack an image into a program, show a
// package's header, extract the image again with the program's own code,
// and read, write and verify whole disks.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_H

#include <cstdio>
#include <string>
#include <vector>

#include "context.h"

// Runs "diskarno ARGUMENTS..." (without the program name) and returns its
// exit code (status.h). Starts and stops the modules the package code and
// the floppy layer need.
int RunTool(const std::vector<std::string> &arguments, TToolOutput &output);

// Prints what a run made: its output on out, which is then closed, and its
// messages on err. An output that can't be written whole (a full disk, a
// closed stream) is said on err, and a run that succeeded exits with 1;
// returns the exit code.
int PrintOutput(const TToolOutput &output, int code, FILE *out, FILE *err);

#endif
