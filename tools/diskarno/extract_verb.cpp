// diskarno extract: the program's own reading path, with the image written
// to a file instead of a disk.
#include "inputs.h"
#include "output_file.h"
#include "package_format.h"
#include "tool_files.h"
#include "verbs.h"

namespace {

struct TExtractOptions : TPasswordOptions {
  std::string out;
};

TVerbSpec<TExtractOptions> ExtractSpec() {
  TVerbSpec<TExtractOptions> spec = {
      "extract",
      "FILE -o IMAGE",
      1,
      "Unpacks the disk image of FILE exactly as the program does and writes it to\n"
      "IMAGE. A package the program would refuse exits with 1.",
      {{"-o", "IMAGE", "the image file to write (a regular file; replaced whole)",
        &TExtractOptions::out}}};
  AddPasswordRows(spec.options, "the password of a protected program (asked for on a\nterminal)");
  return spec;
}

TStatus Extract(const TExtractOptions &options, TToolContext &context) {
  const std::string &path = options.operands[0];
  const std::string &out = options.out;
  if (!options.Given("-o")) return TStatus::Refused("give -o IMAGE (see diskarno extract --help)");
  std::string password;
  bool given = false;
  TStatus status = PasswordOf(PasswordSourceOf(options), password, given);
  if (!status.Ok()) return status;
  for (const std::string &input : {path, options.passwordFile})
    if (!input.empty() && SameFile(input, out))
      return TStatus::Refused("IMAGE would overwrite the input " + input);
  status = CheckInputFile(path);
  if (status.Ok()) status = CheckOutputTarget(out);
  if (!status.Ok()) return status;
  TPackage package;
  if (!OpenPackage(path.c_str(), package) && package.Offset == kNoPackageOffset &&
      GetLastError() != kErrorInvalidImageFile)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  std::vector<BYTE> image;
  status = UnpackProgramImage(path, package, password, given, context.console, image);
  if (!status.Ok()) return status;
  return SaveOutput(out, {{image.data(), image.size()}}, context.console);
}

}  // namespace

int ExtractVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(ExtractSpec(), Extract, arguments, context);
}
