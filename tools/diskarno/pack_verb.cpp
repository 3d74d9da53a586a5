// diskarno pack: a program followed by a package for a disk image.
#include <cstdlib>

#include "default_stub.h"
#include "description_text.h"
#include "disk_transfer.h"
#include "inputs.h"
#include "media.h"
#include "output_file.h"
#include "package_format.h"
#include "package_writer.h"
#include "tool_files.h"

namespace {

constexpr uint64_t kLargestStub = 256u << 20;

struct TPackOptions : TPasswordOptions {
  std::string out;
  std::string stub;
  std::string description;
  std::string mediaType;
  std::string level;
  bool best = false;
  bool noChecksum = false;
  bool quiet = false;
  bool force = false;
};

TVerbSpec<TPackOptions> PackSpec() {
  TVerbSpec<TPackOptions> spec = {
      "pack",
      "IMAGE -o OUT [options]",
      1,
      "Writes OUT: the program (the stub, up to the end of its last section) followed\n"
      "by a package holding IMAGE, compressed into the zlib format with libdeflate.\n"
      "IMAGE may be a drive (A:, B: on Windows) or a block device: its disk is read\n"
      "as diskarno read does.",
      {{"-o", "OUT", "the program to write (a regular file; replaced whole)", &TPackOptions::out},
       {"--stub", "PATH", "the program to put in front (any PE file)", &TPackOptions::stub},
       {"--description", "TEXT",
        "shown by the program; at most 32 characters, stored in\n"
        "Windows-1252 (the characters of Western European languages)",
        &TPackOptions::description},
       {"--media-type", "N|auto",
        "the medium's number; auto (the default) takes it from\n"
        "the image size (160K 10, 180K 9, 320K 7, 360K 6,\n"
        "720K 5, 1.2M 1, 1.44M 2, 2.88M 3)",
        &TPackOptions::mediaType},
       {"--level", "N",
        "libdeflate's level, 1 (fastest) to 12 (smallest, the\n"
        "default)",
        &TPackOptions::level}}};
  spec.options.push_back({"--best",
                          "also compress with zopfli and keep the smaller\n"
                          "package; many times slower",
                          &TPackOptions::best});
  AddPasswordRows(spec.options, "protect the image with RC4; 1 to 254 characters");
  spec.options.push_back({"--no-checksum", "store no payload checksum", &TPackOptions::noChecksum});
  spec.options.push_back({"--quiet", "no status line while a disk is read", &TPackOptions::quiet});
  spec.options.push_back({"--force",
                          "read a device that is not removable, or not of a\nfloppy's size",
                          &TPackOptions::force});
  return spec;
}

TStatus MediaTypeOf(const std::string &text, uint64_t imageSize, TMediaType &type) {
  if (text.empty() || text == "auto") {
    // The standard floppy format of exactly this size, as the program's
    // medium query knows them.
    TDiskGeometry geometry;
    if (imageSize <= INT64_MAX &&
        StandardFloppyGeometry(static_cast<int64_t>(imageSize), geometry)) {
      type = static_cast<TMediaType>(geometry.MediaType);
      return TStatus::Done();
    }
    return TStatus::Refused("no medium has " + Number(imageSize) + " bytes; give --media-type");
  }
  char *end = nullptr;
  long value = strtol(text.c_str(), &end, 10);
  // 0 names no medium, and 14 is the program's own "no medium found".
  if (*end != '\0' || value < 1 || value >= kMediaNone)
    return TStatus::Refused("unknown media type " + text + " (1 to 13, or auto)");
  type = static_cast<TMediaType>(value);
  return TStatus::Done();
}

// --level and --best; a level outside 1 to 12 is refused.
TStatus CompressionOf(const TPackOptions &options, TCompression &compression) {
  compression.Best = options.best;
  if (!options.Given("--level")) return TStatus::Done();
  char *end = nullptr;
  long value = strtol(options.level.c_str(), &end, 10);
  if (options.level.empty() || *end != '\0' || value < kLowestCompressionLevel ||
      value > kHighestCompressionLevel)
    return TStatus::Refused("unknown level " + options.level + " (1 to 12)");
  compression.Level = static_cast<int>(value);
  return TStatus::Done();
}

// The program in front: --stub's file, or the built-in one.
TStatus LoadStub(const TPackOptions &options, std::vector<BYTE> &stub, const BYTE *&data,
                 size_t &size, std::string &name) {
  name = "the built-in program";
  if (!options.Given("--stub")) {
    if (DefaultStub(data, size)) return TStatus::Done();
    return TStatus::Refused("give the program with --stub PATH");
  }
  name = options.stub;
  TStatus status = CheckInputFile(name);
  if (!status.Ok()) return status;
  uint64_t stubSize = 0;
  TReadResult read = ReadWholeFile(name, kLargestStub, stub, stubSize);
  if (read != TReadResult::Read)
    return TStatus::Refused("can't read the stub " + name + ": " +
                            (read == TReadResult::TooLarge ? std::string("it is too large")
                                                           : FailureText(GetLastError())));
  data = stub.data();
  size = stub.size();
  return TStatus::Done();
}

// IMAGE's bytes: a disk read whole, or an image file.
TStatus LoadImage(const TPackOptions &options, TToolContext &context, std::vector<BYTE> &image) {
  const std::string &path = options.operands[0];
  if (IsDiskSource(path, context.devices)) {
    TReadRequest request;
    request.drive = path;
    request.force = options.force;
    request.quiet = options.quiet;
    request.unwritten = "nothing written";
    std::vector<DWORD> badTracks;  // stays empty: pack never goes past a bad track
    TDiskGeometry geometry;
    return ReadDrive(request, context, image, badTracks, geometry);
  }
  TStatus status = CheckInputFile(path);
  if (!status.Ok()) return status;
  uint64_t size = 0;
  TReadResult read = ReadWholeFile(path, kLargestImageSize, image, size);
  if (read == TReadResult::Failed)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  if (read == TReadResult::TooLarge || !ImageSizeAllowed(static_cast<int64_t>(size)))
    return TStatus::Refused(path + " has " + Number(size) +
                            " bytes; an image has 58 bytes to 2 GiB");
  return TStatus::Done();
}

// Checks every input before anything is written, then writes OUT whole.
TStatus Pack(const TPackOptions &options, TToolContext &context) {
  const std::string &imagePath = options.operands[0];
  const std::string &out = options.out;
  if (!options.Given("-o")) return TStatus::Refused("give -o OUT (see diskarno pack --help)");
  std::string description;
  std::string message;
  if (!DescriptionToCodePage(options.description, kMaxDescriptionLength, description, message))
    return TStatus::Refused(message);
  std::string password;
  bool given = false;
  TStatus status = PasswordOf(PasswordSourceOf(options), password, given);
  TCompression compression;
  if (status.Ok()) status = CompressionOf(options, compression);
  std::vector<BYTE> stub;
  const BYTE *stubData = nullptr;
  size_t stubSize = 0;
  std::string stubName;
  if (status.Ok()) status = LoadStub(options, stub, stubData, stubSize, stubName);
  if (!status.Ok()) return status;
  for (const std::string &input : {imagePath, options.stub, options.passwordFile})
    if (!input.empty() && SameFile(input, out))
      return TStatus::Refused("OUT would overwrite the input " + input);
  status = CheckOutputTarget(out);
  if (!status.Ok()) return status;

  // The program finds its package where its last section ends.
  DWORD stubEnd = GetPackageOffsetFromHeaders(
      stubData, stubSize < kPeHeaderWindow ? stubSize : kPeHeaderWindow);
  if (stubEnd == kNoPackageOffset) return TStatus::Refused(stubName + " is not a PE program");
  if (stubEnd == 0) return TStatus::Refused(stubName + " has no sections");
  if (stubEnd > stubSize)
    return TStatus::Refused(stubName + " is cut short: its sections end at " + Number(stubEnd) +
                            " but it has " + Number(stubSize) + " bytes");

  std::vector<BYTE> image;
  status = LoadImage(options, context, image);
  TMediaType mediaType = kMediaUnknown;
  if (status.Ok()) status = MediaTypeOf(options.mediaType, image.size(), mediaType);
  if (!status.Ok()) return status;

  TPackageInput input;
  input.Image = image.data();
  input.ImageSize = image.size();
  input.Description = description.c_str();
  input.DescriptionLength = description.size();
  input.MediaType = mediaType;
  input.Password = password.c_str();
  input.PasswordLength = password.size();
  input.Checksum = !options.noChecksum;
  input.Compression = compression;
  TPackageHeader header;
  THeapBlock payload;
  if (!BuildPackage(input, header, payload))
    return TStatus::Failed("can't pack " + imagePath + ": " + FailureText(GetLastError()));
  status = SaveOutput(out,
                      {{stubData, stubEnd},
                       {reinterpret_cast<const BYTE *>(&header), sizeof header},
                       {payload.Data(), payload.Size()}},
                      context.console);
  if (!status.Ok()) return status;
  if (stubEnd < stubSize)
    context.Say("left out " + Number(stubSize - stubEnd) + " bytes of " + stubName +
                " after its last section");
  context.output.out += out + ": package at offset " + Number(stubEnd) + ", image " +
                        Number(image.size()) + " bytes, payload " + Number(payload.Size()) +
                        " bytes" + (password.empty() ? "" : ", protected") + "\n";
  return TStatus::Done();
}

}  // namespace

int PackVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(PackSpec(), Pack, arguments, context);
}
