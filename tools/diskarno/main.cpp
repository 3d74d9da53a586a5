// diskarno: the command-line entry. The status line and the questions go to
// the terminal only; everything else is printed when the verb is done.
#include <cstdio>
#include <cstring>

#include "console.h"
#include "tool.h"

namespace {

// Rewrites the one status line on stderr; an empty text clears it.
void ShowStatus(const std::string &text) {
  static size_t shown = 0;
  std::string line = "\r" + text;
  if (text.size() < shown) line += std::string(shown - text.size(), ' ') + "\r" + text;
  shown = text.size();
  fputs(line.c_str(), stderr);
  fflush(stderr);
}

bool AskYes(const std::string &question) {
  fprintf(stderr, "%s Type yes to go on: ", question.c_str());
  fflush(stderr);
  char answer[64];
  if (!fgets(answer, sizeof answer, stdin)) return false;
  answer[strcspn(answer, "\r\n")] = '\0';
  return strcmp(answer, "yes") == 0;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  TToolOutput output;
  output.interrupted = InterruptRequested;
  output.catchInterrupt = CatchInterrupt;
  if (StderrIsTerminal()) output.status = ShowStatus;
  if (StdinIsTerminal() && StderrIsTerminal()) output.confirm = AskYes;
  int code = RunTool(arguments, output);
  fputs(output.out.c_str(), stdout);
  fputs(output.err.c_str(), stderr);
  return code;
}
