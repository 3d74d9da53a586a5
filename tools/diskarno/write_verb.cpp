// diskarno write: a program's or a raw image's disk onto a drive, after a
// look at what the drive holds.
#include "disk_transfer.h"
#include "inputs.h"
#include "tool_files.h"

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
  AddPasswordRows(spec.options, "the password of a protected program (asked for on a\nterminal)");
  spec.options.push_back(
      {"--verify", "read every track back afterwards and compare", &TWriteOptions::verify});
  spec.options.push_back(
      {"--yes", "overwrite what the disk holds without asking", &TWriteOptions::yes});
  spec.options.push_back({"--quiet", "no status line, no summary", &TWriteOptions::quiet});
  spec.options.push_back({"--force",
                          "take a device that is not removable, or not of a\n"
                          "floppy's size; an unmounted loop device's image file\n"
                          "(never skips the question, never takes a mounted one)",
                          &TWriteOptions::force});
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
  TStatus status = LoadDiskImage(path, PasswordSourceOf(options), context.console, image);
  if (!status.Ok()) return status;
  TOpenResult opened = OpenDisk(drive, TDiskUse::Write, options.force, context.devices);
  if (!opened.disk) return {opened.exitCode, opened.message};
  TDisk &disk = *opened.disk;
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
    context.output.out += "wrote " + Number(count) + " tracks (" + Number(image.size()) +
                          " bytes) of " + path + " to " + disk.Name() +
                          (options.verify ? ", verified" : "") + "\n";
  return TStatus::Done();
}

}  // namespace

int WriteVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(WriteSpec(), Write, arguments, context);
}
