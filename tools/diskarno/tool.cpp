// The tool's verbs and the modules they need.
#include "tool.h"

#include "app_errors.h"
#include "image_unpacker.h"
#include "modules.h"
#include "rc4.h"

namespace {

const char kToolHelp[] =
    "Usage: diskarno pack IMAGE -o OUT [options]   make a program that writes IMAGE\n"
    "       diskarno info FILE [--json]            show the package in FILE\n"
    "       diskarno extract FILE -o IMAGE         unpack the image of FILE\n"
    "       diskarno VERB --help                   the options of a verb\n"
    "\n"
    "Exit codes: 0 done, 1 no package or a corrupt one, 2 bad arguments or inputs.\n";

const TModule kModules[] = {
    {"app_errors", AppErrorsStartup, AppErrorsShutdown},
    {"inflate", InflateStartup, nullptr},
    {"rc4", Rc4Startup, nullptr},
    {"image file", ImageFileStartup, nullptr},
};
constexpr size_t kModuleCount = sizeof kModules / sizeof kModules[0];

int RunVerb(const std::vector<std::string> &arguments, TToolOutput &output) {
  if (arguments.empty()) {
    output.err += kToolHelp;
    return kExitUsage;
  }
  const std::string &verb = arguments[0];
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (verb == "pack") return RunPack(rest, output);
  if (verb == "info") return RunInfo(rest, output);
  if (verb == "extract") return RunExtract(rest, output);
  if (verb == "--help" || verb == "-h") {
    output.out += kToolHelp;
    return kExitSuccess;
  }
  if (verb == "--version") {
    output.out += "diskarno 1.0.0\n";
    return kExitSuccess;
  }
  output.err += "diskarno: unknown verb " + verb + "\n" + kToolHelp;
  return kExitUsage;
}

}  // namespace

int RunTool(const std::vector<std::string> &arguments, TToolOutput &output) {
  StartModules(kModules, kModuleCount);
  int code = RunVerb(arguments, output);
  StopModules(kModules, kModuleCount);
  return code;
}
