// diskarno pack: a program followed by a package for a disk image.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command_line.h"
#include "default_stub.h"
#include "disk_access.h"
#include "media.h"
#include "package_format.h"
#include "package_writer.h"
#include "tool.h"
#include "tool_files.h"

namespace {

constexpr uint64_t kLargestStub = 256u << 20;

const char kPackHelp[] =
    "Usage: diskarno pack IMAGE -o OUT [--stub PATH] [--description TEXT]\n"
    "                     [--media-type N|auto] [--password TEXT | --password-file PATH]\n"
    "                     [--no-checksum] [--quiet] [--force]\n"
    "\n"
    "Writes OUT: the program (the stub, up to the end of its last section) followed\n"
    "by a package holding IMAGE, compressed with zlib at level 9. IMAGE may be a\n"
    "drive (A:, B: on Windows) or a block device: its disk is read as diskarno\n"
    "read does.\n"
    "\n"
    "  --stub PATH           the program to put in front (any PE file)\n"
    "  --description TEXT    shown by the program; at most 32 characters\n"
    "  --media-type N|auto   the medium's number; auto (the default) takes it from\n"
    "                        the image size (160K 10, 180K 9, 320K 7, 360K 6,\n"
    "                        720K 5, 1.2M 1, 1.44M 2, 2.88M 3)\n"
    "  --password TEXT       protect the image with RC4; 1 to 254 characters\n"
    "  --password-file PATH  the password is the file's contents (one final line\n"
    "                        break is dropped)\n"
    "  --no-checksum         store no payload checksum\n"
    "  --quiet               no status line while a disk is read\n"
    "  --force               read a device that is not removable, or not of a\n"
    "                        floppy's size\n";

int Usage(TToolOutput &output, const std::string &message) {
  output.err += "diskarno pack: " + message + "\n";
  return kExitUsage;
}

bool MediaTypeOf(const std::string &text, uint64_t imageSize, TMediaType &type,
                 std::string &message) {
  if (text.empty() || text == "auto") {
    // The standard floppy format of exactly this size, as the program's
    // medium query knows them.
    TDiskGeometry geometry;
    if (imageSize <= INT64_MAX &&
        StandardFloppyGeometry(static_cast<int64_t>(imageSize), geometry)) {
      type = static_cast<TMediaType>(geometry.MediaType);
      return true;
    }
    message = "no medium has " + Number(imageSize) + " bytes; give --media-type";
    return false;
  }
  char *end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  // 0 names no medium, and 14 is the program's own "no medium found".
  if (*end != '\0' || value < 1 || value >= kMediaNone) {
    message = "unknown media type " + text + " (1 to 13, or auto)";
    return false;
  }
  type = static_cast<TMediaType>(value);
  return true;
}

// The password of the options, 1 to 254 characters when given.
bool PasswordOf(const TCommandLine &line, std::string &password, std::string &message) {
  bool given = false;
  if (!PasswordOption(line, password, given, message)) return false;
  if (given && password.empty()) {
    message = "a password has 1 to 254 characters";
    return false;
  }
  return true;
}

}  // namespace

