// The verb table, the tool's help, and the one printer.
#include "tool.h"

#include <errno.h>

#include <cstring>

#include "disk.h"
#include "package_modules.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TVerb {
  const char *name;
  const char *usage;  // the line in the tool's help
  int (*run)(const std::vector<std::string> &arguments, TToolContext &context);
};

const TVerb kVerbs[] = {
    {"pack", "pack IMAGE -o OUT [options]   make a program that writes IMAGE", PackVerb},
    {"info", "info FILE [--json]            show the package in FILE", InfoVerb},
    {"extract", "extract FILE -o IMAGE         unpack the image of FILE", ExtractVerb},
    {"read", "read DRIVE -o IMAGE           read a whole disk into IMAGE", ReadVerb},
    {"write", "write FILE DRIVE [--verify]   write a program's or an image's disk", WriteVerb},
    {"verify", "verify FILE DRIVE             compare a disk with FILE's image", VerifyVerb},
    {"format", "format DRIVE [--capacity KB]  format a disk, with an empty FAT", FormatVerb},
};

std::string ToolHelp() {
  std::string help;
  for (const TVerb &verb : kVerbs)
    help += std::string(help.empty() ? "Usage: diskarno " : "       diskarno ") + verb.usage + "\n";
  return help +
         "       diskarno VERB --help                   the options of a verb\n"
         "\n"
         "DRIVE is A: or B: on Windows; on Linux a block device or an image file.\n"
         "Exit codes: 0 done; 1 the work ran and failed (a corrupt package, a wrong\n"
         "password, a bad track, a difference, a failed write); 2 refused before\n"
         "anything changed (usage, a missing input, an unsafe target, a limit);\n"
         "128+n stopped by signal n (130 Ctrl-C, 143 SIGTERM, 129 SIGHUP).\n";
}

int RunVerbNamed(const std::vector<std::string> &arguments, TToolOutput &output,
                 TToolConsole &console) {
  const std::string verb = arguments.empty() ? "" : arguments[0];
  for (const TVerb &entry : kVerbs) {
    if (verb != entry.name) continue;
    TToolContext context = {entry.name, output, console};
    return entry.run(std::vector<std::string>(arguments.begin() + 1, arguments.end()), context);
  }
  if (verb == "--help" || verb == "-h") {
    output.out += ToolHelp();
    return kExitSuccess;
  }
  if (verb == "--version") {
    output.out += std::string("diskarno ") + kToolVersion + "\n";
    return kExitSuccess;
  }
  output.err +=
      (verb.empty() ? "" : "diskarno: unknown verb " + Printable(verb) + "\n") + ToolHelp();
  return kExitUsage;
}

}  // namespace

int Report(TToolContext &context, const TStatus &status) {
  if (!status.Ok()) context.Say(status.message);
  return status.exitCode;
}

int PrintOutput(const TToolOutput &output, int code, FILE *out, FILE *err) {
  errno = 0;
  bool written = fputs(output.out.c_str(), out) >= 0;
  written = fflush(out) == 0 && written;
  int error = errno;
  // A stream closed before the run fails only with something to take.
  if (fclose(out) != 0 && (!output.out.empty() || errno != EBADF)) {
    written = false;
    error = errno;
  }
  std::string messages = output.err;
  if (!written) {
    messages += std::string("diskarno: can't write the output: ") +
                (error ? strerror(error) : "the stream failed") + "\n";
    if (code == kExitSuccess) code = kExitFailure;
  }
  fputs(messages.c_str(), err);
  fflush(err);
  return code;
}

int RunTool(const std::vector<std::string> &arguments, TToolOutput &output) {
  TToolConsole noConsole;
  StartModules(kPackageModules, kPackageModuleCount);
  DiskModulesStartup();
  int code = RunVerbNamed(arguments, output, output.console ? *output.console : noConsole);
  DiskModulesShutdown();
  StopModules(kPackageModules, kPackageModuleCount);
  return code;
}
