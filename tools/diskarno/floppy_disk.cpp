// Drives A: and B: through the program's own FloppyIO layer: QueryMedium for
// the geometry, ReadTrack for reads, WriteImage for writes, ReleaseDrive.
#include "disk_access.h"
#include "floppy_io.h"
#include "image_writer.h"
#include "medium_query.h"
#include "tool_files.h"
#include "utils.h"

namespace {

class TFloppyDisk : public TDisk {
 public:
  TFloppyDisk(char letter, const TDiskGeometry &geometry)
      : TDisk(std::string(1, letter) + ":", geometry), letter_(letter) {}
  ~TFloppyDisk() override { ReleaseDrive(); }

  bool ReadTrack(DWORD track, BYTE *data, std::string &error) override {
    const DWORD size = TrackSize();
    DWORD heads = geometry_.TracksPerCylinder;
    if (::ReadTrack(letter_, geometry_, track / heads, track % heads, 0, geometry_.SectorsPerTrack,
                    data, size))
      return true;
    error = FailureText(GetLastError());
    return false;
  }

  TWriteOutcome WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                            DWORD &failedTrack, std::string &error) override;

  TContent Content() override {
    TContent content;
    if (DiskHasFiles((std::string(1, letter_) + ":\\*.*").c_str())) {
      content.what = "files";
    } else {
      content.kind = TContentKind::EmptyFat;
      content.what = "no files";
    }
    return content;
  }

  // The writer gives the drive back after its last track; NtRelease flushes
  // a channel opened for writing.
  bool Flush(std::string &) override {
    ReleaseDrive();
    return true;
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
  DWORD failedTrack;
  DWORD error;
  bool stopped;
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
      if (run.hook && !run.hook(run.context, track)) {
        run.stopped = true;
        run.failedTrack = track;
        action = kActionStop;
      }
      break;
    case kEventTrackFailed:
      run.failedTrack = track;
      run.error = status.Error;
      action = kActionStop;
      break;
  }
}

TWriteOutcome TFloppyDisk::WriteTracks(const BYTE *image, DWORD count, TTrackHook hook,
                                       void *context, DWORD &failedTrack, std::string &error) {
  TWriteRun run = {hook, context, geometry_, kNoTrack, 0, false, false};
  LONG size = static_cast<LONG>(count * TrackSize());
  bool written =
      WriteImage(letter_, image, size, reinterpret_cast<ULONG_PTR>(&run), WriterCallback);
  DWORD code = run.error ? run.error : GetLastError();
  ReleaseDrive();
  failedTrack = run.failedTrack;
  if (written) return TWriteOutcome::Done;
  if (run.stopped) return TWriteOutcome::Stopped;
  error = run.changed ? std::string("the disk was changed") : FailureText(code);
  return TWriteOutcome::Failed;
}

}  // namespace

TOpenResult OpenFloppyDisk(char letter, TDiskUse) {
  TOpenResult result;
  std::string label;
  int64_t capacity = 0;
  bool present = false;
  TDiskGeometry geometry = {};
  const std::string name = std::string(1, letter) + ":";
  if (!QueryMedium(letter, label, capacity, present, geometry)) {
    result.message = name + " " + FailureText(GetLastError());
    result.exitCode = 1;
    return result;
  }
  if (!present) {
    result.message = "no disk in drive " + name;
    result.exitCode = 1;
    return result;
  }
  if (geometry.SectorsPerTrack == 0 || geometry.BytesPerSector == 0 ||
      geometry.TracksPerCylinder == 0 || geometry.Cylinders <= 0 || geometry.Cylinders > 1024) {
    result.message = name + " reports a geometry no floppy has";
    result.exitCode = 1;
    return result;
  }
  result.disk.reset(new TFloppyDisk(letter, geometry));
  return result;
}

void DiskModulesStartup() {
  FloppyIoStartup();
}
void DiskModulesShutdown() {
  FloppyIoShutdown();
}
