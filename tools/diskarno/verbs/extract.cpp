// diskarno extract: the program's own reading path, with the image written
// to a file instead of a disk.
#include "files.h"
#include "outputs.h"
#include "package_format.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TExtractOptions : TPasswordOptions {
  std::string out;
  bool force = false;
};

TVerbSpec<TExtractOptions> ExtractSpec() {
  TVerbSpec<TExtractOptions> spec = {
      "extract",
      "FILE -o IMAGE",
      1,
      "Unpacks the disk image of FILE exactly as the program does and writes it to\n"
      "IMAGE. A package the program would refuse exits with 1.",
      {OutRow("IMAGE", &TExtractOptions::out)}};
  AddPasswordRows(spec.options);
  spec.options.push_back(ForceRow(&TExtractOptions::force));
  return spec;
}

TStatus Extract(const TExtractOptions &options, TToolContext &context) {
  const std::string &path = options.operands[0];
  const std::string &out = options.out;
  std::string password;
  TStatus status = PasswordOf(options.Source(), password);
  if (!status.Ok()) return status;
  for (const std::string &input : {path, options.passwordFile})
    if (!input.empty() && SameFile(input, out))
      return TStatus::Refused("IMAGE would overwrite the input " + input);
  status = CheckInputFile(path);
  if (status.Ok()) status = CheckOutputTarget(out, options.force);
  if (!status.Ok()) return status;
  TPackage package;
  if (!OpenPackage(path.c_str(), package) && package.Offset == kNoPackageOffset &&
      GetLastError() != kErrorInvalidImageFile)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  std::vector<BYTE> image;
  status = UnpackProgramImage(path, package, password, context.console, image);
  if (!status.Ok()) return status;
  return SaveOutput(out, {{image.data(), image.size()}}, context.console, options.force);
}

}  // namespace

int ExtractVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(ExtractSpec(), Extract, arguments, context);
}
