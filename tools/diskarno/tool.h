// The diskarno command-line tool: pack an image into a program, show a
// package's header, extract the image again with the program's own code.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_H

#include <set>
#include <string>
#include <vector>

#include "tool_console.h"
#include "tool_status.h"

// What a run prints: out goes to standard output, err to standard error,
// both at the end; the status line and the questions reach the console
// while the run goes on.
struct TToolOutput {
  std::string out;
  std::string err;
  // The terminal around the run; none: no status line, no question answered,
  // no stop.
  TToolConsole *console = nullptr;

  TToolConsole &Console() {
    static TToolConsole none;
    return console ? *console : none;
  }
};

// Runs "diskarno ARGUMENTS..." (without the program name) and returns its
// exit code. Starts and stops the error texts the package code needs.
int RunTool(const std::vector<std::string> &arguments, TToolOutput &output);

struct TCommandLine;

// Parses a verb's arguments against its options; --help and --version are
// known to every verb. False when the verb is already done (a usage error,
// its help or its version printed), with its exit code in exitCode.
bool StartVerb(const char *verb, const char *help, const std::vector<std::string> &arguments,
               std::set<std::string> valueOptions, std::set<std::string> switchOptions,
               TCommandLine &line, TToolOutput &output, int &exitCode);

int RunPack(const std::vector<std::string> &arguments, TToolOutput &output);
int RunInfo(const std::vector<std::string> &arguments, TToolOutput &output);
int RunExtract(const std::vector<std::string> &arguments, TToolOutput &output);
int RunRead(const std::vector<std::string> &arguments, TToolOutput &output);
int RunWrite(const std::vector<std::string> &arguments, TToolOutput &output);
int RunVerify(const std::vector<std::string> &arguments, TToolOutput &output);

// Unpacks the image of a program as the program does, password check
// included. False with the text the program would show.
bool UnpackProgram(const std::string &path, const std::string &typedPassword,
                   std::vector<unsigned char> &image, std::string &text);

// Reads a whole disk (A:, B:, a block device) for pack, as read does
// without --keep-going (line gives --force and --quiet). False with the exit
// code and the message in output.
bool ReadDiskForPack(const std::string &drive, const TCommandLine &line, TToolOutput &output,
                     std::vector<unsigned char> &image, int &exitCode);

#endif
