// The tool's verbs and the modules they need.
#include "tool.h"

#include "command_line.h"
#include "disk_access.h"
#include "heap.h"
#include "image_unpacker.h"
#include "package_modules.h"
#include "tool_files.h"

namespace {

const char kToolHelp[] =
    "Usage: diskarno pack IMAGE -o OUT [options]   make a program that writes IMAGE\n"
    "       diskarno info FILE [--json]            show the package in FILE\n"
    "       diskarno extract FILE -o IMAGE         unpack the image of FILE\n"
    "       diskarno read DRIVE -o IMAGE           read a whole disk into IMAGE\n"
    "       diskarno write FILE DRIVE [--verify]   write a program's or an image's disk\n"
    "       diskarno verify FILE DRIVE             compare a disk with FILE's image\n"
    "       diskarno VERB --help                   the options of a verb\n"
    "\n"
    "DRIVE is A: or B: on Windows; on Linux a block device or an image file.\n"
    "Exit codes: 0 done, 1 failure (no package or a corrupt one, a bad track, a\n"
    "difference, a failed write), 2 bad arguments or inputs (nothing written),\n"
    "130 interrupted.\n";

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
  if (verb == "read") return RunRead(rest, output);
  if (verb == "write") return RunWrite(rest, output);
  if (verb == "verify") return RunVerify(rest, output);
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

bool StartVerb(const char *verb, const char *help, const std::vector<std::string> &arguments,
               std::set<std::string> valueOptions, std::set<std::string> switchOptions,
               TCommandLine &line, TToolOutput &output, int &exitCode) {
  switchOptions.insert({"--help", "--version"});
  std::string message;
  if (!ParseCommandLine(arguments, valueOptions, switchOptions, line, message)) {
    output.err += std::string("diskarno ") + verb + ": " + message + "\n";
    exitCode = kExitUsage;
    return false;
  }
  if (line.Has("--help")) {
    output.out += help;
    exitCode = kExitSuccess;
    return false;
  }
  if (line.Has("--version")) {
    output.out += std::string("diskarno ") + verb + " 1.0.0\n";
    exitCode = kExitSuccess;
    return false;
  }
  return true;
}

int RunTool(const std::vector<std::string> &arguments, TToolOutput &output) {
  StartModules(kPackageModules, kPackageModuleCount);
  DiskModulesStartup();
  int code = RunVerb(arguments, output);
  DiskModulesShutdown();
  StopModules(kPackageModules, kPackageModuleCount);
  return code;
}

bool UnpackProgramImage(TPackage &package, const std::string &typedPassword,
                        std::vector<unsigned char> &image, std::string &text) {
  BYTE *unpacked = nullptr;
  LONG size = 0;
  switch (UnpackProgram(package, typedPassword, unpacked, size)) {
    case TUnpackResult::Unpacked:
      image.assign(unpacked, unpacked + size);
      HeapRelease(unpacked);
      return true;
    case TUnpackResult::Unusable:
      text = "Corrupted file contents, please try to download again.";
      return false;
    case TUnpackResult::WrongPassword:
      text = "Invalid password";
      return false;
    default:
      text = FailureText(GetLastError());
      return false;
  }
}
