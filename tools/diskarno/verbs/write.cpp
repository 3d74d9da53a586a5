// diskarno write: a program's or a raw image's disk onto a drive, after a
// look at what the drive holds.
#include "files.h"
#include "formatting.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TWriteOptions : TPasswordOptions {
  bool verify = false;
  bool format = false;
  std::string capacity;
  bool yes = false;
  bool quiet = false;
  bool force = false;
};

TVerbSpec<TWriteOptions> WriteSpec() {
  TVerbSpec<TWriteOptions> spec = {
      "write",
      "FILE DRIVE",
      2,
      "Writes FILE onto the formatted disk in DRIVE track by track. FILE is a\n"
      "program made by diskarno pack (its image is unpacked as the program does)\n"
      "or a raw disk image. A disk that holds anything but an empty FAT file\n"
      "system or nothing at all is written only after --yes or a typed yes.\n"
      "With --format every track is laid out anew first (at the image's own\n"
      "capacity unless --capacity says otherwise) and read back.",
      {}};
  AddPasswordRows(spec.options);
  spec.options.push_back(
      {"--verify", "read every track back afterwards and compare", &TWriteOptions::verify});
  spec.options.push_back({"--format", "format the disk before writing it", &TWriteOptions::format});
  spec.options.push_back(CapacityRow(&TWriteOptions::capacity));
  spec.options.push_back(YesRow(&TWriteOptions::yes));
  spec.options.push_back(QuietRow(&TWriteOptions::quiet));
  spec.options.push_back(ForceRow(&TWriteOptions::force));
  return spec;
}

// Refused unless the image fills whole tracks of the format.
TStatus FormatFits(const TFloppyFormat &format, const std::string &path, size_t size) {
  const size_t track = static_cast<size_t>(format.sectors) * 512;
  if (size == 0 || static_cast<int64_t>(size) > CapacityOf(format) || size % track != 0)
    return TStatus::Refused("the image of " + path + " has " + Number(size) + " bytes; a " +
                            Number(format.kilobytes) + " KB disk holds " +
                            Number(CapacityOf(format)) + " in tracks of " + Number(track));
  return TStatus::Done();
}

TStatus Write(const TWriteOptions &options, TToolContext &context) {
  const std::string &path = options.operands[0];
  const std::string &drive = options.operands[1];
  for (const std::string &input : {path, options.passwordFile})
    if (!input.empty() && SameFile(input, drive))
      return TStatus::Refused("DRIVE is the input " + input);
  if (options.Given("--capacity") && !options.format)
    return TStatus::Refused("--capacity goes with --format");
  const TFloppyFormat *format = nullptr;
  TStatus status = CapacityOption(options.capacity, format);
  std::vector<BYTE> image;
  if (status.Ok()) status = ImageOfFile(path, options.Source(), context.console, image);
  std::unique_ptr<TDisk> opened;
  if (status.Ok() && options.format)
    status = OpenForFormat(drive, options.force, FloppyFormatOfSize(image.size()), opened, format);
  else if (status.Ok())
    status = OpenDisk(drive, TDiskUse::Write, options.force, opened);
  if (!status.Ok()) return status;
  TDisk &disk = *opened;
  status = format ? FormatFits(*format, path, image.size()) : ImageFits(disk, path, image.size());
  if (!status.Ok()) return TStatus::Refused(status.message + "; nothing written");
  status = MayDestroy(disk, options.yes, "nothing written", context);
  if (status.Ok() && format) status = FormatWholeDisk(disk, *format, options.quiet, context);
  if (!status.Ok()) return status;
  const DWORD count = static_cast<DWORD>(image.size() / disk.TrackSize());
  status = WriteWholeTracks(disk, image, count, options.quiet, context);
  if (status.Ok() && options.verify)
    status = VerifyTracks(disk, image, count, options.quiet, "the disk was written whole",
                          "differ from the image after writing", context);
  if (!status.Ok()) return status;
  if (!options.quiet)
    context.Tell((format ? "formatted as " + Number(format->kilobytes) + " KB and wrote " : "wrote ") +
                 Number(count) + " tracks (" + Number(image.size()) + " bytes) of " + path + " to " +
                 disk.Name() + (options.verify ? ", verified" : ""));
  return TStatus::Done();
}

}  // namespace

int WriteVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(WriteSpec(), Write, arguments, context);
}
