// The diskarno command-line tool: pack an image into a program, show a
// package's header, extract the image again with the program's own code.
#ifndef DISKARNO_TOOLS_DISKARNO_TOOL_H
#define DISKARNO_TOOLS_DISKARNO_TOOL_H

#include <set>
#include <string>
#include <vector>

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // no package, a corrupt one, a failed write
constexpr int kExitUsage = 2;    // bad arguments or inputs; nothing written

// What a run prints: out goes to standard output, err to standard error.
struct TToolOutput {
  std::string out;
  std::string err;
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

#endif
