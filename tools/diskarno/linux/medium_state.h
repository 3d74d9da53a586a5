// What the system's answers say about the medium in a drive: no disk, a
// write-protected disk, a disk changed while the tool used it.
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_MEDIUM_STATE_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_MEDIUM_STATE_H

#include <cstdint>
#include <string>

// The message for an open of path that failed with code: "no disk in drive
// /dev/fd1" (ENXIO, ENOMEDIUM: the floppy driver and the SCSI disk driver
// say so of an empty drive), "the disk in /dev/fd0 can't be read" (ENXIO
// from the floppy driver while the drive holds a disk), "the disk in
// /dev/fd1 is write-protected" (EROFS; a device the kernel marks read-only
// is refused before the open), else "can't open PATH: the system's text". number is the
// device's "major:minor", empty for an image file.
std::string OpenFailureText(const std::string &path, const std::string &number, bool write,
                            int code);

// Whether the medium in the open device was taken out or changed since the
// open, after a transfer that failed with code: the drive has no medium
// now, the floppy driver saw the disk-change line, or the size differs from
// openedSize.
bool MediumChanged(int file, const std::string &number, int64_t openedSize, int code);

// A device behind the PC's floppy controller (major 2, the floppy driver).
bool IsFloppyControllerDevice(const std::string &number);

#endif
