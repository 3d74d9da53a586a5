// The diskarno command-line tool: pack an image into a program, show a
// package's header, extract the image again with the program's own code,
// and read, write and verify whole disks.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_H

#include <string>
#include <vector>

#include "device_environment.h"
#include "tool_console.h"
#include "tool_status.h"

// What a run prints and what it works with: out goes to standard output, err
// to standard error, both at the end; the status line and the questions
// reach the console while the run goes on.
struct TToolOutput {
  std::string out;
  std::string err;
  // The terminal around the run; none: no status line, no question answered,
  // no stop.
  TToolConsole *console = nullptr;
  // Where block devices are judged; none: the machine's own.
  const TDeviceEnvironment *devices = nullptr;
};

// Runs "diskarno ARGUMENTS..." (without the program name) and returns its
// exit code (tool_status.h). Starts and stops the modules the package code
// and the floppy layer need.
int RunTool(const std::vector<std::string> &arguments, TToolOutput &output);

#endif
