// diskarno write: a program's or a raw image's disk onto a drive, after a
// look at what the drive holds.
#include "files.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TWriteOptions : TPasswordOptions {
  bool verify = false;
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
      "system or nothing at all is written only after --yes or a typed yes.",
      {}};
  AddPasswordRows(spec.options);
  spec.options.push_back(
      {"--verify", "read every track back afterwards and compare", &TWriteOptions::verify});
  spec.options.push_back(
      {"--yes", "overwrite what the disk holds without asking", &TWriteOptions::yes});
  spec.options.push_back(QuietRow(&TWriteOptions::quiet));
  spec.options.push_back(ForceRow(&TWriteOptions::force));
  return spec;
}

// Whether the disk may be written: what it holds is nothing a write would
// destroy, or the user said yes.
TStatus MayDestroy(TDisk &disk, bool yes, TToolContext &context) {
  const TContent content = disk.Content();
  if (content.kind != TContentKind::Holds || yes) return TStatus::Done();
  if (context.console.Confirm("The disk in " + disk.Name() + " holds " + content.what +
                              ". Writing destroys it."))
    return TStatus::Done();
  if (int signal = context.console.StopRequested())
    return TStatus::Stopped(signal, "stopped by " + SignalName(signal) +
                                        " at the question; nothing written to " + disk.Name());
  return TStatus::Refused("the disk in " + disk.Name() + " holds " + content.what +
                          "; nothing written (--yes overwrites it)");
}

TStatus Write(const TWriteOptions &options, TToolContext &context) {
  const std::string &path = options.operands[0];
  const std::string &drive = options.operands[1];
  for (const std::string &input : {path, options.passwordFile})
    if (!input.empty() && SameFile(input, drive))
      return TStatus::Refused("DRIVE is the input " + input);
  std::vector<BYTE> image;
  TStatus status = ImageOfFile(path, options.Source(), context.console, image);
  std::unique_ptr<TDisk> opened;
  if (status.Ok()) status = OpenDisk(drive, TDiskUse::Write, options.force, opened);
  if (!status.Ok()) return status;
  TDisk &disk = *opened;
  status = ImageFits(disk, path, image.size());
  if (!status.Ok()) return TStatus::Refused(status.message + "; nothing written");
  status = MayDestroy(disk, options.yes, context);
  if (!status.Ok()) return status;
  const DWORD count = static_cast<DWORD>(image.size() / disk.TrackSize());
  status = WriteWholeTracks(disk, image, count, options.quiet, context);
  if (status.Ok() && options.verify)
    status = VerifyTracks(disk, image, count, options.quiet, "the disk was written whole",
                          "differ from the image after writing", context);
  if (!status.Ok()) return status;
  if (!options.quiet)
    context.Tell("wrote " + Number(count) + " tracks (" + Number(image.size()) + " bytes) of " +
                 path + " to " + disk.Name() + (options.verify ? ", verified" : ""));
  return TStatus::Done();
}

}  // namespace

int WriteVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(WriteSpec(), Write, arguments, context);
}
