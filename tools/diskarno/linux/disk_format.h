// Formatting a Linux block device: the floppy driver's requests for a drive
// on the PC's floppy controller (floppy_format.cpp), SCSI commands through
// SG_IO for a USB floppy drive (ufi_format.cpp).
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_DISK_FORMAT_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_DISK_FORMAT_H

#include <memory>
#include <string>

#include "disk.h"

class TDeviceFormat {
 public:
  virtual ~TDeviceFormat() = default;
  // As TDisk's OwnFormat, FormatAllowed, FormatTrack and EndFormat.
  virtual TStatus OwnFormat(int &kilobytes) = 0;
  virtual TStatus Allowed(const TFloppyFormat &format) = 0;
  virtual TStatus Track(const TFloppyFormat &format, DWORD track) = 0;
  virtual TStatus End() = 0;
};

// The format requests for the open device file: the floppy driver's for
// major 2, else a USB floppy drive's (whether it is one, the drive's answer
// tells). name is what messages call it, number its "major:minor".
std::unique_ptr<TDeviceFormat> DeviceFormatFor(int file, const std::string &name,
                                               const std::string &number);
std::unique_ptr<TDeviceFormat> UfiFormat(int file, const std::string &name);

// The open flags a format adds: a drive on the floppy controller opens
// without waiting for a readable medium (an unformatted disk opens too).
int FormatOpenFlags(const std::string &number);
// The geometry of what the disk holds when it is opened for a format: what
// the floppy driver finds on the medium, else the format of size bytes;
// all zero when it can't be told (an unformatted disk, another format).
TDiskGeometry FormatOpenGeometry(int file, const std::string &number, int64_t size);

#endif
