// Choosing a disk's half (drive letter or path), and what both halves share:
// floppy geometries by size, the FAT root-folder look, track names.
#include "disk_access.h"

#include <cstdio>

namespace {

WORD Get16(const std::vector<BYTE> &bytes, size_t at) {
  return static_cast<WORD>(bytes[at] | bytes[at + 1] << 8);
}

}  // namespace

bool IsDriveName(const std::string &name) {
  return name.size() == 2 && name[1] == ':' &&
         (name[0] == 'A' || name[0] == 'a' || name[0] == 'B' || name[0] == 'b');
}

bool IsDiskSource(const std::string &name, const TDeviceEnvironment &devices) {
  return IsDriveName(name) || IsBlockDevice(name, devices);
}

TOpenResult OpenDisk(const std::string &name, TDiskUse use, bool force,
                     const TDeviceEnvironment &devices) {
  if (IsDriveName(name)) return OpenFloppyDisk(name[0], use);
  return OpenPathDisk(name, use, force, devices);
}

bool LargestFloppyGeometry(int64_t bytes, TDiskGeometry &geometry) {
  static const int64_t kSizes[] = {2949120, 1474560, 1228800, 737280,
                                   368640,  327680,  184320,  163840};
  for (int64_t size : kSizes)
    if (size <= bytes && StandardFloppyGeometry(size, geometry)) return true;
  return false;
}

bool FatRootHasFiles(const std::vector<BYTE> &start, size_t &needed) {
  needed = 512;
  if (start.size() < needed) return false;
  WORD bytesPerSector = Get16(start, 11);
  WORD reserved = Get16(start, 14);
  BYTE fats = start[16];
  WORD rootEntries = Get16(start, 17);
  WORD sectorsPerFat = Get16(start, 22);
  bool fatBootSector = (start[0] == 0xEB || start[0] == 0xE9) &&
                       (bytesPerSector == 512 || bytesPerSector == 1024) && reserved >= 1 &&
                       fats >= 1 && fats <= 2 && rootEntries > 0 && sectorsPerFat > 0;
  if (!fatBootSector) return false;
  size_t rootAt = static_cast<size_t>(bytesPerSector) * (reserved + fats * sectorsPerFat);
  needed = rootAt + static_cast<size_t>(rootEntries) * 32;
  if (start.size() < needed) return false;
  for (size_t entry = rootAt; entry < needed; entry += 32) {
    BYTE first = start[entry];
    BYTE attributes = start[entry + 11];
    if (first == 0x00) break;                           // no entries follow
    if (first == 0xE5 || attributes == 0x0F) continue;  // deleted; long-name part
    if (attributes & 0x08) continue;                    // the volume label
    return true;
  }
  return false;
}

namespace {

bool RootHasFiles(TDisk &disk) {
  std::vector<BYTE> start;
  size_t needed = 0;
  std::string error;
  for (DWORD track = 0; track < disk.TrackCount(); ++track) {
    bool found = FatRootHasFiles(start, needed);
    if (found || start.size() >= needed) return found;
    start.resize(start.size() + disk.TrackSize());
    if (!disk.ReadTrack(track, start.data() + start.size() - disk.TrackSize(), error)) return false;
  }
  return FatRootHasFiles(start, needed);
}

}  // namespace

TContent TDisk::Content() {
  TContent content;
  if (RootHasFiles(*this)) {
    content.what = "files";
  } else {
    content.kind = TContentKind::EmptyFat;
    content.what = "no files";
  }
  return content;
}

TWriteOutcome TTrackFile::WriteTracks(const BYTE *image, DWORD count, TTrackHook hook,
                                      void *context, DWORD &failedTrack, std::string &error) {
  for (DWORD track = 0; track < count; ++track) {
    failedTrack = track;
    if (hook && !hook(context, track)) return TWriteOutcome::Stopped;
    if (!Transfer(track, const_cast<BYTE *>(image) + static_cast<size_t>(track) * TrackSize(), true,
                  error))
      return TWriteOutcome::Failed;
  }
  failedTrack = kNoTrack;
  return TWriteOutcome::Done;
}

std::string TrackName(const TDiskGeometry &geometry, DWORD track) {
  DWORD heads = geometry.TracksPerCylinder ? geometry.TracksPerCylinder : 1;
  char text[80];
  snprintf(text, sizeof text, "track %lu (cylinder %lu, head %lu)",
           static_cast<unsigned long>(track) + 1, static_cast<unsigned long>(track / heads),
           static_cast<unsigned long>(track % heads));
  return text;
}
