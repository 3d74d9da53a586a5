#include "support/system_calls.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdarg.h>
#include <unistd.h>

#include <cstdio>

extern "C" {
int __real_open64(const char *path, int flags, ...);
int __real_fsync(int file);
ssize_t __real_pread64(int file, void *data, size_t size, off64_t at);
ssize_t __real_pwrite64(int file, const void *data, size_t size, off64_t at);
}

namespace testing_support {

TSystemCalls &SystemCalls() {
  static TSystemCalls calls;
  return calls;
}

size_t OpenDescriptors() {
  size_t count = 0;
  DIR *folder = opendir("/proc/self/fd");
  while (folder && readdir(folder)) ++count;
  if (folder) closedir(folder);
  return count;
}

}  // namespace testing_support

namespace {

using testing_support::SystemCalls;

bool IsDevice(int file) {
  if (SystemCalls().device.empty()) return false;
  char link[64];
  char path[PATH_MAX];
  snprintf(link, sizeof link, "/proc/self/fd/%d", file);
  ssize_t length = readlink(link, path, sizeof path);
  return length > 0 && SystemCalls().device == std::string(path, static_cast<size_t>(length));
}

}  // namespace

extern "C" int __wrap_open64(const char *path, int flags, ...) {
  mode_t mode = 0;
  if (__OPEN_NEEDS_MODE(flags)) {
    va_list arguments;
    va_start(arguments, flags);
    mode = va_arg(arguments, mode_t);
    va_end(arguments);
  }
  int file = __real_open64(path, flags, mode);
  if (file >= 0 && IsDevice(file)) {
    SystemCalls().openFlags.push_back(flags);
    if (int error = SystemCalls().openError) {
      close(file);
      errno = error;
      return -1;
    }
  }
  return file;
}

extern "C" int __wrap_fsync(int file) {
  ++SystemCalls().fsyncs;
  return __real_fsync(file);
}

namespace {

// A bad sector: the bytes before it move, then the transfer fails. False
// with errno set when the transfer fails at once; size is cut to the bytes
// before the sector otherwise.
bool BeforeBadSector(int file, size_t &size, off64_t at) {
  const long long bad = SystemCalls().badSector;
  if (bad >= at && bad < at + static_cast<long long>(size) && IsDevice(file)) {
    if (bad == at) {
      errno = SystemCalls().badSectorError;
      return false;
    }
    size = static_cast<size_t>(bad - at);
  }
  return true;
}

}  // namespace

extern "C" ssize_t __wrap_pread64(int file, void *data, size_t size, off64_t at) {
  return BeforeBadSector(file, size, at) ? __real_pread64(file, data, size, at) : -1;
}

extern "C" ssize_t __wrap_pwrite64(int file, const void *data, size_t size, off64_t at) {
  return BeforeBadSector(file, size, at) ? __real_pwrite64(file, data, size, at) : -1;
}
