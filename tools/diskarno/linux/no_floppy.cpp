// Where the tool has no FloppyIO layer (its Linux build), drive letters name
// nothing: disks are block devices or image files there.
#include "disk.h"

TStatus OpenFloppyDisk(char letter, TDiskUse, std::unique_ptr<TDisk> &) {
  return TStatus::Refused(std::string("drive letters such as ") + letter +
                          ": name floppy drives on Windows only; give a device such as "
                          "/dev/fd0 or an image file");
}

void DiskModulesStartup() {}
void DiskModulesShutdown() {}
