// Drives A: and B: through the program's own FloppyIO layer: QueryMedium for
// the geometry, ReadTrack for reads (a track or a run of its sectors),
// WriteImage for writes, ReleaseDrive.
#include "disk.h"
#include "files.h"
#include "floppy_io.h"
#include "image_writer.h"
#include "medium_query.h"
#include "track_formatter.h"

namespace {

// The system's answers for a disk taken out of the drive or swapped since
// the open: the NT floppy driver's not ready and media changed; DOS's
// invalid disk change (its not ready stands for every failed write there).
bool MeansChanged(DWORD code) {
  return (code == ERROR_NOT_READY && IsNtPlatform) || code == ERROR_MEDIA_CHANGED ||
         code == ERROR_WRONG_DISK;
}

// The format's FAT parameters, as DOS keeps them with the medium.
TFormatBpb BpbOf(const TFloppyFormat &format) {
  return {format.sectorsPerCluster, format.rootEntries, format.mediaDescriptor,
          format.sectorsPerFat};
}

class TFloppyDisk : public TDisk {
 public:
  TFloppyDisk(char letter, const TDiskGeometry &geometry)
      : TDisk(std::string(1, letter) + ":", geometry), letter_(letter) {}
  ~TFloppyDisk() override { ReleaseDrive(); }

  TStatus ReadSectors(DWORD track, DWORD first, DWORD count, BYTE *data) override {
    const DWORD size = count * geometry_.BytesPerSector;
    DWORD heads = geometry_.TracksPerCylinder;
    if (::ReadTrack(letter_, geometry_, track / heads, track % heads, first, count, data, size))
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

  // Formats through the floppy layer's tool-only track formatter.
  TStatus OwnFormat(int &kilobytes) override {
    TDiskGeometry largest = {};
    const TFloppyFormat *own =
        LargestFormat(letter_, largest) ? FloppyFormatOfSize(GeometryCapacity(largest)) : nullptr;
    kilobytes = own ? own->kilobytes : 0;
    return TStatus::Done();
  }

  TStatus FormatAllowed(const TFloppyFormat &format) override {
    // A media type lays out its own sectors a track: DMF's 21 have none.
    TDiskGeometry laidOut = {};
    if (!StandardFloppyGeometry(CapacityOf(format), laidOut))
      return TStatus::Refused("Windows has no media type for the " +
                              std::to_string(format.kilobytes) + " KB format to lay out");
    bool supported = false;
    if (!CanFormat(letter_, GeometryOf(format), BpbOf(format), supported)) {
      const DWORD code = GetLastError();
      if (code == ERROR_NOT_READY) return TStatus::Refused("no disk in drive " + name_);
      return TStatus::Refused("drive " + name_ +
                              " can't be asked what it formats: " + FailureText(code));
    }
    if (supported) return TStatus::Done();
    return TStatus::Refused("drive " + name_ + " does not format " +
                            std::to_string(format.kilobytes) + " KB disks");
  }

  TStatus FormatTrack(const TFloppyFormat &format, DWORD track) override {
    if (::FormatTrack(letter_, GeometryOf(format), BpbOf(format), track / format.heads,
                      track % format.heads))
      return TStatus::Done();
    const DWORD code = GetLastError();
    ReleaseDrive();
    // The first track tells an empty drive and a write-protected disk:
    // nothing changed then.
    if (track == 0 && code == ERROR_NOT_READY) return TStatus::Refused("no disk in drive " + name_);
    if (track == 0 && code == ERROR_WRITE_PROTECT)
      return TStatus::Refused("the disk in " + name_ + " is write-protected");
    changed_ = MeansChanged(code);
    return TStatus::Failed(FailureText(code));
  }

  TStatus EndFormat(const TFloppyFormat &format) override {
    ReleaseDrive();
    formatted_ = true;
    return TDisk::EndFormat(format);
  }

 private:
  // After a format the geometry is known: the tracks go straight to the
  // floppy layer. The writer's own look at the medium would find no file
  // system yet, and DOS then describes the drive's own medium (1.44 MB for
  // a 720 KB disk just formatted).
  TStatus WriteFormattedTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                               DWORD &reached) {
    const DWORD heads = geometry_.TracksPerCylinder;
    const DWORD size = TrackSize();
    TStatus status;
    for (reached = 0; reached < count; ++reached) {
      if (int signal = hook ? hook(context, reached) : 0) {
        status = TStatus::Stopped(signal, "");
        break;
      }
      if (!::WriteTrack(letter_, geometry_, reached / heads, reached % heads, 0,
                        geometry_.SectorsPerTrack, image + static_cast<size_t>(reached) * size,
                        size)) {
        const DWORD code = GetLastError();
        changed_ = MeansChanged(code);
        status = TStatus::Failed(FailureText(code));
        break;
      }
    }
    ReleaseDrive();
    return status;
  }

  char letter_;
  bool formatted_ = false;
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
  if (formatted_) return WriteFormattedTracks(image, count, hook, context, reached);
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

TStatus OpenFloppyDisk(char letter, TDiskUse use, std::unique_ptr<TDisk> &disk) {
  std::string label;
  int64_t capacity = 0;
  bool present = false;
  TDiskGeometry geometry = {};
  const std::string name = std::string(1, letter) + ":";
  const bool known = QueryMedium(letter, label, capacity, present, geometry);
  if (use == TDiskUse::Format) {
    // Unformatted, or of a format the drive does not read: nothing to go
    // by but the format's own geometry (an empty drive shows at the first
    // track).
    if (!known || !present) geometry = TDiskGeometry();
    disk.reset(new TFloppyDisk(letter, geometry));
    return TStatus::Done();
  }
  if (!known) {
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
