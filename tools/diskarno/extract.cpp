// diskarno extract: the program's own reading path, with the image written
// to a file instead of a disk.
#include "command_line.h"
#include "package_format.h"
#include "tool.h"
#include "tool_files.h"

namespace {

const char kExtractHelp[] =
    "Usage: diskarno extract FILE -o IMAGE [--password TEXT | --password-file PATH]\n"
    "\n"
    "Unpacks the disk image of FILE exactly as the program does and writes it to\n"
    "IMAGE. A failure prints the text the program would show and exits with 1.\n";

int Fail(TToolOutput &output, const std::string &text) {
  output.err += text + "\n";
  return kExitFailure;
}

}  // namespace

int RunExtract(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("extract", kExtractHelp, arguments, {"-o", "--password", "--password-file"}, {},
                 line, output, code))
    return code;
  if (line.positional.size() != 1 || !line.Has("-o")) {
    output.err += "diskarno extract: give one FILE and -o IMAGE (see diskarno extract --help)\n";
    return kExitUsage;
  }
  const std::string path = line.positional[0];
  const std::string outPath = line.Value("-o");
  std::string typed;
  bool given = false;
  std::string message;
  if (!PasswordOption(line, typed, given, message)) {
    output.err += "diskarno extract: " + message + "\n";
    return kExitUsage;
  }
  for (const std::string &input : {path, line.Value("--password-file")})
    if (!input.empty() && SameFile(input, outPath)) {
      output.err += "diskarno extract: IMAGE would overwrite the input " + input + "\n";
      return kExitUsage;
    }

  std::vector<BYTE> image;
  std::string text;
  TPackage package;
  OpenPackage(path.c_str(), package);
  if (!UnpackProgramImage(package, typed, image, text)) return Fail(output, text);
  if (!WriteFileWhole(outPath, {{image.data(), image.size()}}))
    return Fail(output,
                "diskarno extract: can't write " + outPath + ": " + FailureText(GetLastError()));
  return kExitSuccess;
}
