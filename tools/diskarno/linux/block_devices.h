// What Linux says about block devices and the image files behind loop
// devices, through the sysfs tree and mounts table of Devices(), and the
// locks of a run.
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_BLOCK_DEVICES_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_BLOCK_DEVICES_H

#include <string>
#include <vector>

#include "device_environment.h"

// "major:minor" of a block device or a device stand-in; empty otherwise.
std::string DeviceNumber(const std::string &path);
// Whether the device (for a partition: its disk) says it is removable.
bool Removable(const std::string &number);
// Whether the device is read-only: a write-protected floppy, a loop device
// attached read-only.
bool ReadOnlyDevice(const std::string &number);

// A mounted block device and where it is mounted; both empty when none.
// Mount points are unescaped ("\040" is a blank).
struct TMount {
  std::string device;  // as the mounts table names it: "/dev/loop0p2"
  std::string point;   // "/media/data"
};
// The first mount of the device, of a partition of it, or of a device built
// on either (device-mapper, md: their holders).
TMount MountOf(const std::string &number);

// A loop device whose bytes are those of a file or device.
struct TLoopUse {
  std::string device;  // "/dev/loop7"
  std::string number;  // "7:7"
  TMount mount;        // of it, a partition of it, or a device built on them
};
// Every loop device whose backing file is the file or block device at path,
// and those whose backing file is such a loop device in turn.
std::vector<TLoopUse> LoopDevicesOf(const std::string &path);
// The backing file of a loop device (for a partition: of its disk); empty
// for any other device, and for a backing file deleted since.
std::string BackingFileOf(const std::string &number);

// The partitions the system sees on the device, and for a loop device on
// every loop device over the same file: "/dev/loop0p1", as sysfs names them.
std::vector<std::string> PartitionsOf(const std::string &number);

// Why the bytes of the image file at path, or of the block device number
// (empty for a file), may not be taken for a run: a mount anywhere over
// them (the device itself, its partitions, a loop device over the same
// file or its partitions) always refuses; a loop device attached without a
// mount refuses unless force. Empty when they may be taken.
std::string InUseRefusal(const std::string &path, const std::string &number, bool force);

// Locks the open file for this run with both kinds of lock another program
// may hold, an open file description lock and a flock(2) lock: shared for
// reading, exclusive for writing (the description must then be open for
// writing). False with errno set, no lock held; EAGAIN when another run
// holds a lock that conflicts.
bool LockImageFile(int file, bool write);

#endif
