// Whole disks track by track, with a live status line and a stop between
// two tracks on SIGINT, SIGTERM or SIGHUP.
#include "transfer.h"

#include <cstring>

#include "files.h"

namespace {

// The status line of one pass over the disk and the stop test between
// tracks; passed to the disk's write as its hook.
class TPass {
 public:
  TPass(TToolConsole &console, bool quiet, const char *doing, DWORD total)
      : console_(console), caught_(console), quiet_(quiet), doing_(doing), total_(total) {}
  ~TPass() {
    if (shown_) console_.Status("");
  }
  TPass(const TPass &) = delete;
  TPass &operator=(const TPass &) = delete;

  // False when a signal asked to stop; its number is then in Signal().
  bool Track(DWORD track) {
    if ((signal_ = console_.StopRequested()) != 0) return false;
    if (!quiet_) {
      console_.Status(std::string(doing_) + " track " + Number(track + 1) + "/" + Number(total_) +
                      ", " + Number((track + 1) * 100ull / total_) + " %");
      shown_ = true;
    }
    return true;
  }
  int Signal() const { return signal_; }
  static int Hook(void *context, DWORD track) {
    TPass &pass = *static_cast<TPass *>(context);
    return pass.Track(track) ? 0 : pass.Signal();
  }

 private:
  TToolConsole &console_;
  TCaughtStops caught_;  // given back after the status line is cleared
  bool quiet_;
  const char *doing_;
  DWORD total_;
  bool shown_ = false;
  int signal_ = 0;
};

std::string Stopped(int signal, const char *doing, DWORD track, DWORD total,
                    const std::string &after) {
  return "stopped by " + SignalName(signal) + " while " + doing + " track " + Number(track + 1) +
         " of " + Number(total) + "; " + after;
}

// A disk taken out or changed ends the run: nothing read from it or written
// to it afterwards belongs to the run.
std::string ChangedDuring(const TDisk &disk, const char *doing, DWORD track, DWORD total) {
  std::string text = "the disk in " + disk.Name() + " was changed during the run";
  if (track == kNoTrack) return text;
  return text + " (found while " + doing + " track " + Number(track + 1) + " of " + Number(total) +
         ")";
}

}  // namespace

std::string BadSectorsName(const TDiskGeometry &geometry, const TBadSectors &bad) {
  if (bad.first == 0 && bad.count == geometry.SectorsPerTrack)
    return TrackName(geometry, bad.track);
  return SectorsName(geometry, bad.track, bad.first, bad.count);
}

bool RescueTrack(TDisk &disk, DWORD track, BYTE *data, std::vector<TBadSectors> &bad) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (disk.ReadTrack(track, data).Ok()) return true;
    // A disk taken out or changed is not read again.
    if (disk.Changed()) return false;
  }
  // Sector by sector: a read of many sectors fails whole for one of them.
  const DWORD size = disk.Geometry().BytesPerSector;
  const size_t before = bad.size();
  for (DWORD sector = 0; sector < disk.Geometry().SectorsPerTrack; ++sector) {
    BYTE *bytes = data + static_cast<size_t>(sector) * size;
    TStatus read = disk.ReadSectors(track, sector, 1, bytes);
    if (read.Ok()) continue;
    if (disk.Changed()) return false;
    memset(bytes, 0, size);
    TBadSectors *last = bad.size() > before ? &bad.back() : nullptr;
    if (last && last->first + last->count == sector && last->error == read.message)
      ++last->count;
    else
      bad.push_back({track, sector, 1, read.message});
  }
  return bad.size() == before;
}

TStatus ReadDrive(const TReadRequest &request, TToolContext &context, std::vector<BYTE> &image,
                  std::vector<TBadSectors> &bad, TDiskGeometry &geometry) {
  std::unique_ptr<TDisk> opened;
  TStatus status = OpenDisk(request.drive, TDiskUse::Read, request.force, opened);
  if (!status.Ok()) return status;
  TDisk &disk = *opened;
  geometry = disk.Geometry();
  if (disk.LeftOut() > 0)
    context.Say(disk.Name() + " is read as a floppy of " + Number(disk.Capacity()) +
                " bytes; its last " + Number(disk.LeftOut()) + " bytes are left out");
  image.assign(static_cast<size_t>(disk.TrackCount()) * disk.TrackSize(), 0);
  TPass pass(context.console, request.quiet, "Reading", disk.TrackCount());
  for (DWORD track = 0; track < disk.TrackCount(); ++track) {
    if (!pass.Track(track))
      return TStatus::Stopped(pass.Signal(), Stopped(pass.Signal(), "reading", track,
                                                     disk.TrackCount(), request.unwritten));
    BYTE *data = image.data() + static_cast<size_t>(track) * disk.TrackSize();
    const size_t before = bad.size();
    if (RescueTrack(disk, track, data, bad)) continue;
    if (disk.Changed())
      return TStatus::Failed(ChangedDuring(disk, "reading", track, disk.TrackCount()) + "; " +
                             request.unwritten);
    if (request.keepGoing) continue;
    return TStatus::Failed(BadSectorsName(geometry, bad[before]) + " of " + disk.Name() +
                           " can't be read: " + bad[before].error + "; " + request.unwritten);
  }
  return TStatus::Done();
}

