// diskarno extract: the program's own reading path, with the image written
// to a file instead of a disk.
#include "command_line.h"
#include "heap.h"
#include "image_unpacker.h"
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
  if (typed.size() > kLargestPassword) {
    output.err += "diskarno extract: the program takes at most 254 password characters\n";
    return kExitUsage;
  }
  for (const std::string &input : {path, line.Value("--password-file")})
    if (!input.empty() && SameFile(input, outPath)) {
      output.err += "diskarno extract: IMAGE would overwrite the input " + input + "\n";
      return kExitUsage;
    }

  std::vector<BYTE> image;
  std::string text;
  if (!UnpackProgram(path, typed, image, text)) return Fail(output, text);
  if (!WriteFileWhole(outPath, {{image.data(), image.size()}}))
    return Fail(output,
                "diskarno extract: can't write " + outPath + ": " + FailureText(GetLastError()));
  return kExitSuccess;
}

bool UnpackProgram(const std::string &path, const std::string &typedPassword,
                   std::vector<BYTE> &image, std::string &text) {
  // Start-up: a package the program would call corrupt.
  std::string description;
  DWORD passwordCheck = 0;
  DWORD packageOffset = 0;
  TMediaType mediaType = kMediaUnknown;
  LONG imageSize = -1;
  bool isProtected = ReadPackageHeaderOfFile(path.c_str(), description, passwordCheck,
                                             packageOffset, mediaType, imageSize);
  if (packageOffset == kNoPackageOffset || mediaType == kMediaUnknown || imageSize == -1) {
    text = "Corrupted file contents, please try to download again.";
    return false;
  }
  // "Write disk": the password is tested only when the package has a check.
  std::string password;
  if (isProtected && passwordCheck != 0) {
    if (PasswordCheckOf(typedPassword) != passwordCheck) {
      text = "Invalid password";
      return false;
    }
    password = typedPassword;
  }
  BYTE *unpacked = nullptr;
  if (!LoadImageOfFile(path.c_str(), password, unpacked, imageSize, nullptr, 0)) {
    text = FailureText(GetLastError());
    return false;
  }
  image.assign(unpacked, unpacked + imageSize);
  HeapRelease(unpacked);
  return true;
}
