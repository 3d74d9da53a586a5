// diskarno format: every track of the disk in a drive laid out anew and
// read back, then an empty FAT12 file system written on it.
#include <ctime>

#include "files.h"
#include "formatting.h"
#include "transfer.h"
#include "verb.h"
#include "verbs/verbs.h"

namespace {

struct TFormatOptions : TVerbOptions {
  std::string capacity;
  std::string label;
  bool yes = false;
  bool quiet = false;
  bool force = false;
};

TVerbSpec<TFormatOptions> FormatSpec() {
  return {"format",
          "DRIVE",
          1,
          "Formats the disk in DRIVE: every track laid out anew and read back, then an\n"
          "empty FAT12 file system written on it (boot sector, two FATs, the root\n"
          "folder with the label), as mformat makes it. A disk that holds anything\n"
          "but an empty FAT file system or nothing at all is formatted only after\n"
          "--yes or a typed yes. On Linux DRIVE is a drive on the floppy controller\n"
          "(/dev/fd0), a USB floppy drive (/dev/sdX) or an image file (formatted at\n"
          "its own size).",
          {CapacityRow(&TFormatOptions::capacity),
           {"--label", "NAME", "the volume label (up to 11 characters)", &TFormatOptions::label},
           YesRow(&TFormatOptions::yes),
           QuietRow(&TFormatOptions::quiet),
           ForceRow(&TFormatOptions::force)}};
}

// The volume's serial number as DOS makes one: from the date and time of
// the format.
DWORD SerialOf(time_t when) {
  const DWORD seconds = static_cast<DWORD>(when);
  return (seconds * 2654435761u) ^ (seconds >> 16);
}

TStatus Format(const TFormatOptions &options, TToolContext &context) {
  const std::string &drive = options.operands[0];
  std::string label, why;
  if (options.Given("--label") && !FatLabel(options.label, label, why))
    return TStatus::Refused("--label " + options.label + ": " + why);
  const TFloppyFormat *format = nullptr;
  TStatus status = CapacityOption(options.capacity, format);
  std::unique_ptr<TDisk> opened;
  if (status.Ok()) status = OpenForFormat(drive, options.force, nullptr, opened, format);
  if (!status.Ok()) return status;
  TDisk &disk = *opened;
  status = MayDestroy(disk, options.yes, "nothing formatted", context);
  if (status.Ok()) status = FormatWholeDisk(disk, *format, options.quiet, context);
  if (!status.Ok()) return status;
  // The file system takes the first tracks; the rest keeps the fill bytes
  // the format left.
  const time_t now = time(nullptr);
  const std::vector<BYTE> image = EmptyFatImage(*format, label, SerialOf(now), now);
  status = WriteWholeTracks(disk, image, SystemTracks(*format), true, context);
  if (!status.Ok())
    return TStatus::Failed("the file system could not be written: " + status.message);
  if (!options.quiet)
    context.Tell("formatted " + disk.Name() + " as " + Number(format->kilobytes) + " KB (" +
                 Number(disk.TrackCount()) + " tracks), " +
                 (label.empty() ? std::string("no label") : "labelled " + label));
  return TStatus::Done();
}

}  // namespace

int FormatVerb(const std::vector<std::string> &arguments, TToolContext &context) {
  // Made for the run: the tables own no memory past it.
  return RunVerb(FormatSpec(), Format, arguments, context);
}