TStatus ImageFits(const TDisk &disk, const std::string &path, size_t size) {
  if (size == 0 || static_cast<int64_t>(size) > disk.Capacity())
    return TStatus::Refused("the image of " + path + " has " + Number(size) +
                            " bytes; the disk in " + disk.Name() + " holds " +
                            Number(disk.Capacity()));
  const TFloppyFormat *format = FloppyFormatOfSize(static_cast<int64_t>(size));
  if (size % disk.TrackSize() != 0 && format)
    return TStatus::Refused("the image of " + path + " is a floppy of " + Number(size) +
                            " bytes and " + Number(format->sectors) +
                            " sectors a track; the disk in " + disk.Name() + " has " +
                            Number(disk.Geometry().SectorsPerTrack) +
                            " (format it for the image first)");
  if (size % disk.TrackSize() != 0)
    return TStatus::Refused("the image of " + path + " (" + Number(size) +
                            " bytes) does not end on a whole track of " + Number(disk.TrackSize()) +
                            " bytes");
  return TStatus::Done();
}

TStatus WriteWholeTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                         TToolContext &context) {
  DWORD reached = kNoTrack;
  TStatus written;
  {
    TPass pass(context.console, quiet, "Writing", count);
    written = disk.WriteTracks(image.data(), count, TPass::Hook, &pass, reached);
  }
  if (written.Ok()) written = disk.Flush();
  if (written.Ok()) return written;
  if (int signal = written.Signal())
    return TStatus::Stopped(signal, Stopped(signal, "writing", reached, count,
                                            "the disk in " + disk.Name() + " holds the first " +
                                                Number(reached) + " tracks of the image"));
  // The half found nothing could be written (a write-protected disk).
  if (written.exitCode == kExitUsage) return written;
  if (disk.Changed()) return TStatus::Failed(ChangedDuring(disk, "writing", reached, count));
  const bool within = reached != kNoTrack && reached < count;
  return TStatus::Failed(
      (within ? "the disk in " + disk.Name() + " failed at " + TrackName(disk.Geometry(), reached)
              : "can't write the disk in " + disk.Name()) +
      ": " + written.message +
      (within && reached > 0 ? "; it holds the first " + Number(reached) + " tracks of the image"
                             : ""));
}

TStatus VerifyTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                     const std::string &whenStopped, const std::string &differ,
                     TToolContext &context) {
  std::vector<std::string> said;
  DWORD differing = 0;
  std::vector<BYTE> track(disk.TrackSize());
  const size_t sector = disk.Geometry().BytesPerSector;
  {
    TPass pass(context.console, quiet, "Verifying", count);
    for (DWORD number = 0; number < count; ++number) {
      if (!pass.Track(number))
        return TStatus::Stopped(pass.Signal(),
                                Stopped(pass.Signal(), "verifying", number, count, whenStopped));
      std::vector<TBadSectors> bad;
      const bool whole = RescueTrack(disk, number, track.data(), bad);
      if (!whole && disk.Changed())
        return TStatus::Failed(ChangedDuring(disk, "verifying", number, count));
      // Unreadable sectors read as the image: only what was read compares.
      const BYTE *expected = image.data() + static_cast<size_t>(number) * track.size();
      for (const TBadSectors &run : bad) {
        said.push_back(BadSectorsName(disk.Geometry(), run) + " can't be read: " + run.error);
        memcpy(track.data() + run.first * sector, expected + run.first * sector,
               run.count * sector);
      }
      const bool same = memcmp(track.data(), expected, track.size()) == 0;
      if (!same) said.push_back(TrackName(disk.Geometry(), number) + " differs");
      differing += !same || !whole;
    }
  }
  for (const std::string &line : said) context.Say(line);
  if (differing == 0) return TStatus::Done();
  return TStatus::Failed(Number(differing) + " of " + Number(count) + " tracks " + differ);
}

TStatus TrackPass(DWORD count, bool quiet, const char *doing, TToolContext &context,
                  const std::function<TStatus(DWORD track)> &step, const std::string &whenStopped) {
  std::string lower = doing;
  if (!lower.empty() && lower[0] >= 'A' && lower[0] <= 'Z')
    lower[0] = static_cast<char>(lower[0] + 32);
  TPass pass(context.console, quiet, doing, count);
  for (DWORD track = 0; track < count; ++track) {
    if (!pass.Track(track))
      return TStatus::Stopped(pass.Signal(),
                              Stopped(pass.Signal(), lower.c_str(), track, count, whenStopped));
    TStatus status = step(track);
    if (!status.Ok()) return status;
  }
  return TStatus::Done();
}
