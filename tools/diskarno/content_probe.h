// What a disk or image file holds before a write destroys it: a file system
// or partition table (found by libblkid, as blkid and wipefs find them),
// whether a FAT file system is empty, or whether the disk is blank.
#ifndef DISKARNO_TOOLS_DISKARNO_CONTENT_PROBE_H
#define DISKARNO_TOOLS_DISKARNO_CONTENT_PROBE_H

#include <cstdint>
#include <string>

enum class TContentKind {
  Blank,     // every byte the same (a fresh or wiped disk)
  EmptyFat,  // a FAT file system with nothing but a volume label
  Holds,     // anything else: a write would destroy it
};

struct TContent {
  TContentKind kind = TContentKind::Holds;
  // What the disk holds, to finish "The disk in X holds ...": "an ext4 file
  // system labelled DATA", "a DOS partition table with 2 partitions".
  std::string what;
};

// Looks at the first size bytes of the open file or device (Linux). Bytes
// that can't be read count as held: "data that can't be read (...)".
TContent ProbeContent(int file, int64_t size);

#endif
