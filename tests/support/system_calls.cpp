#include "support/system_calls.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <linux/fd.h>
#include <scsi/sg.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "floppy_formats.h"

extern "C" {
int __real_open64(const char *path, int flags, ...);
int __real_fsync(int file);
ssize_t __real_pread64(int file, void *data, size_t size, off64_t at);
ssize_t __real_pwrite64(int file, const void *data, size_t size, off64_t at);
int __real_ioctl(int file, unsigned long request, void *argument);
}

namespace testing_support {

TSystemCalls &SystemCalls() {
  static TSystemCalls calls;
  return calls;
}

std::vector<unsigned char> UfiCapacities(unsigned blocks, int code,
                                         const std::vector<unsigned> &formattable) {
  std::vector<unsigned char> list = {0, 0, 0,
                                     static_cast<unsigned char>(8 * (1 + formattable.size()))};
  auto descriptor = [&list](unsigned count, unsigned char byte) {
    const unsigned char bytes[8] = {static_cast<unsigned char>(count >> 24),
                                    static_cast<unsigned char>(count >> 16),
                                    static_cast<unsigned char>(count >> 8),
                                    static_cast<unsigned char>(count),
                                    byte,
                                    0,
                                    2,
                                    0};  // 512-byte blocks
    list.insert(list.end(), bytes, bytes + 8);
  };
  descriptor(blocks, static_cast<unsigned char>(code));
  for (unsigned count : formattable) descriptor(count, 0);
  return list;
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
using testing_support::TSystemCalls;

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
    if (int error = (flags & O_NONBLOCK) ? 0 : SystemCalls().openError) {
      close(file);
      errno = error;
      return -1;
    }
  }
  return file;
}

extern "C" int __wrap_fsync(int file) {
  ++SystemCalls().fsyncs;
  if (SystemCalls().fsyncError && IsDevice(file)) {
    errno = SystemCalls().fsyncError;
    return -1;
  }
  return __real_fsync(file);
}

namespace {

// Bad sectors, as a failing medium shows them: false with errno set when
// the transfer fails at once; size is cut to the bytes before them when it
// starts before them.
bool BeforeBadSectors(int file, size_t &size, off64_t at, bool cached) {
  TSystemCalls &calls = SystemCalls();
  if (calls.badFrom < 0 || calls.failures == 0 || !IsDevice(file)) return true;
  const long long spread = cached ? calls.readAhead : 0;
  const long long from = calls.badFrom - spread;
  const long long to = calls.badTo + spread;
  if (at >= to || at + static_cast<long long>(size) <= from) return true;
  if (at >= from) {
    if (calls.failures > 0) --calls.failures;
    errno = calls.badError;
    return false;
  }
  size = static_cast<size_t>(from - at);
  return true;
}

}  // namespace

// Bad sectors and a stale cache.
extern "C" ssize_t __wrap_pread64(int file, void *data, size_t size, off64_t at) {
  TSystemCalls &calls = SystemCalls();
  if ((calls.badFrom < 0 && calls.staleAt < 0) || !IsDevice(file))
    return __real_pread64(file, data, size, at);
  const bool cached = !(fcntl(file, F_GETFL) & O_DIRECT);
  if (!BeforeBadSectors(file, size, at, cached)) return -1;
  ssize_t got = __real_pread64(file, data, size, at);
  if (cached && got > 0 && calls.staleAt >= at && calls.staleAt < at + got)
    static_cast<unsigned char *>(data)[calls.staleAt - at] = calls.staleValue;
  return got;
}

extern "C" ssize_t __wrap_pwrite64(int file, const void *data, size_t size, off64_t at) {
  return BeforeBadSectors(file, size, at, false) ? __real_pwrite64(file, data, size, at) : -1;
}

namespace {

// The UFI drive's answer to one command; false with the sense it sets.
bool UfiCommand(int file, sg_io_hdr_t &io) {
  testing_support::TUfiStandIn &drive = SystemCalls().ufi;
  const unsigned char *command = io.cmdp;
  const unsigned char *data = static_cast<const unsigned char *>(io.dxferp);
  drive.commands.emplace_back(command, command + io.cmd_len);
  drive.parameters.emplace_back();
  if (io.dxfer_direction == SG_DXFER_TO_DEV)
    drive.parameters.back().assign(data, data + io.dxfer_len);
  const bool formatting = command[0] == 0x04 && io.dxfer_len >= 12;
  const int track = formatting ? command[2] * 2 + (data[1] & 1) : -1;
  if (command[0] == drive.failingCommand &&
      (drive.failingTrack == -1 || track == drive.failingTrack)) {
    unsigned char *sense = io.sbp;
    memset(sense, 0, io.mx_sb_len);
    sense[0] = 0x70;
    sense[2] = drive.senseKey;
    sense[7] = 10;
    sense[12] = drive.senseCode;
    io.sb_len_wr = 18;
    io.status = 0x02;  // check condition
    io.masked_status = 0x01;
    io.info = SG_INFO_CHECK;
    return false;
  }
  io.info = SG_INFO_OK;
  if (command[0] == 0x23) {
    const size_t size = std::min<size_t>(io.dxfer_len, drive.capacities.size());
    memcpy(io.dxferp, drive.capacities.data(), size);
  } else if (formatting) {
    const unsigned blocks =
        static_cast<unsigned>(data[4] << 24 | data[5] << 16 | data[6] << 8 | data[7]);
    const TFloppyFormat *format = FloppyFormatOfSize(static_cast<int64_t>(blocks) * 512);
    if (format) {
      std::vector<unsigned char> fill(format->sectors * 512, kFormatFill);
      __real_pwrite64(file, fill.data(), fill.size(), static_cast<off64_t>(track) * fill.size());
    }
  }
  return true;
}

}  // namespace

// SG_IO on the device stand-in reaches its UFI drive; everything else, the
// system.
extern "C" int __wrap_ioctl(int file, unsigned long request, void *argument) {
  if (request == FDPOLLDRVSTAT && SystemCalls().floppyFlags != -1 && IsDevice(file)) {
    floppy_drive_struct *state = static_cast<floppy_drive_struct *>(argument);
    memset(state, 0, sizeof *state);
    state->flags = static_cast<unsigned long>(SystemCalls().floppyFlags);
    return 0;
  }
  if (request != SG_IO || !IsDevice(file)) return __real_ioctl(file, request, argument);
  if (!SystemCalls().ufi.present) {
    errno = ENOTTY;
    return -1;
  }
  UfiCommand(file, *static_cast<sg_io_hdr_t *>(argument));
  return 0;
}
