// Formatting whole disks track by track.
#include "formatting.h"

#include <cstdlib>
#include <vector>

#include "files.h"
#include "transfer.h"

TStatus CapacityOption(const std::string &text, const TFloppyFormat *&format) {
  if (text.empty()) return TStatus::Done();
  char *end = nullptr;
  const long kilobytes = strtol(text.c_str(), &end, 10);
  const TFloppyFormat *found = end && *end == '\0' && kilobytes > 0 && kilobytes < 100000
                                   ? FloppyFormatOf(kilobytes)
                                   : nullptr;
  if (!found)
    return TStatus::Refused("--capacity " + text + ": the capacities are " + FloppyFormatList() +
                            " (KB)");
  format = found;
  return TStatus::Done();
}

TStatus OpenForFormat(const std::string &drive, bool force, const TFloppyFormat *fallback,
                      std::unique_ptr<TDisk> &disk, const TFloppyFormat *&format) {
  TStatus status = OpenDisk(drive, TDiskUse::Format, force, disk);
  if (!status.Ok()) return status;
  if (!format && fallback && fallback->laidOut) format = fallback;
  int own = 0;
  if (!format) status = disk->OwnFormat(own);
  if (!status.Ok()) return TStatus::Refused(status.message + "; nothing formatted");
  if (!format) format = FloppyFormatOf(own);
  if (!format)
    return TStatus::Refused("what " + disk->Name() + " formats can't be told; give --capacity (" +
                            FloppyFormatList() + ")");
  status = disk->FormatAllowed(*format);
  if (!status.Ok()) return TStatus::Refused(status.message + "; nothing formatted");
  return TStatus::Done();
}

TStatus MayDestroy(TDisk &disk, bool yes, const std::string &nothingDone, TToolContext &context) {
  TContent content;
  if (disk.TrackCount() > 0) {
    content = disk.Content();
  } else {
    content.what =
        "nothing this drive can read (an unformatted disk, one of another format, or none at all)";
  }
  if (content.kind != TContentKind::Holds || yes) return TStatus::Done();
  if (context.console.Confirm("The disk in " + disk.Name() + " holds " + content.what +
                              ". Writing destroys it."))
    return TStatus::Done();
  if (int signal = context.console.StopRequested())
    return TStatus::Stopped(signal, "stopped by " + SignalName(signal) + " at the question; " +
                                        nothingDone + " to " + disk.Name());
  return TStatus::Refused("the disk in " + disk.Name() + " holds " + content.what + "; " +
                          nothingDone + " (--yes overwrites it)");
}

TStatus FormatWholeDisk(TDisk &disk, const TFloppyFormat &format, bool quiet,
                        TToolContext &context) {
  const TDiskGeometry geometry = GeometryOf(format);
  const DWORD count = GeometryTrackCount(geometry);
  TStatus status = TrackPass(
      count, quiet, "Formatting", context,
      [&](DWORD track) {
        // A second try, as DOS's FORMAT gives a track: a sector ID that did
        // not take the first time often does the next.
        TStatus laid = disk.FormatTrack(format, track);
        if (!laid.Ok() && laid.exitCode != kExitUsage && !disk.Changed())
          laid = disk.FormatTrack(format, track);
        if (laid.Ok()) return laid;
        // A refusal comes before the first track changed anything.
        if (laid.exitCode == kExitUsage)
          return TStatus::Refused(laid.message + "; nothing formatted");
        return TStatus::Failed("the disk in " + disk.Name() + " failed at " +
                               TrackName(geometry, track) + " while formatting: " + laid.message);
      },
      "the disk in " + disk.Name() + " is formatted in part: format it again before use");
  if (status.Ok()) status = disk.EndFormat(format);
  if (!status.Ok()) return status;
  // Every track read back: a sector the format could not lay out shows here.
  std::vector<BYTE> data(disk.TrackSize());
  return TrackPass(
      count, quiet, "Checking", context,
      [&](DWORD track) {
        TStatus read = disk.ReadTrack(track, data.data());
        if (read.Ok()) return read;
        return TStatus::Failed(TrackName(geometry, track) + " of " + disk.Name() +
                               " can't be read after formatting: " + read.message);
      },
      "the disk in " + disk.Name() + " is formatted, not checked");
}
