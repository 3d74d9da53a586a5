// The Linux tool's system calls as a device stand-in sees them: the test
// binary is linked with --wrap=open64,fsync,pread64,pwrite64,ioctl, so that
// every such call of the code under test passes through here first.
#ifndef DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H
#define DISKARNO_TESTS_SUPPORT_SYSTEM_CALLS_H

#include <errno.h>

#include <string>
#include <vector>

namespace testing_support {

// A USB floppy drive (UFI) behind the device stand-in, as SG_IO reaches it:
// every command block is recorded and answered from here. FORMAT UNIT fills
// the track in the stand-in file with 0xF6, as a drive does.
struct TUfiStandIn {
  bool present = false;                   // else SG_IO on the stand-in fails with ENOTTY
  std::vector<unsigned char> capacities;  // the READ FORMAT CAPACITIES answer
  // The command with this operation code fails with the sense key and
  // additional sense code; for FORMAT UNIT only at track failingTrack
  // (cylinder x 2 + head) when that is not -1.
  unsigned char failingCommand = 0;
  int failingTrack = -1;
  unsigned char senseKey = 0, senseCode = 0;
  std::vector<std::vector<unsigned char>> commands;    // the command blocks, in order
  std::vector<std::vector<unsigned char>> parameters;  // the bytes each sent to the drive
};
// A READ FORMAT CAPACITIES answer: the current capacity (blocks of 512
// bytes, descriptor code: 1 unformatted, 2 formatted, 3 no disk), then the
// capacities the drive formats.
std::vector<unsigned char> UfiCapacities(unsigned blocks, int code,
                                         const std::vector<unsigned> &formattable);

struct TSystemCalls {
  std::string device;          // the stand-in watched (its real path)
  std::vector<int> openFlags;  // the flags of each open of device
  // Bad sectors: a read or write of device that starts in bytes [badFrom,
  // badTo) fails with badError, one that starts before them stops where
  // they begin. A read through the cache (no O_DIRECT) also fails within
  // readAhead bytes of them, as the kernel's read-ahead spreads a failure
  // over its window.
  long long badFrom = -1;
  long long badTo = -1;
  int badError = EIO;  // ENOMEDIUM: the disk was taken out
  long long readAhead = 0;
  int failures = -1;  // how many transfers they fail before they work; -1: all
  // A byte that the cache still holds from before the medium changed: a
  // read of device through the cache finds staleValue at staleAt.
  long long staleAt = -1;
  unsigned char staleValue = 0;
  int openError = 0;      // nonzero: every open of device fails with it
                          // (but one that waits for no medium, O_NONBLOCK)
  long floppyFlags = -1;  // not -1: the floppy driver's drive state flags
                          // (FDPOLLDRVSTAT) of device
  TUfiStandIn ufi;
  size_t fsyncs = 0;   // of any file
  int fsyncError = 0;  // an fsync of device fails with this errno
};
TSystemCalls &SystemCalls();

// How many file descriptors the process holds.
size_t OpenDescriptors();

}  // namespace testing_support

#endif
