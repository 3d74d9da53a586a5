// Choosing a disk's half (drive letter or path), and what both halves share:
// floppy geometries by size, the look at what a disk holds, track and
// sector names.
#include "disk.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "files.h"

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

TStatus FloppyGeometryOfSize(const std::string &path, int64_t bytes, bool force,
                             TDiskGeometry &geometry, int64_t &leftOut) {
  leftOut = 0;
  const TFloppyFormat *format = FloppyFormatOfSize(bytes);
  if (!format && force && (format = LargestFloppyFormatWithin(bytes)) != nullptr)
    leftOut = bytes - CapacityOf(*format);
  if (format) {
    geometry = GeometryOf(*format);
    return TStatus::Done();
  }
  return TStatus::Refused(path + " has " + Number(bytes) + " bytes, no floppy's size" +
                          (bytes >= 163840 && !force
                               ? "; --force takes it as the largest floppy that fits"
                               : ""));
}

namespace {

// A disk's bytes through its track reads.
class TTrackBytes : public TDiskBytes {
 public:
  explicit TTrackBytes(TDisk &disk) : disk_(disk), track_(disk.TrackSize()) {}
  bool Read(int64_t offset, unsigned char *data, size_t size, std::string &error) override {
    const int64_t trackSize = disk_.TrackSize();
    while (size > 0) {
      const DWORD track = static_cast<DWORD>(offset / trackSize);
      const size_t within = static_cast<size_t>(offset % trackSize);
      if (track >= disk_.TrackCount()) {
        error = "the disk ends early";
        return false;
      }
      if (track != loaded_) {
        TStatus read = disk_.ReadTrack(track, track_.data());
        loaded_ = read.Ok() ? track : kNoTrack;
        if (!read.Ok()) {
          error = read.message;
          return false;
        }
      }
      const size_t piece = track_.size() - within < size ? track_.size() - within : size;
      memcpy(data, track_.data() + within, piece);
      data += piece;
      offset += static_cast<int64_t>(piece);
      size -= piece;
    }
    return true;
  }

 private:
  TDisk &disk_;
  std::vector<BYTE> track_;
  DWORD loaded_ = kNoTrack;
};

TContent Holding(const std::string &what) {
  TContent content;
  content.what = what;
  return content;
}

}  // namespace

TContent TDisk::Content() {
  TTrackBytes bytes(*this);
  std::vector<BYTE> start;
  size_t needed = 512;
  TFatVerdict verdict = TFatVerdict::NeedMore;
  std::string error;
  while (verdict == TFatVerdict::NeedMore) {
    if (static_cast<int64_t>(needed) > Capacity()) break;
    start.resize(needed);
    if (!bytes.Read(0, start.data(), start.size(), error))
      return Holding("data that can't be read (" + error + ")");
    verdict = LookAtFatRoot(start.data(), start.size(), Capacity(), needed);
  }
  if (verdict == TFatVerdict::Empty || verdict == TFatVerdict::HoldsFiles)
    return FatContent("a FAT file system", verdict, start.data(), Capacity(), bytes);
  // No FAT: a blank disk goes, anything else is data of some kind.
  bool same = false;
  if (!AllBytesSame(bytes, 0, Capacity(), same, error))
    return Holding("data that can't be read (" + error + ")");
  if (!same) return Holding("data that is no FAT file system");
  TContent content;
  content.kind = TContentKind::Blank;
  content.what = "no data (every byte the same)";
  return content;
}

TStatus TTrackFile::ReadSectors(DWORD track, DWORD first, DWORD count, BYTE *data) {
  const int64_t sector = geometry_.BytesPerSector;
  return Transfer(static_cast<int64_t>(track) * TrackSize() + first * sector, data,
                  static_cast<size_t>(count * sector), false);
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
  return Transfer(static_cast<int64_t>(track) * TrackSize(), fill.data(), fill.size(), true);
}

TStatus TTrackFile::WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                                DWORD &reached) {
  for (reached = 0; reached < count; ++reached) {
    if (int signal = hook ? hook(context, reached) : 0) return TStatus::Stopped(signal, "");
    const size_t at = static_cast<size_t>(reached) * TrackSize();
    TStatus written = Transfer(static_cast<int64_t>(at), const_cast<BYTE *>(image) + at,
                               TrackSize(), true);
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

std::string SectorsName(const TDiskGeometry &geometry, DWORD track, DWORD first, DWORD count) {
  return (count == 1 ? "sector " + Number(first + 1)
                     : "sectors " + Number(first + 1) + " to " + Number(first + count)) +
         " of " + TrackName(geometry, track);
}
