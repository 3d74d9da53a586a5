// A disk the tool reads or writes track by track: a floppy drive (A:, B:)
// through the program's FloppyIO layer, or a block device or image file.
#ifndef DISKARNO_TOOLS_DISKARNO_DISK_ACCESS_H
#define DISKARNO_TOOLS_DISKARNO_DISK_ACCESS_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "content_probe.h"
#include "device_environment.h"
#include "media.h"

enum class TDiskUse { Read, Write };

inline DWORD GeometryTrackCount(const TDiskGeometry &geometry) {
  return static_cast<DWORD>(geometry.Cylinders) * geometry.TracksPerCylinder;
}

// Called before each track of a transfer (0-based); false stops it there.
typedef bool (*TTrackHook)(void *context, DWORD track);

enum class TWriteOutcome { Done, Failed, Stopped };
// failedTrack of a write that failed before its first track.
constexpr DWORD kNoTrack = 0xFFFFFFFFu;

class TDisk {
 public:
  virtual ~TDisk() = default;
  TDisk(const TDisk &) = delete;
  TDisk &operator=(const TDisk &) = delete;

  const TDiskGeometry &Geometry() const { return geometry_; }
  DWORD TrackSize() const { return geometry_.SectorsPerTrack * geometry_.BytesPerSector; }
  DWORD TrackCount() const { return GeometryTrackCount(geometry_); }
  int64_t Capacity() const { return GeometryCapacity(geometry_); }
  // What the messages call the disk: "A:", "/dev/fd0".
  const std::string &Name() const { return name_; }

  // Reads the whole track (cylinder x heads + head) into data, TrackSize()
  // bytes. False with the system's text in error.
  virtual bool ReadTrack(DWORD track, BYTE *data, std::string &error) = 0;
  // Writes tracks 0 to count - 1 from image in order, calling hook before
  // each. Failed: the track that failed is in failedTrack, the text in
  // error. Stopped: the hook said stop before failedTrack.
  virtual TWriteOutcome WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                                    DWORD &failedTrack, std::string &error) = 0;
  // What the disk holds, looked at before a write: a blank disk and an
  // empty FAT one are written without a question. The default reads the FAT
  // root folder through ReadTrack.
  virtual TContent Content();
  // Makes the written tracks durable and lets later reads come from the
  // medium rather than a cache. False with the text in error.
  virtual bool Flush(std::string &error) = 0;
  // Gives the device back; the disk is not used afterwards.
  virtual void Release() = 0;

 protected:
  TDisk(const std::string &name, const TDiskGeometry &geometry)
      : geometry_(geometry), name_(name) {}
  TDiskGeometry geometry_;
  std::string name_;
};

// A disk that moves one whole track at a time at its byte offset: an image
// file or a block device.
class TTrackFile : public TDisk {
 public:
  bool ReadTrack(DWORD track, BYTE *data, std::string &error) override {
    return Transfer(track, data, false, error);
  }
  TWriteOutcome WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                            DWORD &failedTrack, std::string &error) override;

 protected:
  using TDisk::TDisk;
  // Reads or writes the whole track; false with the system's text in error.
  virtual bool Transfer(DWORD track, BYTE *data, bool write, std::string &error) = 0;
};

// The outcome of opening: a disk, or why not with the exit code (2 when the
// disk was refused, 1 when it failed).
struct TOpenResult {
  std::unique_ptr<TDisk> disk;
  std::string message;
  int exitCode = 0;
};

// "A:", "a:", "B:", "b:".
bool IsDriveName(const std::string &name);
// A floppy drive or a block device: something pack reads as a disk rather
// than as an image file.
bool IsDiskSource(const std::string &name, const TDeviceEnvironment &devices);
// Opens DRIVE for reading or writing; force takes a device that is not
// removable or has no floppy's size.
TOpenResult OpenDisk(const std::string &name, TDiskUse use, bool force,
                     const TDeviceEnvironment &devices);

// The platform halves: drive letters through the FloppyIO layer
// (floppy_disk.cpp, or floppy_disk_none.cpp where there are none), paths
// through the system's files (path_disk_posix.cpp, path_disk_windows.cpp).
TOpenResult OpenFloppyDisk(char letter, TDiskUse use);
TOpenResult OpenPathDisk(const std::string &path, TDiskUse use, bool force,
                         const TDeviceEnvironment &devices);
bool IsBlockDevice(const std::string &path, const TDeviceEnvironment &devices);
// Start and stop what the floppy half needs (the FloppyIO layer).
void DiskModulesStartup();
void DiskModulesShutdown();

// The largest standard floppy geometry of at most bytes; false below 160 KB.
bool LargestFloppyGeometry(int64_t bytes, TDiskGeometry &geometry);
// Whether the FAT root folder in the first bytes of a disk holds an entry
// other than the volume label. needed receives how many bytes of the disk
// the answer takes; when start is shorter, the answer is false. A disk
// without a FAT boot sector holds no files as far as this can tell.
bool FatRootHasFiles(const std::vector<BYTE> &start, size_t &needed);

// "track 6 (cylinder 2, head 1)": tracks count from 1 in every message,
// cylinders and heads from 0 as the drive numbers them.
std::string TrackName(const TDiskGeometry &geometry, DWORD track);

#endif
