// A disk the tool reads or writes track by track: a floppy drive (A:, B:)
// through the program's FloppyIO layer, or a block device or image file.
// Every operation gives the tool's status; results travel through
// out-parameters.
#ifndef DISKARNO_TOOLS_DISKARNO_DISK_H
#define DISKARNO_TOOLS_DISKARNO_DISK_H

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "content.h"
#include "floppy_formats.h"
#include "media.h"
#include "status.h"

// Read: a copy of the disk is taken (read, pack); Verify: it is compared;
// Write: it is written; Format: written, at a geometry the format sets (the
// disk may be unformatted or of another format when it is opened).
enum class TDiskUse { Read, Verify, Write, Format };

// Whether a use changes the disk: it is opened for writing.
inline bool Writes(TDiskUse use) {
  return use == TDiskUse::Write || use == TDiskUse::Format;
}

inline DWORD GeometryTrackCount(const TDiskGeometry &geometry) {
  return static_cast<DWORD>(geometry.Cylinders) * geometry.TracksPerCylinder;
}

// Called before each track of a write (0-based): 0 goes on, the number of a
// signal that asked to stop stops the write there.
typedef int (*TTrackHook)(void *context, DWORD track);

// The track a write reached when it failed before its first track.
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

  // The bytes of the device or file past the last whole track of the
  // geometry, left out of every read; 0 for a disk of a floppy's size.
  int64_t LeftOut() const { return leftOut_; }

  // Reads count sectors of the track (cylinder x heads + head) from sector
  // first (0-based) into data, from the medium rather than a cache where
  // the system lets the tool. Failed with the system's text.
  virtual TStatus ReadSectors(DWORD track, DWORD first, DWORD count, BYTE *data) = 0;
  // Reads the whole track, TrackSize() bytes.
  TStatus ReadTrack(DWORD track, BYTE *data) {
    return ReadSectors(track, 0, geometry_.SectorsPerTrack, data);
  }
  // Writes tracks 0 to count - 1 from image in order, calling hook before
  // each; reached receives the track the write stopped or failed at
  // (kNoTrack when it failed before the first, count when it is done).
  // Stopped (128 + the signal) when the hook said stop; Failed with the
  // system's text.
  virtual TStatus WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                              DWORD &reached) = 0;
  // What the disk holds, looked at before a write: a blank disk and an
  // empty FAT one are written without a question. This one reads the first
  // tracks for the FAT root reader, and every track for the blank test.
  virtual TContent Content();
  // Makes the written tracks durable and lets later reads come from the
  // medium rather than a cache.
  virtual TStatus Flush() = 0;
  // Gives the device back; the disk is not used afterwards.
  virtual void Release() = 0;
  // Whether a failed read or write found the disk taken out or changed since
  // the open: the run stops there, whatever the track.
  bool Changed() const { return changed_; }

  // Formatting, on a disk opened with TDiskUse::Format. kilobytes receives
  // the capacity the drive formats when none is asked for (a 1.44 MB
  // drive's 1440), 0 when it can't tell; Refused when the drive says why it
  // can't format at all (no disk, not a floppy drive).
  virtual TStatus OwnFormat(int &kilobytes) {
    kilobytes = 0;
    return TStatus::Done();
  }
  // Refused with the reason when the drive can't lay out the format; nothing
  // changes either way.
  virtual TStatus FormatAllowed(const TFloppyFormat &format);
  // Lays out track (0-based, cylinder x heads + head) anew at the format's
  // geometry, its sectors filled with 0xF6. Failed with the system's text.
  virtual TStatus FormatTrack(const TFloppyFormat &format, DWORD track);
  // After the last track: the disk is read and written at the format's
  // geometry from now on.
  virtual TStatus EndFormat(const TFloppyFormat &format);

 protected:
  TDisk(const std::string &name, const TDiskGeometry &geometry)
      : geometry_(geometry), name_(name) {}
  TDiskGeometry geometry_;
  std::string name_;
  int64_t leftOut_ = 0;
  bool changed_ = false;
};

// A disk that moves one whole track at a time at its byte offset: an image
// file or a block device.
class TTrackFile : public TDisk {
 public:
  TStatus ReadSectors(DWORD track, DWORD first, DWORD count, BYTE *data) override;
  TStatus WriteTracks(const BYTE *image, DWORD count, TTrackHook hook, void *context,
                      DWORD &reached) override;
  // An image file is formatted at its own size: the fill bytes written
  // track by track.
  TStatus OwnFormat(int &kilobytes) override;
  TStatus FormatAllowed(const TFloppyFormat &format) override;
  TStatus FormatTrack(const TFloppyFormat &format, DWORD track) override;

 protected:
  TTrackFile(const std::string &name, const TDiskGeometry &geometry, int64_t leftOut)
      : TDisk(name, geometry) {
    leftOut_ = leftOut;
  }
  // Reads or writes size bytes at offset; Failed with the system's text.
  virtual TStatus Transfer(int64_t offset, BYTE *data, size_t size, bool write) = 0;
};

// "A:", "a:", "B:", "b:".
bool IsDriveName(const std::string &name);
// A floppy drive or a block device: something pack reads as a disk rather
// than as an image file.
bool IsDiskSource(const std::string &name);
// Opens DRIVE for reading or writing; force takes a device that is not
// removable or has no floppy's size. Refused (2) when the disk may not be
// used, Failed (1) when it can't be.
TStatus OpenDisk(const std::string &name, TDiskUse use, bool force, std::unique_ptr<TDisk> &disk);

// The platform halves: drive letters through the FloppyIO layer
// (windows/floppy_disk.cpp; linux/no_floppy.cpp where there is none), paths
// through the system's files (linux/path_disk.cpp, windows/path_disk.cpp).
TStatus OpenFloppyDisk(char letter, TDiskUse use, std::unique_ptr<TDisk> &disk);
TStatus OpenPathDisk(const std::string &path, TDiskUse use, bool force,
                     std::unique_ptr<TDisk> &disk);
bool IsBlockDevice(const std::string &path);
// Reads the whole image file at path for pack as read takes one: refused
// while a loop device over it is mounted (without force: attached at all)
// or while another run holds a lock that a read conflicts with; then as
// ReadWholeFile (files.h): at most limit bytes, size receives its size.
TStatus ReadImageInput(const std::string &path, bool force, uint64_t limit,
                       std::vector<BYTE> &bytes, uint64_t &size);
// Start and stop what the floppy half needs (the FloppyIO layer).
void DiskModulesStartup();
void DiskModulesShutdown();

// The geometry of a device or file of bytes: that of the floppy format of
// exactly that size (FloppyFormatOfSize, floppy_formats.h). With force a
// size of no format takes the largest format that fits, and leftOut
// receives the bytes past it. Refused, naming path, for a size of no
// format (with force: below 160 KB).
TStatus FloppyGeometryOfSize(const std::string &path, int64_t bytes, bool force,
                             TDiskGeometry &geometry, int64_t &leftOut);

// "track 6 (cylinder 2, head 1)": tracks count from 1 in every message,
// cylinders and heads from 0 as the drive numbers them.
std::string TrackName(const TDiskGeometry &geometry, DWORD track);
// "sector 3 of track 6 (cylinder 2, head 1)", "sectors 3 to 5 of ...":
// sectors count from 1, as the drive numbers them; first is 0-based.
std::string SectorsName(const TDiskGeometry &geometry, DWORD track, DWORD first, DWORD count);

#endif
