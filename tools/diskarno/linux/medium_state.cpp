// The medium's state from errno values, the device's size and the floppy
// driver's drive status.
#include "medium_state.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/fd.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

namespace {

// Whether the floppy driver sees the disk-change line, as it does while a
// drive is empty; asked through an open that does not need a readable disk.
bool FloppyDriveEmpty(const std::string &path) {
  int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (file < 0) return true;
  struct floppy_drive_struct state = {};
  const bool polled = ioctl(file, FDPOLLDRVSTAT, &state) == 0;
  close(file);
  return !polled || (state.flags & FD_DISK_CHANGED) != 0;
}

}  // namespace

bool IsFloppyControllerDevice(const std::string &number) {
  return number.compare(0, 2, "2:") == 0;
}

std::string OpenFailureText(const std::string &path, const std::string &number, bool write,
                            int code) {
  const bool device = !number.empty();
  // The floppy driver refuses an unformatted disk, or one of a format it
  // does not find, as it refuses an empty drive.
  if (device && code == ENXIO && IsFloppyControllerDevice(number) && !FloppyDriveEmpty(path))
    return "the disk in " + path + " can't be read: it is not formatted, or not in a format " +
           "this drive reads (diskarno format formats it)";
  if (device && (code == ENXIO || code == ENOMEDIUM)) return "no disk in drive " + path;
  // A device the kernel marks read-only was refused before the open.
  if (device && write && code == EROFS)
    return "the disk in " + path + " is write-protected";
  return "can't open " + path + ": " + strerror(code) +
         (code == EBUSY ? " (mounted or in use)" : "");
}

bool MediumChanged(int file, const std::string &number, int64_t openedSize, int code) {
  if (number.empty()) return false;
  if (code == ENOMEDIUM || code == ENXIO) return true;
  if (IsFloppyControllerDevice(number)) {
    // The driver fails every request after it saw the disk-change line;
    // polling the drive tells that from a bad sector.
    struct floppy_drive_struct state = {};
    if (ioctl(file, FDPOLLDRVSTAT, &state) == 0 && (state.flags & FD_DISK_CHANGED)) return true;
  }
  uint64_t size = 0;
  return ioctl(file, BLKGETSIZE64, &size) == 0 && static_cast<int64_t>(size) != openedSize;
}
