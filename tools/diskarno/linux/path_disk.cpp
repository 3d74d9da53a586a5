// Block devices and image files on Linux. A device is read or written only
// when it is removable, not mounted and of a floppy's size (--force takes
// the first and the last as given); it is opened exclusively, so that the
// kernel refuses it while mounted or held by someone else. Nothing over the
// same bytes may be mounted: no partition of it, no loop device over the
// same file. An image file is locked for the run, and one that backs a loop
// device is not written or copied (--force takes it while the loop device
// is not mounted). Reads of a device bypass the cache. A device formats
// through its driver's requests (disk_format.h); failures are told in the
// system's words for the medium (medium_state.h).
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "block_devices.h"
#include "content_probe.h"
#include "disk.h"
#include "disk_format.h"
#include "files.h"
#include "medium_state.h"

namespace {

// Direct reads want the buffer, offset and size aligned to the device's
// logical block; 4096 covers every block size a floppy or USB drive has.
constexpr size_t kDirectAlignment = 4096;

std::string SystemText(int code) {
  return strerror(code);
}

struct TFreeAligned {
  void operator()(BYTE *bytes) const { free(bytes); }
};

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
  TPathDisk(const std::string &name, const TDiskGeometry &geometry, int64_t leftOut, int file,
            const std::string &number, int backing, int64_t size)
      : TTrackFile(name, geometry, leftOut),
        file_(file),
        backing_(backing),
        device_(!number.empty()),
        number_(number),
        size_(size) {}
  ~TPathDisk() override { Release(); }

  // libblkid reads through the same description, with buffers of its own.
  // Partitions the kernel found count as well, whatever the first sectors
  // look like now.
  TContent Content() override {
    SetDirect(false);
    TContent content = ProbeContent(file_, Capacity());
    const std::vector<std::string> partitions =
        device_ ? PartitionsOf(number_) : std::vector<std::string>();
    for (size_t n = 0; n < partitions.size(); ++n)
      content.what += (n ? ", " : "; the system sees the partitions ") + partitions[n];
    if (!partitions.empty()) content.kind = TContentKind::Holds;
    return content;
  }

  TStatus Flush() override {
    if (fsync(file_) != 0) return TStatus::Failed(SystemText(errno));
    DropCachedPages(file_, device_);
    return TStatus::Done();
  }

  void Release() override {
    format_.reset();
    for (int *file : {&file_, &backing_}) {
      if (*file >= 0) close(*file);
      *file = -1;
    }
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
  TStatus Transfer(int64_t offset, BYTE *data, size_t size, bool write) override {
    if (device_ && !write && !directFails_) {
      TStatus read = ReadDirect(offset, data, size);
      if (!directFails_) return read;
    }
    SetDirect(false);
    if (device_ && !write) {
      // No direct read: a cached page may hold what the medium held before,
      // and a read ahead spreads one bad sector's failure to its neighbours.
      posix_fadvise(file_, 0, 0, POSIX_FADV_RANDOM);
      posix_fadvise(file_, offset, static_cast<off_t>(size), POSIX_FADV_DONTNEED);
    }
    size_t done = 0;
    while (done < size) {
      ssize_t moved = write ? pwrite(file_, data + done, size - done, offset + done)
                            : pread(file_, data + done, size - done, offset + done);
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0) return Failure(errno);
      if (moved == 0) return TStatus::Failed("the disk ends before this track");
      done += static_cast<size_t>(moved);
    }
    return TStatus::Done();
  }

  // A transfer that failed with code; changed_ says whether the medium was
  // taken out or changed since the open.
  TStatus Failure(int code) {
    changed_ = MediumChanged(file_, number_, size_, code);
    return TStatus::Failed(SystemText(code));
  }

  // Reads past the cache (O_DIRECT) through an aligned buffer; where the
  // device or file system takes no direct read (EINVAL), sets directFails_.
  TStatus ReadDirect(int64_t offset, BYTE *data, size_t size) {
    const size_t whole = (size + kDirectAlignment - 1) / kDirectAlignment * kDirectAlignment;
    if (whole > bounceSize_) {
      void *memory = nullptr;
      if (posix_memalign(&memory, kDirectAlignment, whole) != 0)
        return TStatus::Failed(SystemText(ENOMEM));
      bounce_.reset(static_cast<BYTE *>(memory));
      bounceSize_ = whole;
    }
    if (!SetDirect(true)) {
      directFails_ = true;
      return TStatus::Done();
    }
    size_t done = 0;
    while (done < size) {
      ssize_t moved = pread(file_, bounce_.get() + done, size - done, offset + done);
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0 && errno == EINVAL) directFails_ = true;
      if (moved < 0) return Failure(errno);
      if (moved == 0) return TStatus::Failed("the disk ends before this track");
      done += static_cast<size_t>(moved);
    }
    memcpy(data, bounce_.get(), size);
    return TStatus::Done();
  }

  // Turns direct reads on or off for the description; false when the
  // system refuses.
  bool SetDirect(bool on) {
    if (direct_ == on) return true;
    const int flags = fcntl(file_, F_GETFL);
    if (flags < 0 || fcntl(file_, F_SETFL, on ? flags | O_DIRECT : flags & ~O_DIRECT) != 0)
      return false;
    direct_ = on;
    return true;
  }

  TDeviceFormat &Formatting() {
    if (!format_) format_ = DeviceFormatFor(file_, name_, number_);
    return *format_;
  }

  int file_;
  int backing_;  // the locked backing file of a loop device, or -1
  bool device_;
  std::string number_;  // "major:minor" of a device
  int64_t size_;        // the device's size at the open
  bool direct_ = false;
  bool directFails_ = false;
  std::unique_ptr<BYTE, TFreeAligned> bounce_;
  size_t bounceSize_ = 0;
  std::unique_ptr<TDeviceFormat> format_;
};

