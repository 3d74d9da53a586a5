// Drives A: and B: through the program's own FloppyIO layer: QueryMedium for
// the geometry, ReadTrack for reads, WriteImage for writes, ReleaseDrive.
#include "disk.h"
#include "files.h"
#include "floppy_io.h"
#include "image_writer.h"
#include "medium_query.h"

namespace {

// The system's answers for a disk taken out of the drive or swapped since
// the open: the NT floppy driver's not ready and media changed; DOS's
// invalid disk change (its not ready stands for every failed write there).
bool MeansChanged(DWORD code) {
  return (code == ERROR_NOT_READY && IsNtPlatform) || code == ERROR_MEDIA_CHANGED ||
         code == ERROR_WRONG_DISK;
}

class TFloppyDisk : public TDisk {
 public:
  TFloppyDisk(char letter, const TDiskGeometry &geometry)
      : TDisk(std::string(1, letter) + ":", geometry), letter_(letter) {}
  ~TFloppyDisk() override { ReleaseDrive(); }

  TStatus ReadTrack(DWORD track, BYTE *data) override {
    const DWORD size = TrackSize();
    DWORD heads = geometry_.TracksPerCylinder;
    if (::ReadTrack(letter_, geometry_, track / heads, track % heads, 0, geometry_.SectorsPerTrack,
                    data, size))
      return TStatus::Done();
    const DWORD code = GetLastError();
    changed_ = MeansChanged(code);
    return TStatus::Failed(FailureText(code));
  }

  TStatus WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                      DWORD &reached) override;

  // What the disk holds is read through ReadTrack (TDisk::Content); the
  // channel it opened for reading is given back before the write opens one.
  TContent Content() override {
    TContent content = TDisk::Content();
    ReleaseDrive();
    return content;
  }

  // The writer gives the drive back after its last track; NtRelease flushes
  // a channel opened for writing.
  TStatus Flush() override {
    ReleaseDrive();
    return TStatus::Done();
  }

  void Release() override { ReleaseDrive(); }

 private:
  char letter_;
};

// What the writer's callback needs and what it found.
struct TWriteRun {
  TTrackHook hook;
  void *context;
  TDiskGeometry geometry;
  DWORD reached;
  DWORD error;
  int signal;    // the hook's stop
  bool changed;  // the disk in the drive is not the one measured
};

// No question goes to a user: a changed medium or a failed track stops.
void WriterCallback(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action) {
  TWriteRun &run = *reinterpret_cast<TWriteRun *>(userData);
  DWORD track = static_cast<DWORD>(status.Cylinder) * status.Geometry.TracksPerCylinder +
                static_cast<DWORD>(status.Head);
  switch (event) {
    case kEventDriveReady:
      if (status.Geometry.SectorsPerTrack != run.geometry.SectorsPerTrack ||
          status.Geometry.TracksPerCylinder != run.geometry.TracksPerCylinder ||
          status.Geometry.BytesPerSector != run.geometry.BytesPerSector) {
        run.changed = true;
        action = kActionStop;
      }
      break;
    case kEventDriveFailed:
      run.error = status.Error;
      action = kActionStop;
      break;
    case kEventWriteTrack:
      if (run.hook && (run.signal = run.hook(run.context, track)) != 0) {
        run.reached = track;
        action = kActionStop;
      }
      break;
    case kEventTrackFailed:
      run.reached = track;
      run.error = status.Error;
      action = kActionStop;
      break;
  }
}

TStatus TFloppyDisk::WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                                 DWORD &reached) {
  TWriteRun run = {hook, context, geometry_, kNoTrack, 0, 0, false};
  LONG size = static_cast<LONG>(count * TrackSize());
  bool written =
      WriteImage(letter_, image, size, reinterpret_cast<ULONG_PTR>(&run), WriterCallback);
  DWORD code = run.error ? run.error : GetLastError();
  ReleaseDrive();
  reached = written ? count : run.reached;
  if (written) return TStatus::Done();
  if (run.signal) return TStatus::Stopped(run.signal, "");
  changed_ = run.changed || MeansChanged(code);
  // The first track tells a write-protected disk: nothing reached it.
  if (code == ERROR_WRITE_PROTECT && reached == 0)
    return TStatus::Refused("the disk in " + name_ + " is write-protected");
  return TStatus::Failed(FailureText(code));
}

}  // namespace

TStatus OpenFloppyDisk(char letter, TDiskUse, std::unique_ptr<TDisk> &disk) {
  std::string label;
  int64_t capacity = 0;
  bool present = false;
  TDiskGeometry geometry = {};
  const std::string name = std::string(1, letter) + ":";
  if (!QueryMedium(letter, label, capacity, present, geometry)) {
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_READY) return TStatus::Refused("no disk in drive " + name);
    return TStatus::Failed(name + " " + FailureText(code));
  }
  if (!present) return TStatus::Refused("no disk in drive " + name);
  if (geometry.SectorsPerTrack == 0 || geometry.BytesPerSector == 0 ||
      geometry.TracksPerCylinder == 0 || geometry.Cylinders <= 0 || geometry.Cylinders > 1024)
    return TStatus::Failed(name + " reports a geometry no floppy has");
  disk.reset(new TFloppyDisk(letter, geometry));
  return TStatus::Done();
}

void DiskModulesStartup() {
  FloppyIoStartup();
}
void DiskModulesShutdown() {
  FloppyIoShutdown();
}
