// Whole disks track by track, with a live status line and a stop between
// two tracks on SIGINT, SIGTERM or SIGHUP.
#include "disk_transfer.h"

#include <cstring>

#include "tool_files.h"

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
  static bool Hook(void *context, DWORD track) {
    return static_cast<TPass *>(context)->Track(track);
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

}  // namespace

TStatus ReadDrive(const TReadRequest &request, TToolContext &context, std::vector<BYTE> &image,
                  std::vector<DWORD> &badTracks, TDiskGeometry &geometry) {
  TOpenResult opened = OpenDisk(request.drive, TDiskUse::Read, request.force, context.devices);
  if (!opened.disk) return {opened.exitCode, opened.message};
  TDisk &disk = *opened.disk;
  geometry = disk.Geometry();
  image.assign(static_cast<size_t>(disk.TrackCount()) * disk.TrackSize(), 0);
  TPass pass(context.console, request.quiet, "Reading", disk.TrackCount());
  for (DWORD track = 0; track < disk.TrackCount(); ++track) {
    if (!pass.Track(track))
      return TStatus::Stopped(pass.Signal(), Stopped(pass.Signal(), "reading", track,
                                                     disk.TrackCount(), request.unwritten));
    BYTE *data = image.data() + static_cast<size_t>(track) * disk.TrackSize();
    std::string error;
    if (disk.ReadTrack(track, data, error)) continue;
    if (!request.keepGoing)
      return TStatus::Failed(TrackName(disk.Geometry(), track) + " of " + disk.Name() +
                             " can't be read: " + error + "; " + request.unwritten);
    memset(data, 0, disk.TrackSize());
    badTracks.push_back(track);
  }
  return TStatus::Done();
}

TStatus ImageFits(const TDisk &disk, const std::string &path, size_t size) {
  if (size == 0 || static_cast<int64_t>(size) > disk.Capacity())
    return TStatus::Refused("the image of " + path + " has " + Number(size) +
                            " bytes; the disk in " + disk.Name() + " holds " +
                            Number(disk.Capacity()));
  if (size % disk.TrackSize() != 0)
    return TStatus::Refused("the image of " + path + " (" + Number(size) +
                            " bytes) does not end on a whole track of " + Number(disk.TrackSize()) +
                            " bytes");
  return TStatus::Done();
}

TStatus WriteWholeTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                         TToolContext &context) {
  DWORD failedTrack = kNoTrack;
  std::string message;
  TWriteOutcome written;
  int signal = 0;
  {
    TPass pass(context.console, quiet, "Writing", count);
    written = disk.WriteTracks(image.data(), count, TPass::Hook, &pass, failedTrack, message);
    signal = pass.Signal();
  }
  if (written == TWriteOutcome::Done && !disk.Flush(message)) written = TWriteOutcome::Failed;
  if (written == TWriteOutcome::Stopped)
    return TStatus::Stopped(signal, Stopped(signal, "writing", failedTrack, count,
                                            "the disk in " + disk.Name() + " holds the first " +
                                                Number(failedTrack) + " tracks of the image"));
  if (written == TWriteOutcome::Failed)
    return TStatus::Failed(
        (failedTrack == kNoTrack ? "can't write the disk in " + disk.Name()
                                 : "the disk in " + disk.Name() + " failed at " +
                                       TrackName(disk.Geometry(), failedTrack)) +
        ": " + message +
        (failedTrack == kNoTrack || failedTrack == 0
             ? ""
             : "; it holds the first " + Number(failedTrack) + " tracks of the image"));
  return TStatus::Done();
}

TStatus VerifyTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                     const std::string &whenStopped, const std::string &differ,
                     TToolContext &context) {
  std::vector<std::string> differences;
  std::vector<BYTE> track(disk.TrackSize());
  {
    TPass pass(context.console, quiet, "Verifying", count);
    for (DWORD number = 0; number < count; ++number) {
      if (!pass.Track(number))
        return TStatus::Stopped(pass.Signal(),
                                Stopped(pass.Signal(), "verifying", number, count, whenStopped));
      std::string error;
      if (!disk.ReadTrack(number, track.data(), error))
        differences.push_back(TrackName(disk.Geometry(), number) + " can't be read: " + error);
      else if (memcmp(track.data(), image.data() + static_cast<size_t>(number) * track.size(),
                      track.size()) != 0)
        differences.push_back(TrackName(disk.Geometry(), number) + " differs");
    }
  }
  for (const std::string &difference : differences) context.Say(difference);
  if (differences.empty()) return TStatus::Done();
  return TStatus::Failed(Number(differences.size()) + " of " + Number(count) + " tracks " + differ);
}
