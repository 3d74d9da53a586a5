// Where the tool has no FloppyIO layer (its Linux build), drive letters name
// nothing: disks are block devices or image files there.
#include "disk_access.h"

TOpenResult OpenFloppyDisk(char letter, TDiskUse) {
  TOpenResult result;
  result.message = std::string("drive letters such as ") + letter +
                   ": name floppy drives on Windows only; give a device such as /dev/fd0 "
                   "or an image file";
  result.exitCode = 2;
  return result;
}

void DiskModulesStartup() {}
void DiskModulesShutdown() {}