// Checks every input before anything is written, then writes OUT whole.
int RunPack(const std::vector<std::string> &arguments, TToolOutput &output) {
  TCommandLine line;
  int code = kExitSuccess;
  if (!StartVerb("pack", kPackHelp, arguments,
                 {"-o", "--stub", "--description", "--media-type", "--password", "--password-file"},
                 {"--no-checksum", "--quiet", "--force"}, line, output, code))
    return code;
  std::string message;
  if (line.positional.size() != 1 || !line.Has("-o"))
    return Usage(output, "give one IMAGE and -o OUT (see diskarno pack --help)");
  const std::string imagePath = line.positional[0];
  const std::string outPath = line.Value("-o");
  std::string description = line.Value("--description");
  if (!DescriptionAllowed(description.size()))
    return Usage(output, "a description has at most 32 characters");
  std::string password;
  if (!PasswordOf(line, password, message)) return Usage(output, message);

  std::vector<BYTE> stub;
  const BYTE *stubData = nullptr;
  size_t stubSize = 0;
  std::string stubName = "the built-in program";
  if (line.Has("--stub")) {
    stubName = line.Value("--stub");
    uint64_t size = 0;
    TReadResult read = ReadWholeFile(stubName, kLargestStub, stub, size);
    if (read != TReadResult::Read)
      return Usage(
          output,
          "can't read the stub " + stubName +
              (read == TReadResult::TooLarge ? ": too large" : ": " + FailureText(GetLastError())));
    stubData = stub.data();
    stubSize = stub.size();
  } else if (!DefaultStub(stubData, stubSize)) {
    return Usage(output, "give the program with --stub PATH");
  }

  for (const std::string &input : {imagePath, line.Value("--stub"), line.Value("--password-file")})
    if (!input.empty() && SameFile(input, outPath))
      return Usage(output, "OUT would overwrite the input " + input);

  // The program finds its package where its last section ends.
  DWORD stubEnd = GetPackageOffsetFromHeaders(
      stubData, stubSize < kPeHeaderWindow ? stubSize : kPeHeaderWindow);
  if (stubEnd == kNoPackageOffset) return Usage(output, stubName + " is not a PE program");
  if (stubEnd == 0) return Usage(output, stubName + " has no sections");
  if (stubEnd > stubSize)
    return Usage(output, stubName + " is cut short: its sections end at " + Number(stubEnd) +
                             " but it has " + Number(stubSize) + " bytes");

  std::vector<BYTE> image;
  uint64_t imageSize = 0;
  TReadResult read = TReadResult::Read;
  if (IsDiskSource(imagePath)) {
    if (!ReadDiskForPack(imagePath, line, output, image, code)) return code;
    imageSize = image.size();
  } else {
    read = ReadWholeFile(imagePath, kLargestImageSize, image, imageSize);
  }
  if (read == TReadResult::Failed)
    return Usage(output, "can't read " + imagePath + ": " + FailureText(GetLastError()));
  if (read == TReadResult::TooLarge || !ImageSizeAllowed(static_cast<int64_t>(imageSize)))
    return Usage(
        output, imagePath + " has " + Number(imageSize) + " bytes; an image has 58 bytes to 2 GiB");
  TMediaType mediaType = kMediaUnknown;
  if (!MediaTypeOf(line.Value("--media-type"), imageSize, mediaType, message))
    return Usage(output, message);

  TPackageInput input;
  input.Image = image.data();
  input.ImageSize = image.size();
  input.Description = description.c_str();
  input.DescriptionLength = description.size();
  input.MediaType = mediaType;
  input.Password = password.c_str();
  input.PasswordLength = password.size();
  input.Checksum = !line.Has("--no-checksum");
  TPackageHeader header;
  THeapBlock payload;
  if (!BuildPackage(input, header, payload))
    return Usage(output, "can't pack " + imagePath + ": " + FailureText(GetLastError()));

  std::vector<TPiece> pieces = {{stubData, stubEnd},
                                {reinterpret_cast<const BYTE *>(&header), sizeof header},
                                {payload.Data(), payload.Size()}};
  if (!WriteFileWhole(outPath, pieces)) {
    output.err +=
        "diskarno pack: can't write " + outPath + ": " + FailureText(GetLastError()) + "\n";
    return kExitFailure;
  }
  if (stubEnd < stubSize)
    output.err += "diskarno pack: left out " + Number(stubSize - stubEnd) + " bytes of " +
                  stubName + " after its last section\n";
  output.out += outPath + ": package at offset " + Number(stubEnd) + ", image " +
                Number(imageSize) + " bytes, payload " + Number(payload.Size()) + " bytes" +
                (password.empty() ? "" : ", protected") + "\n";
  return kExitSuccess;
}
