// diskarno pack: a program followed by a package for a disk image.
#include <cstdlib>

#include "default_stub.h"
#include "disk.h"
#include "description_text.h"
#include "files.h"
#include "media.h"
#include "outputs.h"
#include "package_format.h"
#include "package_writer.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

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
      {OutRow("OUT", &TPackOptions::out),
       {"--stub", "PATH", "the program to put in front (any PE file)", &TPackOptions::stub},
       {"--description", "TEXT",
        "shown by the program; at most 32 characters, stored in\n"
        "Windows-1252 (the characters of Western European languages)",
        &TPackOptions::description},
       {"--media-type", "N|auto",
        "the medium's number; auto (the default) takes it from\n"
        "the image size (160K 10, 180K 9, 320K 7, 360K 6,\n"
        "720K 5, 1.2M 1, 1.44M and DMF's 1.68M 2, 2.88M 3)",
        &TPackOptions::mediaType},
       {"--level", "N",
        "libdeflate's level, 1 (fastest) to 12 (smallest, the\n"
        "default)",
        &TPackOptions::level}}};
  spec.options.push_back({"--best",
                          "also compress with zopfli and keep the smaller\n"
                          "package; many times slower",
                          &TPackOptions::best});
  AddPasswordRows(spec.options);
  spec.options.push_back({"--no-checksum", "store no payload checksum", &TPackOptions::noChecksum});
  spec.options.push_back(QuietRow(&TPackOptions::quiet));
  spec.options.push_back(ForceRow(&TPackOptions::force));
  return spec;
}

TStatus MediaTypeOf(const std::string &text, uint64_t imageSize, TMediaType &type) {
  if (text.empty() || text == "auto") {
    // The floppy format of exactly this size, as read and write know them.
    const TFloppyFormat *format =
        imageSize <= INT64_MAX ? FloppyFormatOfSize(static_cast<int64_t>(imageSize)) : nullptr;
    if (format) {
      type = format->mediaType;
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
  if (imageSize > static_cast<uint64_t>(MediumCapacity(type)))
    return TStatus::Refused("a " + std::string(MediaTypeNames[type]) + " medium (--media-type " +
                            text + ") holds at most " + Number(MediumCapacity(type)) +
                            " bytes; the image has " + Number(imageSize));
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

// The program in front: --stub's file, or the built-in one, up to the end
// of its last section (where the program finds its package).
struct TStub {
  std::vector<BYTE> bytes;  // --stub's; empty for the built-in one
  const BYTE *data = nullptr;
  size_t size = 0;
  DWORD end = 0;
  std::string name = "the built-in program";
};

TStatus LoadStub(const TPackOptions &options, TStub &stub) {
  if (!options.Given("--stub")) {
    if (!DefaultStub(stub.data, stub.size))
      return TStatus::Refused("give the program with --stub PATH");
  } else {
    stub.name = options.stub;
    TStatus status = CheckInputFile(stub.name);
    uint64_t size = 0;
    if (status.Ok()) status = ReadWholeFile(stub.name, kLargestStub, stub.bytes, size);
    if (!status.Ok())
      return size > kLargestStub
                 ? TStatus::Refused("can't read the stub " + stub.name + ": it is too large")
                 : status;
    stub.data = stub.bytes.data();
    stub.size = stub.bytes.size();
  }
  stub.end = GetPackageOffsetFromHeaders(
      stub.data, stub.size < kPeHeaderWindow ? stub.size : kPeHeaderWindow);
  if (stub.end == kNoPackageOffset) return TStatus::Refused(stub.name + " is not a PE program");
  if (stub.end == 0) return TStatus::Refused(stub.name + " has no sections");
  if (stub.end > stub.size)
    return TStatus::Refused(stub.name + " is cut short: its sections end at " + Number(stub.end) +
                            " but it has " + Number(stub.size) + " bytes");
  return TStatus::Done();
}

// IMAGE's bytes: a disk read whole, or an image file.
TStatus ReadImageOperand(const TPackOptions &options, TToolContext &context,
                         std::vector<BYTE> &image) {
  const std::string &path = options.operands[0];
  if (IsDiskSource(path)) {
    TReadRequest request;
    request.drive = path;
    request.force = options.force;
    request.quiet = options.quiet;
    request.unwritten = "nothing written";
    std::vector<TBadSectors> bad;  // stays empty: pack never goes past a bad sector
    TDiskGeometry geometry;
    return ReadDrive(request, context, image, bad, geometry);
  }
  TStatus status = CheckInputFile(path);
  uint64_t size = 0;
  if (status.Ok()) status = ReadImageInput(path, options.force, kLargestImageSize, image, size);
  if (size > kLargestImageSize || (status.Ok() && !ImageSizeAllowed(static_cast<int64_t>(size))))
    return TStatus::Refused(path + " has " + Number(size) +
                            " bytes; an image has 58 bytes to 2 GiB");
  return status;
}

// Every input that is no disk, checked before a disk is read.
TStatus CheckInputs(const TPackOptions &options, std::string &description, std::string &password,
                    TStub &stub) {
  std::string message;
  if (!DescriptionToCodePage(options.description, kMaxDescriptionLength, description, message))
    return TStatus::Refused(message);
  TStatus status = PasswordOf(options.Source(), password);
  if (status.Ok()) status = LoadStub(options, stub);
  if (!status.Ok()) return status;
  for (const std::string &input : {options.operands[0], options.stub, options.passwordFile})
    if (!input.empty() && SameFile(input, options.out))
      return TStatus::Refused("OUT would overwrite the input " + input);
  return CheckOutputTarget(options.out, options.force);
}

// Checks every input before anything is written, then writes OUT whole.
TStatus Pack(const TPackOptions &options, TToolContext &context) {
  std::string description;
  std::string password;
  TStub stub;
  TCompression compression;
  std::vector<BYTE> image;
  TMediaType mediaType = kMediaUnknown;
  TStatus status = CheckInputs(options, description, password, stub);
  if (status.Ok()) status = CompressionOf(options, compression);
  if (status.Ok()) status = ReadImageOperand(options, context, image);
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
    return TStatus::Failed("can't pack " + options.operands[0] + ": " +
                           FailureText(GetLastError()));
  status = SaveOutput(options.out,
                      {{stub.data, stub.end},
                       {reinterpret_cast<const BYTE *>(&header), sizeof header},
                       {payload.Data(), payload.Size()}},
                      context.console, options.force);
  if (!status.Ok()) return status;
  if (stub.end < stub.size)
    context.Say("left out " + Number(stub.size - stub.end) + " bytes of " + stub.name +
                " after its last section");
  if (!options.quiet)
    context.Tell(options.out + ": package at offset " + Number(stub.end) + ", image " +
                 Number(image.size()) + " bytes, payload " + Number(payload.Size()) + " bytes" +
                 (password.empty() ? "" : ", protected"));
  return TStatus::Done();
}

}  // namespace

int PackVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(PackSpec(), Pack, arguments, context);
}