// Why a device may not be used; empty when it may.
std::string DeviceRefusal(const std::string &path, const std::string &number, bool force) {
  if (!Removable(number) && !force)
    return path + " is not a removable disk; give --force if it really is the floppy";
  return InUseRefusal(path, number, force);
}

// Opens the file at path (the device number, empty for a file) for the
// run and locks it; -1 with the refusal, in the system's words for the
// medium (OpenFailureText).
int OpenLocked(const std::string &path, const std::string &number, int flags, bool write,
               TStatus &status) {
  int file = open(path.c_str(), flags);
  if (file < 0) {
    status = TStatus::Refused(OpenFailureText(path, number, write, errno));
    return -1;
  }
  if (!LockImageFile(file, write)) {
    int code = errno;
    close(file);
    status = TStatus::Refused(
        code == EAGAIN ? path + " is in use by another diskarno or program that locked it"
                       : "can't lock " + path + ": " + SystemText(code));
    return -1;
  }
  return file;
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
  const bool write = Writes(use);
  if (!device && !S_ISREG(status.st_mode))
    return TStatus::Refused(path + " is neither a block device nor an image file");
  // A comparison takes what is there; a copy or a write must not meet a
  // file system that changes under it.
  std::string refusal = device ? DeviceRefusal(path, number, force)
                               : (use != TDiskUse::Verify ? InUseRefusal(path, "", force) : "");
  if (!refusal.empty()) return TStatus::Refused(refusal);
  auto readOnly = [&path] {
    return TStatus::Refused(path + " is read-only (a write-protected disk, or a device attached "
                                   "read-only); nothing written");
  };
  if (write && device && ReadOnlyDevice(number)) return readOnly();
  TStatus opened;
  const int file =
      OpenLocked(path, number,
                 (write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (device ? O_EXCL : 0) |
                     (use == TDiskUse::Format ? FormatOpenFlags(number) : 0),
                 write, opened);
  if (file < 0) return opened;
  int markedReadOnly = 0;
  if (write && device && ioctl(file, BLKROGET, &markedReadOnly) == 0 && markedReadOnly) {
    close(file);
    return readOnly();
  }
  // A loop device's file is locked as well, so that a run on the file
  // itself sees this one.
  int backing = -1;
  const std::string backingFile = device ? BackingFileOf(number) : "";
  if (!backingFile.empty()) {
    backing = OpenLocked(backingFile, "", (write ? O_RDWR : O_RDONLY) | O_CLOEXEC, write, opened);
    if (backing < 0 && opened.message.find(" is in use ") != std::string::npos) {
      close(file);
      return TStatus::Refused(path + " uses the file " + backingFile +
                              ", in use by another diskarno or program that locked it");
    }
  }
  int64_t size = status.st_size;
  uint64_t deviceSize = 0;
  if (S_ISBLK(status.st_mode) && ioctl(file, BLKGETSIZE64, &deviceSize) == 0)
    size = static_cast<int64_t>(deviceSize);
  TDiskGeometry geometry = {};
  int64_t leftOut = 0;
  TStatus sized = TStatus::Done();
  if (use == TDiskUse::Format) {
    // A disk to format may be unformatted or of another format; an image
    // file must have a format's size.
    geometry = FormatOpenGeometry(file, number, size);
    if (!device && geometry.Cylinders == 0)
      sized = TStatus::Refused(path + " has " + Number(size) + " bytes, no floppy's size");
  } else {
    sized = FloppyGeometryOfSize(path, size, force, geometry, leftOut);
  }
  if (!sized.Ok()) {
    close(file);
    if (backing >= 0) close(backing);
    return sized;
  }
  // What the disk holds now, not what an earlier reader left in the cache.
  if (device) DropCachedPages(file, device);
  disk.reset(new TPathDisk(path, geometry, leftOut, file, number, backing, size));
  return TStatus::Done();
}

TStatus ReadImageInput(const std::string &path, bool force, uint64_t limit,
                       std::vector<BYTE> &bytes, uint64_t &size) {
  size = 0;
  std::string refusal = InUseRefusal(path, "", force);
  if (!refusal.empty()) return TStatus::Refused(refusal);
  TStatus status;
  const int file = OpenLocked(path, "", O_RDONLY | O_CLOEXEC, false, status);
  if (file < 0) return status;
  struct stat opened;
  if (fstat(file, &opened) != 0) {
    status = TStatus::Refused("can't read " + path + ": " + SystemText(errno));
  } else if (static_cast<uint64_t>(opened.st_size) > limit) {
    size = static_cast<uint64_t>(opened.st_size);
    status = TStatus::Refused(path + " has " + Number(opened.st_size) + " bytes");
  } else {
    size = static_cast<uint64_t>(opened.st_size);
    bytes.resize(static_cast<size_t>(size));
    size_t done = 0;
    while (done < bytes.size() && status.Ok()) {
      ssize_t got = read(file, bytes.data() + done, bytes.size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0)
        status = TStatus::Refused("can't read " + path + ": " +
                                  (got < 0 ? SystemText(errno) : std::string("it ended early")));
      else
        done += static_cast<size_t>(got);
    }
  }
  close(file);
  return status;
}
