// Files on Linux: input files (only a regular file is opened, so that a
// FIFO or a socket is refused instead of waited on; a password file may be
// a pipe), same-file tests by device and inode (a loop device is its
// backing file), and failure texts in the C library's words.
#include "files.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "app_errors.h"
#include "block_devices.h"
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

TStatus ReadPasswordFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                         uint64_t &size) {
  size = 0;
  bytes.clear();
  struct stat status;
  if (stat(path.c_str(), &status) != 0 || !S_ISFIFO(status.st_mode)) {
    TStatus input = CheckInputFile(path);
    return input.Ok() ? ReadWholeFile(path, limit, bytes, size) : input;
  }
  // A pipe has no size: read it to its end, one byte past the limit at most.
  int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return TStatus::Refused("can't read " + path + ": " + strerror(errno));
  bytes.resize(static_cast<size_t>(limit) + 1);
  while (size < bytes.size()) {
    ssize_t got = read(file, bytes.data() + size, bytes.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      TStatus failed = TStatus::Refused("can't read " + path + ": " + strerror(errno));
      close(file);
      bytes.clear();
      return failed;
    }
    if (got == 0) break;
    size += static_cast<uint64_t>(got);
  }
  close(file);
  bytes.resize(static_cast<size_t>(size));
  if (size <= limit) return TStatus::Done();
  bytes.clear();
  return TStatus::Refused(path + " has more than " + Number(static_cast<long long>(limit)) +
                          " bytes");
}

bool TypedTextIsUtf8() {
  return true;
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
