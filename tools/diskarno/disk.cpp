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

namespace {

// DMF: the 1.68 MB format of 21 sectors a track on a 1.44 MB medium, which
// the program's media table does not list.
constexpr int64_t kDmfSize = 1720320;

}  // namespace

bool FloppyFormatOfSize(int64_t bytes, TDiskGeometry &geometry) {
  if (StandardFloppyGeometry(bytes, geometry)) return true;
  if (bytes != kDmfSize) return false;
  geometry = {80, kMediaF3_1Pt44, 2, 21, 512};
  return true;
}

TStatus FloppyGeometryOfSize(const std::string &path, int64_t bytes, bool force,
                             TDiskGeometry &geometry, int64_t &leftOut) {
  static const int64_t kSizes[] = {2949120, kDmfSize, 1474560, 1228800, 737280,
                                   368640,  327680,   184320,  163840};
  leftOut = 0;
  if (FloppyFormatOfSize(bytes, geometry)) return TStatus::Done();
  if (force)
    for (int64_t size : kSizes)
      if (size <= bytes && FloppyFormatOfSize(size, geometry)) {
        leftOut = bytes - size;
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
