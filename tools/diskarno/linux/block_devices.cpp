// sysfs, the mounts table and locks, for the Linux half of the disks.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
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

// Whether two paths name the same bytes: the same block device by its
// number (a device has many names), or the same file by device and inode.
bool SameBytes(const std::string &first, const std::string &second) {
  struct stat one;
  struct stat two;
  if (stat(first.c_str(), &one) != 0 || stat(second.c_str(), &two) != 0) return false;
  if (S_ISBLK(one.st_mode) || S_ISBLK(two.st_mode))
    return S_ISBLK(one.st_mode) && S_ISBLK(two.st_mode) && one.st_rdev == two.st_rdev;
  return one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

// The entries of a sysfs folder, "." and ".." left out.
std::vector<std::string> Entries(const std::string &path) {
  std::vector<std::string> names;
  DIR *folder = opendir(path.c_str());
  if (!folder) return names;
  while (struct dirent *entry = readdir(folder))
    if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
      names.push_back(entry->d_name);
  closedir(folder);
  return names;
}

// Adds the device, its partitions and the devices built on any of them (the
// holders sysfs lists) to numbers; a number met before is not followed again.
void AddWithin(const std::string &number, std::vector<std::string> &numbers) {
  if (number.empty() || numbers.size() > 256) return;
  for (const std::string &known : numbers)
    if (known == number) return;
  numbers.push_back(number);
  const std::string node = SysBlock(number);
  for (const std::string &name : Entries(node))
    if (FileExists(node + "/" + name + "/partition"))
      AddWithin(FirstLine(node + "/" + name + "/dev"), numbers);
  for (const std::string &name : Entries(node + "/holders"))
    AddWithin(FirstLine(node + "/holders/" + name + "/dev"), numbers);
}

// The loop devices over path, and over those in turn, into uses.
void AddLoopDevicesOf(const std::string &path, int depth, std::vector<TLoopUse> &uses) {
  if (depth > 8) return;
  const std::string blocks = Devices().sysRoot + "/block";
  const std::string real = RealPath(path);
  for (const std::string &name : Entries(blocks)) {
    if (name.compare(0, 4, "loop") != 0) continue;
    const std::string device = blocks + "/" + name;
    // The kernel marks a backing file removed since with " (deleted)".
    const std::string backing = FirstLine(device + "/loop/backing_file");
    if (backing.empty() || !(backing == real || SameBytes(backing, path))) continue;
    TLoopUse use;
    use.device = "/dev/" + name;
    use.number = FirstLine(device + "/dev");
    use.mount = MountOf(use.number);
    bool known = false;
    for (const TLoopUse &other : uses) known = known || other.number == use.number;
    if (known) continue;
    uses.push_back(use);
    AddLoopDevicesOf(use.device, depth + 1, uses);
  }
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

bool ReadOnlyDevice(const std::string &number) {
  return FirstLine(SysBlock(number) + "/ro") == "1";
}

TMount MountOf(const std::string &number) {
  TMount found;
  std::vector<std::string> within;
  AddWithin(number, within);
  FILE *mounts = fopen(Devices().mountsFile.c_str(), "r");
  if (!mounts) return found;
  char line[4096];
  while (found.device.empty() && fgets(line, sizeof line, mounts)) {
    char source[2048];
    char target[2048];
    if (sscanf(line, "%2047s %2047s", source, target) != 2 || source[0] != '/') continue;
    const std::string other = DeviceNumber(Unescape(source));
    for (const std::string &inside : within)
      if (!other.empty() && other == inside) {
        found.device = Unescape(source);
        found.point = Unescape(target);
      }
  }
  fclose(mounts);
  return found;
}

std::vector<TLoopUse> LoopDevicesOf(const std::string &path) {
  std::vector<TLoopUse> uses;
  AddLoopDevicesOf(path, 0, uses);
  return uses;
}

std::vector<std::string> PartitionsOf(const std::string &number) {
  std::vector<std::string> numbers = {number};
  const std::string backing = BackingFileOf(number);
  if (!backing.empty())
    for (const TLoopUse &use : LoopDevicesOf(backing))
      if (use.number != number) numbers.push_back(use.number);
  std::vector<std::string> partitions;
  for (const std::string &disk : numbers) {
    const std::string node = SysBlock(disk);
    for (const std::string &name : Entries(node))
      if (FileExists(node + "/" + name + "/partition")) partitions.push_back("/dev/" + name);
  }
  return partitions;
}

std::string BackingFileOf(const std::string &number) {
  const std::string backing = FirstLine(SysBlock(DiskOf(number)) + "/loop/backing_file");
  const std::string deleted = " (deleted)";
  if (backing.size() >= deleted.size() &&
      backing.compare(backing.size() - deleted.size(), deleted.size(), deleted) == 0)
    return "";
  return backing;
}

namespace {

// "/dev/loop0, mounted on /mnt" or "/dev/loop0, whose /dev/loop0p2 is
// mounted on /mnt".
std::string MountedText(const TLoopUse &use) {
  return use.device + (DeviceNumber(use.mount.device) == use.number
                           ? ", mounted on " + use.mount.point
                           : ", whose " + use.mount.device + " is mounted on " + use.mount.point);
}

}  // namespace

std::string InUseRefusal(const std::string &path, const std::string &number, bool force) {
  const bool device = !number.empty();
  if (device) {
    const TMount mount = MountOf(number);
    if (!mount.device.empty())
      return path +
             (DeviceNumber(mount.device) == number ? "" : " holds " + mount.device + ", which") +
             " is mounted on " + mount.point + "; unmount it first";
  }
  // The file whose bytes these are: a loop device's backing file, else the
  // device or file itself (a loop device may be attached over either).
  const std::string backing = device ? BackingFileOf(number) : "";
  const std::string shared = backing.empty() ? path : backing;
  const std::string disk = device ? DiskOf(number) : "";
  const std::string whose = backing.empty()
                                ? path + " backs the loop device"
                                : path + " shares its file " + backing + " with the loop device";
  std::string attached;
  int count = 0;
  for (const TLoopUse &use : LoopDevicesOf(shared)) {
    if (device && (use.number == number || use.number == disk)) continue;
    if (!use.mount.device.empty()) return whose + " " + MountedText(use) + "; unmount it first";
    attached += (count++ ? " " : "") + use.device;
  }
  if (force || count == 0) return "";
  return whose + (count > 1 ? "s " : " ") + attached + "; detach " +
         (count > 1 ? "them" : "it") + " with losetup -d " + attached +
         ", or give --force to go on all the same";
}

bool LockImageFile(int file, bool write) {
  struct flock lock = {};
  lock.l_type = write ? F_WRLCK : F_RDLCK;
  lock.l_whence = SEEK_SET;
  if (fcntl(file, F_OFD_SETLK, &lock) != 0) {
    if (errno == EACCES) errno = EAGAIN;
    return false;
  }
  // flock(2) locks are apart from the others: a program holding one sees
  // nothing of an open file description lock.
  if (flock(file, (write ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0) return true;
  const int code = errno == EWOULDBLOCK ? EAGAIN : errno;
  lock.l_type = F_UNLCK;
  fcntl(file, F_OFD_SETLK, &lock);
  errno = code;
  return false;
}
