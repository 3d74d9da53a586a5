// Where the Linux tool looks when it judges a block device: the sysfs tree
// and the mounts table. The machine's own unless a test names a fake tree
// and regular files that stand in for devices (the command line can't
// change them).
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_DEVICE_ENVIRONMENT_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_DEVICE_ENVIRONMENT_H

#include <map>
#include <string>

struct TDeviceEnvironment {
  std::string sysRoot = "/sys";
  std::string mountsFile = "/proc/self/mounts";
  // Regular files (by real path) taken as block devices, with their device
  // numbers "major:minor".
  std::map<std::string, std::string> standIns;
};

// The environment every device question of the Linux half uses.
const TDeviceEnvironment &Devices();
// Puts a test's environment in place of the machine's (none: the machine's
// again). The caller keeps it alive while it is in use.
void UseDevices(const TDeviceEnvironment *devices);

#endif
