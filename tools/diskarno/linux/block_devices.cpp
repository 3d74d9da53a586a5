// sysfs, the mounts table and locks, for the Linux half of the disks.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "block_devices.h"

namespace {

const TDeviceEnvironment kMachine;
const TDeviceEnvironment *used = nullptr;

}  // namespace

const TDeviceEnvironment &Devices() {
  return used ? *used : kMachine;
}

void UseDevices(const TDeviceEnvironment *devices) {
  used = devices;
}

namespace {

std::string RealPath(const std::string &path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string SysBlock(const std::string &number) {
  return Devices().sysRoot + "/dev/block/" + number;
}

bool FileExists(const std::string &path) {
  return access(path.c_str(), F_OK) == 0;
}

std::string FirstLine(const std::string &path) {
  std::string line;
  FILE *file = fopen(path.c_str(), "r");
  if (!file) return line;
  char buffer[PATH_MAX + 16];
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

bool IsOctal(char c) {
  return c >= '0' && c <= '7';
}

// A field of the mounts table: blanks, tabs, line breaks and backslashes are
// written as a backslash and three octal digits.
std::string Unescape(const std::string &field) {
  std::string text;
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) &&
        IsOctal(field[i + 2]) && IsOctal(field[i + 3])) {
      text += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 +
                                (field[i + 3] - '0'));
      i += 3;
    } else {
      text += field[i];
    }
  }
  return text;
}

bool SameInode(const std::string &first, const std::string &second) {
  struct stat one;
  struct stat two;
  return stat(first.c_str(), &one) == 0 && stat(second.c_str(), &two) == 0 &&
         one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

}  // namespace

std::string DeviceNumber(const std::string &path) {
  auto standIn = Devices().standIns.find(RealPath(path));
  if (standIn != Devices().standIns.end()) return standIn->second;
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISBLK(status.st_mode)) return "";
  return std::to_string(major(status.st_rdev)) + ":" + std::to_string(minor(status.st_rdev));
}

bool Removable(const std::string &number) {
  return FirstLine(SysBlock(DiskOf(number)) + "/removable") == "1";
}

std::string MountPointOf(const std::string &number) {
  FILE *mounts = fopen(Devices().mountsFile.c_str(), "r");
  if (!mounts) return "";
  std::string found;
  char line[4096];
  while (found.empty() && fgets(line, sizeof line, mounts)) {
    char source[2048];
    char target[2048];
    if (sscanf(line, "%2047s %2047s", source, target) != 2 || source[0] != '/') continue;
    std::string other = DeviceNumber(Unescape(source));
    if (!other.empty() && (other == number || DiskOf(other) == number))
      found = Unescape(target);
  }
  fclose(mounts);
  return found;
}

std::vector<TLoopUse> LoopDevicesOf(const std::string &path) {
  std::vector<TLoopUse> uses;
  const std::string blocks = Devices().sysRoot + "/block";
  DIR *folder = opendir(blocks.c_str());
  if (!folder) return uses;
  const std::string real = RealPath(path);
  while (struct dirent *entry = readdir(folder)) {
    if (strncmp(entry->d_name, "loop", 4) != 0) continue;
    const std::string device = blocks + "/" + entry->d_name;
    // The kernel marks a backing file removed since with " (deleted)".
    std::string backing = FirstLine(device + "/loop/backing_file");
    if (backing.empty() || !(backing == real || SameInode(backing, path))) continue;
    TLoopUse use;
    use.device = std::string("/dev/") + entry->d_name;
    use.mountPoint = MountPointOf(FirstLine(device + "/dev"));
    uses.push_back(use);
  }
  closedir(folder);
  return uses;
}

bool LockImageFile(int file, bool write) {
  struct flock lock = {};
  lock.l_type = write ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(file, F_OFD_SETLK, &lock) == 0) return true;
  if (errno == EACCES) errno = EAGAIN;
  return false;
}
