// The Linux tool's system calls as a device stand-in sees them: the test
// binary is linked with --wrap=open64,fsync,pread64,pwrite64, so that every
// such call of the code under test passes through here first.
#ifndef DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H
#define DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H

#include <errno.h>

#include <string>
#include <vector>

namespace testing_support {

struct TSystemCalls {
  std::string device;          // the stand-in watched (its real path)
  std::vector<int> openFlags;  // the flags of each open of device
  long long badSector = -1;    // a read or write of device at this byte fails
  int badSectorError = EIO;    // with this code (ENOMEDIUM: the disk was taken out)
  int openError = 0;           // nonzero: every open of device fails with it
  size_t fsyncs = 0;           // of any file
};
TSystemCalls &SystemCalls();

// How many file descriptors the process holds.
size_t OpenDescriptors();

}  // namespace testing_support

#endif
