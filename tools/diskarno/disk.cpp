// Choosing a disk's half (drive letter or path), and what both halves share:
// floppy geometries by size, the look at what a disk holds, track names.
#include "disk.h"

#include <cstdio>
#include <vector>

bool IsDriveName(const std::string &name) {
  return name.size() == 2 && name[1] == ':' &&
         (name[0] == 'A' || name[0] == 'a' || name[0] == 'B' || name[0] == 'b');
}

bool IsDiskSource(const std::string &name) {
  return IsDriveName(name) || IsBlockDevice(name);
}

TStatus OpenDisk(const std::string &name, TDiskUse use, bool force, std::unique_ptr<TDisk> &disk) {
  disk.reset();
  if (IsDriveName(name)) return OpenFloppyDisk(name[0], use, disk);
  return OpenPathDisk(name, use, force, disk);
}

bool LargestFloppyGeometry(int64_t bytes, TDiskGeometry &geometry) {
  static const int64_t kSizes[] = {2949120, 1474560, 1228800, 737280,
                                   368640,  327680,  184320,  163840};
  for (int64_t size : kSizes)
    if (size <= bytes && StandardFloppyGeometry(size, geometry)) return true;
  return false;
}

namespace {

TContent Holding(const std::string &what) {
  TContent content;
  content.what = what;
  return content;
}

}  // namespace

TContent TDisk::Content() {
  std::vector<BYTE> start;
  size_t needed = 0;
  TFatVerdict verdict = TFatVerdict::NeedMore;
  for (DWORD track = 0; track < TrackCount() && verdict == TFatVerdict::NeedMore; ++track) {
    start.resize(start.size() + TrackSize());
    TStatus read = ReadTrack(track, start.data() + start.size() - TrackSize());
    if (!read.Ok()) return Holding("data that can't be read (" + read.message + ")");
    verdict = LookAtFatRoot(start.data(), start.size(), Capacity(), needed);
  }
  if (verdict == TFatVerdict::Empty) {
    TContent content;
    content.kind = TContentKind::EmptyFat;
    content.what = "a FAT file system without files";
    return content;
  }
  if (verdict == TFatVerdict::HoldsFiles) return Holding("a FAT file system with files");
  // No FAT: a blank disk goes, anything else is data of some kind.
  std::vector<BYTE> track(TrackSize());
  const BYTE first = start.empty() ? 0 : start[0];
  for (DWORD number = 0; number < TrackCount(); ++number) {
    const BYTE *data = start.data() + static_cast<size_t>(number) * TrackSize();
    if (static_cast<size_t>(number + 1) * TrackSize() > start.size()) {
      TStatus read = ReadTrack(number, track.data());
      if (!read.Ok()) return Holding("data that can't be read (" + read.message + ")");
      data = track.data();
    }
    for (DWORD n = 0; n < TrackSize(); ++n)
      if (data[n] != first) return Holding("data that is no FAT file system");
  }
  TContent content;
  content.kind = TContentKind::Blank;
  content.what = "no data (every byte the same)";
  return content;
}

TStatus TDisk::FormatAllowed(const TFloppyFormat &) {
  return TStatus::Refused(Name() + " can't be formatted by this tool");
}

TStatus TDisk::FormatTrack(const TFloppyFormat &, DWORD) {
  return TStatus::Failed(Name() + " can't be formatted by this tool");
}

TStatus TDisk::EndFormat(const TFloppyFormat &format) {
  geometry_ = GeometryOf(format);
  return TStatus::Done();
}

TStatus TTrackFile::OwnFormat(int &kilobytes) {
  const TFloppyFormat *own = FloppyFormatOfSize(Capacity());
  kilobytes = own ? own->kilobytes : 0;
  return TStatus::Done();
}

TStatus TTrackFile::FormatAllowed(const TFloppyFormat &format) {
  if (CapacityOf(format) == Capacity()) return TStatus::Done();
  return TStatus::Refused("an image file is formatted at its own size, and " + Name() + " has " +
                          std::to_string(Capacity()) + " bytes, not the " +
                          std::to_string(CapacityOf(format)) + " of " +
                          std::to_string(format.kilobytes) + " KB (truncate -s makes a file of " +
                          "the size wanted)");
}

TStatus TTrackFile::FormatTrack(const TFloppyFormat &format, DWORD track) {
  geometry_ = GeometryOf(format);
  std::vector<BYTE> fill(TrackSize(), kFormatFill);
  return Transfer(track, fill.data(), true);
}

TStatus TTrackFile::WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                                DWORD &reached) {
  for (reached = 0; reached < count; ++reached) {
    if (int signal = hook ? hook(context, reached) : 0) return TStatus::Stopped(signal, "");
    TStatus written =
        Transfer(reached, const_cast<BYTE *>(image) + static_cast<size_t>(reached) * TrackSize(),
                 true);
    if (!written.Ok()) return written;
  }
  return TStatus::Done();
}

std::string TrackName(const TDiskGeometry &geometry, DWORD track) {
  DWORD heads = geometry.TracksPerCylinder ? geometry.TracksPerCylinder : 1;
  char text[80];
  snprintf(text, sizeof text, "track %lu (cylinder %lu, head %lu)",
           static_cast<unsigned long>(track) + 1, static_cast<unsigned long>(track / heads),
           static_cast<unsigned long>(track % heads));
  return text;
}
