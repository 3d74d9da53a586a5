// Where the Linux tool looks when it judges a block device: the sysfs tree
// and the mounts table. The tool passes the machine's own to the disk code;
// tests pass a fake tree and name regular files that stand in for devices
// (the command line can't change them).
#ifndef DISKARNO_TOOLS_DISKARNO_DEVICE_ENVIRONMENT_H
#define DISKARNO_TOOLS_DISKARNO_DEVICE_ENVIRONMENT_H

#include <map>
#include <string>

struct TDeviceEnvironment {
  std::string sysRoot = "/sys";
  std::string mountsFile = "/proc/self/mounts";
  // Regular files (by real path) taken as block devices, with their device
  // numbers "major:minor".
  std::map<std::string, std::string> standIns;
};

#endif
