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
  // Bad sectors: a read of device that starts in bytes [badFrom, badTo)
  // fails with EIO, one that starts before them stops where they begin. A
  // read through the cache (no O_DIRECT) also fails within readAhead bytes
  // of them, as the kernel's read-ahead spreads a failure over its window.
  long long badFrom = -1;
  long long badTo = -1;
  long long readAhead = 0;
  int failures = -1;  // how many reads they fail before they read well; -1: all
  // A byte that the cache still holds from before the medium changed: a
  // read of device through the cache finds staleValue at staleAt.
  long long staleAt = -1;
  unsigned char staleValue = 0;
  size_t fsyncs = 0;   // of any file
  int fsyncError = 0;  // an fsync of device fails with this errno
};
TSystemCalls &SystemCalls();

// How many file descriptors the process holds.
size_t OpenDescriptors();

}  // namespace testing_support

#endif
