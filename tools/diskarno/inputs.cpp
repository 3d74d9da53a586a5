// Input files, passwords and images for the verbs.
#include "inputs.h"

#include "app_errors.h"
#include "description_text.h"
#include "files.h"
#include "heap.h"
#include "image_unpacker.h"
#include "package_format.h"

namespace {

constexpr uint64_t kLargestRawImage = 64u << 20;
constexpr uint64_t kLargestPasswordFile = 4096;

// The tool's words for a package the program can't unpack.
std::string UnpackFailure(const std::string &path, DWORD code) {
  if (code == kErrorInvalidImageFile) return "the package in " + path + " is cut short";
  if (code == kErrorInvalidHeader)
    return "the package in " + path + " has a header this tool does not know";
  if (code == kErrorInvalidImageData)
    return "the package in " + path + " is corrupt: its payload does not match its checksum";
  if ((code & 0xFFFFFF00u) == kErrorZLibCategory) {
    std::string text = FindErrorText(code);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return "the package in " + path + " is corrupt: its payload does not inflate (zlib: " + text +
           ")";
  }
  return "can't read " + path + ": " + FailureText(code);
}

}  // namespace

TStatus PasswordOf(const TPasswordSource &source, std::string &password) {
  password.clear();
  std::string typed = source.password;
  if (source.passwordGiven && source.fileGiven)
    return TStatus::Refused("give --password or --password-file, not both");
  if (source.fileGiven) {
    TStatus input = CheckInputFile(source.file);
    if (!input.Ok()) return input;
    std::vector<BYTE> bytes;
    uint64_t size = 0;
    TStatus read = ReadWholeFile(source.file, kLargestPasswordFile, bytes, size);
    if (!read.Ok())
      return size > kLargestPasswordFile
                 ? TStatus::Refused("can't read the password file " + source.file + ": it has " +
                                    Number(size) + " bytes")
                 : read;
    typed.assign(bytes.begin(), bytes.end());
    if (!typed.empty() && typed.back() == '\n') typed.pop_back();
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  }
  if (!source.passwordGiven && !source.fileGiven) return TStatus::Done();
  // The program keys the cipher with what its password box holds in the
  // Windows code page: the same characters give the same bytes here.
  std::string message;
  if (!PasswordToCodePage(typed, password, message)) return TStatus::Refused(message);
  if (password.empty() || !PasswordAllowed(password.size()))
    return TStatus::Refused("a password has 1 to " + Number(kLargestPasswordLength) +
                            " characters; this one has " + Number(password.size()));
  return TStatus::Done();
}

TStatus UnpackProgramImage(const std::string &path, TPackage &package, std::string password,
                           TToolConsole &console, std::vector<BYTE> &image) {
  if (PackageUsable(package.Header) && PasswordNeeded(package.Header) && password.empty()) {
    std::string typed;
    const bool answered = console.AskPassword("Password for " + path + ": ", typed);
    if (!answered && console.StopRequested())
      return TStatus::Stopped(console.StopRequested(), "stopped at the password prompt");
    if (!answered && !console.CanAsk())
      return TStatus::Refused(path +
                              " is protected: give --password or --password-file (there is no "
                              "terminal to ask on)");
    if (!answered || typed.empty())
      return TStatus::Refused(path + " is protected and no password was typed");
    std::string message;
    if (!PasswordToCodePage(typed, password, message)) return TStatus::Refused(message);
  }
  BYTE *unpacked = nullptr;
  LONG size = 0;
  switch (UnpackProgram(package, password, unpacked, size)) {
    case TUnpackResult::Unpacked:
      image.assign(unpacked, unpacked + size);
      HeapRelease(unpacked);
      return TStatus::Done();
    case TUnpackResult::Unusable:
      return TStatus::Failed(package.HasHeader()
                                 ? "the package in " + path + " is one the program refuses"
                                 : path + " holds no package");
    case TUnpackResult::WrongPassword:
      return TStatus::Failed("the password does not open " + path);
    default:
      return TStatus::Failed(UnpackFailure(path, GetLastError()));
  }
}

TStatus ImageOfFile(const std::string &path, const TPasswordSource &source, TToolConsole &console,
                    std::vector<BYTE> &image) {
  std::string password;
  TStatus status = PasswordOf(source, password);
  if (status.Ok()) status = CheckInputFile(path);
  if (!status.Ok()) return status;
  TPackage package;
  if (OpenPackage(path.c_str(), package) || package.Offset != kNoPackageOffset)
    return UnpackProgramImage(path, package, password, console, image);
  if (GetLastError() != kErrorInvalidImageFile)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  if (!password.empty())
    return TStatus::Refused(path + " is a raw image, not a program: it takes no password");
  package.File.Close();
  uint64_t size = 0;
  status = ReadWholeFile(path, kLargestRawImage, image, size);
  if (size > kLargestRawImage)
    return TStatus::Refused(path + " has " + Number(size) + " bytes; no floppy holds that");
  return status;
}
