// The Linux tool's system calls as a device stand-in sees them: the test
// binary is linked with --wrap=open64,fsync,pread64, so that every such call
// of the code under test passes through here first.
#ifndef DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H
#define DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H

#include <string>
#include <vector>

namespace testing_support {

struct TSystemCalls {
  std::string device;          // the stand-in watched (its real path)
  std::vector<int> openFlags;  // the flags of each open of device
  long long badSector = -1;    // a read of device at this byte fails with EIO
  size_t fsyncs = 0;           // of any file
  bool fsyncFails = false;     // an fsync of device fails with EIO
};
TSystemCalls &SystemCalls();

// How many file descriptors the process holds.
size_t OpenDescriptors();

}  // namespace testing_support

#endif
