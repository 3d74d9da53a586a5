// Block devices and image files on Linux. A device is read or written only
// when it is removable, not mounted and of a floppy's size (--force takes
// the last two as given); it is opened exclusively, so that the kernel
// refuses it while mounted or held by someone else.
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device_environment.h"
#include "disk_access.h"

namespace {

std::string RealPath(const std::string &path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// "major:minor" of a block device or a device stand-in; empty otherwise.
std::string DeviceNumber(const std::string &path) {
  const TDeviceEnvironment &environment = DeviceEnvironment();
  auto standIn = environment.standIns.find(RealPath(path));
  if (standIn != environment.standIns.end()) return standIn->second;
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return "";
  return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
}

std::string SysBlock(const std::string &number) {
  return DeviceEnvironment().sysRoot + "/dev/block/" + number;
}

bool FileExists(const std::string &path) {
  return access(path.c_str(), F_OK) == 0;
}

std::string FirstLine(const std::string &path) {
  std::string line;
  FILE *file = fopen(path.c_str(), "r");
  if (!file) return line;
  char buffer[64];
  if (fgets(buffer, sizeof buffer, file)) line = buffer;
  fclose(file);
  while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
  return line;
}

// The whole disk a partition belongs to; the device itself otherwise.
std::string DiskOf(const std::string &number) {
  if (!FileExists(SysBlock(number) + "/partition")) return number;
  std::string parent = FirstLine(SysBlock(number) + "/../dev");
  return parent.empty() ? number : parent;
}

bool Removable(const std::string &number) {
  return FirstLine(SysBlock(DiskOf(number)) + "/removable") == "1";
}

// A mount source as the mounts table writes it: blanks and the like as
// three octal digits after a backslash.
std::string Unescape(const std::string &field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size()) {
      text += static_cast<char>(strtol(field.substr(i + 1, 3).c_str(), nullptr, 8));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

// The mount point of the device, or of a partition of it; empty when none.
std::string MountPointOf(const std::string &number) {
  FILE *mounts = fopen(DeviceEnvironment().mountsFile.c_str(), "r");
  if (!mounts) return "";
  std::string found;
  char line[4096];
  while (found.empty() && fgets(line, sizeof line, mounts)) {
    char source[2048];
    char target[2048];
    if (sscanf(line, "%2047s %2047s", source, target) != 2 || source[0] != '/') continue;
    std::string other = DeviceNumber(Unescape(source));
    if (!other.empty() && (other == number || DiskOf(other) == number)) found = Unescape(target);
  }
  fclose(mounts);
  return found;
}

std::string SystemText(int code) {
  return strerror(code);
}

class TPathDisk : public TTrackFile {
 public:
  TPathDisk(const std::string &name, const TDiskGeometry &geometry, int file, bool device)
      : TTrackFile(name, geometry), file_(file), device_(device) {}
  ~TPathDisk() override { Release(); }

  bool Flush(std::string &error) override {
    if (fsync(file_) != 0) {
      error = SystemText(errno);
      return false;
    }
    // Later reads come from the medium, not from the page cache: the buffer
    // cache of a device is dropped (this needs privileges; the advice below
    // does the same for the pages that are not dirty).
    if (device_) ioctl(file_, BLKFLSBUF, 0);
    posix_fadvise(file_, 0, 0, POSIX_FADV_DONTNEED);
    return true;
  }

  void Release() override {
    if (file_ >= 0) close(file_);
    file_ = -1;
  }

 private:
  bool Transfer(DWORD track, BYTE *data, bool write, std::string &error) override {
    size_t size = TrackSize();
    off_t at = static_cast<off_t>(track) * static_cast<off_t>(size);
    size_t done = 0;
    while (done < size) {
      ssize_t moved = write ? pwrite(file_, data + done, size - done, at + done)
                            : pread(file_, data + done, size - done, at + done);
      if (moved < 0 && errno == EINTR) continue;
      if (moved < 0) {
        error = SystemText(errno);
        return false;
      }
      if (moved == 0) {
        error = "the disk ends before this track";
        return false;
      }
      done += static_cast<size_t>(moved);
    }
    return true;
  }

  int file_;
  bool device_;
};

TOpenResult Refuse(const std::string &message) {
  TOpenResult result;
  result.message = message;
  result.exitCode = 2;
  return result;
}

}  // namespace

TDeviceEnvironment &DeviceEnvironment() {
  static TDeviceEnvironment environment;
  return environment;
}

bool IsBlockDevice(const std::string &path) {
  return !DeviceNumber(path).empty();
}

TOpenResult OpenPathDisk(const std::string &path, TDiskUse use, bool force) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return Refuse("can't open " + path + ": " + SystemText(errno));
  const std::string number = DeviceNumber(path);
  const bool device = !number.empty();
  if (!device && !S_ISREG(status.st_mode))
    return Refuse(path + " is neither a block device nor an image file");
  if (device) {
    if (!Removable(number) && !force)
      return Refuse(path + " is not a removable disk; give --force if it really is the floppy");
    std::string mountPoint = MountPointOf(number);
    if (!mountPoint.empty())
      return Refuse(path + " is mounted on " + mountPoint + "; unmount it first");
  }
  int flags = (use == TDiskUse::Write ? O_RDWR : O_RDONLY) | O_CLOEXEC | (device ? O_EXCL : 0);
  int file = open(path.c_str(), flags);
  if (file < 0) {
    int code = errno;
    return Refuse("can't open " + path + ": " + SystemText(code) +
                  (code == EBUSY ? " (mounted or in use)" : ""));
  }
  int64_t size = status.st_size;
  uint64_t deviceSize = 0;
  if (S_ISBLK(status.st_mode) && ioctl(file, BLKGETSIZE64, &deviceSize) == 0)
    size = static_cast<int64_t>(deviceSize);
  TDiskGeometry geometry = {};
  bool standard = StandardFloppyGeometry(size, geometry);
  if (!standard && !(force && LargestFloppyGeometry(size, geometry))) {
    close(file);
    return Refuse(path + " has " + std::to_string(size) + " bytes, no floppy's size" +
                  (size >= 163840 ? "; --force takes it as the largest floppy that fits" : ""));
  }
  TOpenResult result;
  result.disk.reset(new TPathDisk(path, geometry, file, device));
  return result;
}
