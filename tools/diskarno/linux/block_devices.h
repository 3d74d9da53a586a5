// What Linux says about block devices and the image files behind loop
// devices, through the sysfs tree and mounts table of Devices().
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_BLOCK_DEVICES_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_BLOCK_DEVICES_H

#include <string>
#include <vector>

#include "device_environment.h"

// "major:minor" of a block device or a device stand-in; empty otherwise.
std::string DeviceNumber(const std::string &path);
// Whether the device (for a partition: its disk) says it is removable.
bool Removable(const std::string &number);
// The mount point of the device or of a partition of it; empty when none.
// Mount points are unescaped ("\040" is a blank).
std::string MountPointOf(const std::string &number);

// A loop device that an image file backs.
struct TLoopUse {
  std::string device;      // "/dev/loop7"
  std::string mountPoint;  // empty when neither it nor a partition is mounted
};
// Every loop device whose backing file is the file at path.
std::vector<TLoopUse> LoopDevicesOf(const std::string &path);

// Locks the open image file for this run with an open file description lock:
// shared for reading, exclusive for writing. False with errno set; EAGAIN
// when another run holds a lock that conflicts.
bool LockImageFile(int file, bool write);

#endif
