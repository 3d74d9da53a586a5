// diskarno: the command-line entry. The status line and the questions go to
// the terminal only; everything else is printed when the verb is done.
#include "terminal_console.h"
#include "tool.h"

int main(int argc, char **argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  TToolOutput output;
  output.console = &TerminalConsole();
  int code = RunTool(arguments, output);
  return PrintOutput(output, code, stdout, stderr);
}
