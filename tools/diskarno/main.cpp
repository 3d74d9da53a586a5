// diskarno: the command-line entry.
#include <cstdio>

#include "tool.h"

int main(int argc, char **argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  TToolOutput output;
  int code = RunTool(arguments, output);
  fputs(output.out.c_str(), stdout);
  fputs(output.err.c_str(), stderr);
  return code;
}
