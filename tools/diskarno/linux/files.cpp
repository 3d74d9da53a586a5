// Files on Linux: input files (only a regular file is opened, so that a
// FIFO or a socket is refused instead of waited on), same-file tests by
// device and inode (a loop device is its backing file), and failure texts
// in the C library's words.
#include <errno.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "app_errors.h"
#include "block_devices.h"
#include "files.h"
#include "host_control.h"
#include "inputs.h"

TStatus CheckInputFile(const std::string &path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0)
    return TStatus::Refused("can't read " + path + ": " + strerror(errno));
  if (S_ISREG(status.st_mode)) return TStatus::Done();
  const char *kind = S_ISDIR(status.st_mode)    ? "a folder"
                     : S_ISFIFO(status.st_mode) ? "a FIFO"
                     : S_ISSOCK(status.st_mode) ? "a socket"
                     : S_ISBLK(status.st_mode)  ? "a block device"
                                                : "a device";
  return TStatus::Refused(path + " is " + kind + ", not a file");
}

namespace {

bool SameInode(const std::string &first, const std::string &second) {
  struct stat one;
  struct stat two;
  if (stat(first.c_str(), &one) != 0 || stat(second.c_str(), &two) != 0) return false;
  return one.st_dev == two.st_dev && one.st_ino == two.st_ino;
}

// The file whose bytes path names: a loop device's (or its partition's)
// backing file, else path itself.
std::string BytesOf(const std::string &path) {
  const std::string number = DeviceNumber(path);
  const std::string backing = number.empty() ? "" : BackingFileOf(number);
  return backing.empty() ? path : backing;
}

}  // namespace

bool SameFile(const std::string &first, const std::string &second) {
  return SameInode(first, second) || SameInode(BytesOf(first), BytesOf(second));
}

// A code the Win32 stand-in set from errno goes back through its own table.
std::string FailureText(DWORD code) {
  if (int error = winapi::ErrnoFromError(code)) return strerror(error);
  if (code == ERROR_HANDLE_EOF) return "the file ends early";
  std::string text = ErrorText(code);
  if (!text.empty()) return text;
  char number[32];
  snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return number;
}
