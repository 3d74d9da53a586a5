// Input files, passwords and images for the verbs.
#include "inputs.h"

#include "app_errors.h"
#include "description_text.h"
#include "files.h"
#include "heap.h"
#include "image_unpacker.h"
#include "media.h"
#include "package_format.h"

namespace {

constexpr uint64_t kLargestRawImage = 64u << 20;
constexpr uint64_t kLargestPasswordFile = 4096;

// The tool's words for a package the program can't unpack. A payload that
// fails after a password deciphered it may be the password's fault.
std::string UnpackFailure(const std::string &path, const TPackageHeader &header, DWORD code) {
  const std::string corrupt = "the package in " + path + " is corrupt: its payload ";
  const std::string password = PasswordNeeded(header) ? kPasswordPassingCheck : "";
  if (code == kErrorInvalidImageFile) return "the package in " + path + " is cut short";
  if (code == kErrorInvalidHeader)
    return "the package in " + path + " has a header this tool does not know";
  if (code == kErrorInvalidImageData) return corrupt + "does not match its checksum" + password;
  if (code == kErrorImageSizeMismatch)
    return corrupt + "does not inflate to the header's image size of " +
           Number(static_cast<DWORD>(header.ImageSize)) + " bytes" + password;
  if ((code & 0xFFFFFF00u) == kErrorZLibCategory) {
    std::string text = FindErrorText(code);
    if (!text.empty() && text.back() == '.') text.pop_back();
    return corrupt + "does not inflate (zlib: " + text + ")" + password;
  }
  return "can't read " + path + ": " + FailureText(code);
}

// The bytes the program's password box gives for the typed password: its
// characters in Windows-1252, as a description is stored. Text typed on
// Windows is in that code page already.
TStatus PasswordBytes(const std::string &typed, std::string &password) {
  std::string message;
  if (!TypedTextIsUtf8())
    password = typed;
  else if (!PasswordToCodePage(typed, password, message))
    return TStatus::Refused(message);
  return TStatus::Done();
}

}  // namespace

TStatus PasswordOf(const TPasswordSource &source, std::string &password) {
  password.clear();
  std::string typed = source.password;
  if (source.passwordGiven && source.fileGiven)
    return TStatus::Refused("give --password or --password-file, not both");
  if (source.fileGiven) {
    std::vector<BYTE> bytes;
    uint64_t size = 0;
    TStatus read = ReadPasswordFile(source.file, kLargestPasswordFile, bytes, size);
    if (!read.Ok())
      return size > kLargestPasswordFile
                 ? TStatus::Refused("can't read the password file " + source.file +
                                    ": it has more than " + Number(kLargestPasswordFile) + " bytes")
                 : read;
    typed.assign(bytes.begin(), bytes.end());
    if (!typed.empty() && typed.back() == '\n') typed.pop_back();
    if (!typed.empty() && typed.back() == '\r') typed.pop_back();
  }
  if (!source.passwordGiven && !source.fileGiven) return TStatus::Done();
  TStatus bytes = PasswordBytes(typed, password);
  if (!bytes.Ok()) return bytes;
  if (password.empty() || !PasswordAllowed(password.size()))
    return TStatus::Refused("a password has 1 to " + Number(kLargestPasswordLength) +
                            " characters; this one has " + Number(password.size()));
  return TStatus::Done();
}

std::string ImageSizeFault(const TPackageHeader &header, uint64_t payloadLength) {
  const uint64_t size = static_cast<DWORD>(header.ImageSize);
  const std::string claim = "the header gives an image of " + Number(size) + " bytes";
  const int64_t capacity = MediumCapacity(header.MediaType);
  if (capacity > 0 && size > static_cast<uint64_t>(capacity))
    return claim + ", more than a " + MediaTypeNames[header.MediaType] + " medium holds (" +
           Number(capacity) + ")";
  if (size > LargestInflation(payloadLength))
    return claim + ", more than its payload of " + Number(payloadLength) + " bytes inflates to (" +
           Number(LargestInflation(payloadLength)) + " at most)";
  return "";
}

TStatus UnpackProgramImage(const std::string &path, TPackage &package, std::string password,
                           TToolConsole &console, std::vector<BYTE> &image) {
  const int64_t fileSize = package.File.Valid() ? package.File.Size() : -1;
  const int64_t payloadAt = static_cast<int64_t>(package.Offset) + kPackageHeaderSize;
  if (PackageUsable(package.Header) && fileSize >= 0) {
    const std::string fault =
        ImageSizeFault(package.Header, fileSize > payloadAt ? fileSize - payloadAt : 0);
    if (!fault.empty()) return TStatus::Failed("the package in " + path + " is corrupt: " + fault);
  }
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
    TStatus bytes = PasswordBytes(typed, password);
    if (!bytes.Ok()) return bytes;
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
      return TStatus::Failed(UnpackFailure(path, package.Header, GetLastError()));
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
