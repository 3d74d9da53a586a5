// Block devices and image files on Linux. A device is read or written only
// when it is removable, not mounted and of a floppy's size (--force takes
// the first and the last as given); it is opened exclusively, so that the
// kernel refuses it while mounted or held by someone else. An image file is
// locked for the run, and one that backs a loop device is not written
// (--force writes it while the loop device is not mounted).
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "block_devices.h"
#include "content_probe.h"
#include "disk.h"
#include "disk_format.h"
#include "medium_state.h"

namespace {

std::string SystemText(int code) {
  return strerror(code);
}

// Later reads come from the medium, not from the page cache: the buffer
// cache of a device is dropped (this needs privileges; the advice does the
// same for the pages that are not dirty). Pages another process read in
// stay cached while it holds the device open.
void DropCachedPages(int file, bool device) {
  if (device) ioctl(file, BLKFLSBUF, 0);
  posix_fadvise(file, 0, 0, POSIX_FADV_DONTNEED);
}

class TPathDisk : public TTrackFile {
 public:
  TPathDisk(const std::string &name, const TDiskGeometry &geometry, int file,
            const std::string &number, int64_t size)
      : TTrackFile(name, geometry),
        file_(file),
        device_(!number.empty()),
        number_(number),
        size_(size) {}
  ~TPathDisk() override { Release(); }

  TContent Content() override { return ProbeContent(file_, Capacity()); }

  TStatus Flush() override {
    if (fsync(file_) != 0) return TStatus::Failed(SystemText(errno));
    DropCachedPages(file_, device_);
    return TStatus::Done();
  }

  void Release() override {
    format_.reset();
    if (file_ >= 0) close(file_);
    file_ = -1;
  }

  // A device formats through its driver's requests (disk_format.h), an
  // image file as TTrackFile does.
  TStatus OwnFormat(int &kilobytes) override {
    return device_ ? Formatting().OwnFormat(kilobytes) : TTrackFile::OwnFormat(kilobytes);
  }
  TStatus FormatAllowed(const TFloppyFormat &format) override {
    return device_ ? Formatting().Allowed(format) : TTrackFile::FormatAllowed(format);
  }
  TStatus FormatTrack(const TFloppyFormat &format, DWORD track) override {
    return device_ ? Formatting().Track(format, track) : TTrackFile::FormatTrack(format, track);
  }
  TStatus EndFormat(const TFloppyFormat &format) override {
    TStatus ended = device_ ? Formatting().End() : TStatus::Done();
    return ended.Ok() ? TDisk::EndFormat(format) : ended;
  }

 private:
  TStatus Transfer(DWORD track, BYTE *data, bool write) override {
    size_t size = TrackSize();
    off_t at = static_cast<off_t>(track) * static_cast<off_t>(size);
    size_t done = 0;
    while (done < size) {
      ssize_t moved = write ? pwrite(file_, data + done, size - done, at + done)
                            : pread(file_, data + done, size - done, at + done);
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0) {
        int code = errno;
        changed_ = MediumChanged(file_, number_, size_, code);
        return TStatus::Failed(SystemText(code));
      }
      if (moved == 0) return TStatus::Failed("the disk ends before this track");
      done += static_cast<size_t>(moved);
    }
    return TStatus::Done();
  }

  TDeviceFormat &Formatting() {
    if (!format_) format_ = DeviceFormatFor(file_, name_, number_);
    return *format_;
  }

  int file_;
  bool device_;
  std::string number_;  // "major:minor" of a device
  int64_t size_;        // the device's size at the open
  std::unique_ptr<TDeviceFormat> format_;
};

// Why a device may not be used; empty when it may.
std::string DeviceRefusal(const std::string &path,
                          const std::string &number, bool force) {
  if (!Removable(number) && !force)
    return path + " is not a removable disk; give --force if it really is the floppy";
  std::string mountPoint = MountPointOf(number);
  if (!mountPoint.empty()) return path + " is mounted on " + mountPoint + "; unmount it first";
  return "";
}

// Why an image file may not be written while loop devices use it; empty
// when it may.
std::string LoopRefusal(const std::string &path, bool force) {
  for (const TLoopUse &use : LoopDevicesOf(path)) {
    if (!use.mountPoint.empty())
      return path + " backs the loop device " + use.device + ", mounted on " + use.mountPoint +
             "; nothing written (unmount it and detach it with losetup -d " + use.device + ")";
    if (!force)
      return path + " backs the loop device " + use.device +
             "; nothing written (detach it with losetup -d " + use.device +
             ", or give --force to write it all the same)";
  }
  return "";
}

}  // namespace

bool IsBlockDevice(const std::string &path) {
  return !DeviceNumber(path).empty();
}

TStatus OpenPathDisk(const std::string &path, TDiskUse use, bool force,
                     std::unique_ptr<TDisk> &disk) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return TStatus::Refused("can't open " + path + ": " + SystemText(errno));
  const std::string number = DeviceNumber(path);
  const bool device = !number.empty();
  const bool write = use != TDiskUse::Read;
  if (!device && !S_ISREG(status.st_mode))
    return TStatus::Refused(path + " is neither a block device nor an image file");
  std::string refusal = device ? DeviceRefusal(path, number, force)
                               : (write ? LoopRefusal(path, force) : std::string());
  if (!refusal.empty()) return TStatus::Refused(refusal);
  int flags = (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (device ? O_EXCL : 0) |
              (use == TDiskUse::Format ? FormatOpenFlags(number) : 0);
  int file = open(path.c_str(), flags);
  if (file < 0) return TStatus::Refused(OpenFailureText(path, number, write, errno));
  if (!LockImageFile(file, write)) {
    int code = errno;
    close(file);
    return TStatus::Refused(code == EAGAIN ? path + " is in use by another diskarno or program that locked it"
                                 : "can't lock " + path + ": " + SystemText(code));
  }
  int64_t size = status.st_size;
  uint64_t deviceSize = 0;
  if (S_ISBLK(status.st_mode) && ioctl(file, BLKGETSIZE64, &deviceSize) == 0)
    size = static_cast<int64_t>(deviceSize);
  TDiskGeometry geometry = {};
  bool standard = StandardFloppyGeometry(size, geometry);
  if (use == TDiskUse::Format) {
    // A disk to format may be unformatted or of another format; an image
    // file must have a format's size.
    geometry = FormatOpenGeometry(file, number, size);
    standard = device || geometry.Cylinders > 0;
  }
  if (!standard && !(use != TDiskUse::Format && force && LargestFloppyGeometry(size, geometry))) {
    close(file);
    return TStatus::Refused(path + " has " + std::to_string(size) + " bytes, no floppy's size" +
                  (size >= 163840 ? "; --force takes it as the largest floppy that fits" : ""));
  }
  // What the disk holds now, not what an earlier reader left in the cache.
  if (device) DropCachedPages(file, device);
  disk.reset(new TPathDisk(path, geometry, file, number, size));
  return TStatus::Done();
}
