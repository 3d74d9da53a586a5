// What a disk or image file on Linux holds before a write destroys it: a
// partition table or file system (found by libblkid, as blkid and wipefs
// find them), whether a FAT file system is empty (the FAT root reader), or
// whether the disk is blank.
#ifndef DISKARNO_TOOLS_DISKARNO_LINUX_CONTENT_PROBE_H
#define DISKARNO_TOOLS_DISKARNO_LINUX_CONTENT_PROBE_H

#include <cstdint>

#include "content.h"

// Looks at the first size bytes of the open file or device. Bytes that
// can't be read count as held: "data that can't be read (...)".
TContent ProbeContent(int file, int64_t size);

#endif
