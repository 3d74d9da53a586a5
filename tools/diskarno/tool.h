// The diskarno command-line tool: pack an image into a program, show a
// package's header, extract the image again with the program's own code,
// and read, write and verify whole disks.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_H

#include <string>
#include <vector>

#include "context.h"

// Runs "diskarno ARGUMENTS..." (without the program name) and returns its
// exit code (status.h). Starts and stops the modules the package code and
// the floppy layer need.
int RunTool(const std::vector<std::string> &arguments, TToolOutput &output);

#endif
