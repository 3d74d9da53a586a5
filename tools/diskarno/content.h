// What a disk holds before a write destroys it, and the one reader of a FAT
// root folder that decides whether a FAT disk holds files.
#ifndef DISKARNO_TOOLS_DISKARNO_CONTENT_H
#define DISKARNO_TOOLS_DISKARNO_CONTENT_H

#include <cstddef>
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
  // system labelled DATA", "a FAT file system with files".
  std::string what;
};

enum class TFatVerdict {
  NotFat,      // no FAT12 or FAT16 boot sector
  Empty,       // no entry in the root folder but the label, no cluster in use
  HoldsFiles,  // an entry, or a cluster in use (a lost chain holds data too)
  NeedMore,    // start ends before the root folder does
};

// Looks at the first size bytes of a disk of diskSize bytes. needed
// receives how many bytes the answer takes (the boot sector, the FATs and
// the root folder); with fewer the verdict is NeedMore. A boot sector needs
// 512 to 4096 bytes per sector, a medium byte that the first FAT repeats
// and a root folder that ends within the disk (its jump instruction may be
// damaged); FAT32 counts as no FAT here (a floppy has none).
TFatVerdict LookAtFatRoot(const unsigned char *start, size_t size, int64_t diskSize,
                          size_t &needed);

// A disk's bytes as a look at what it holds reads them.
class TDiskBytes {
 public:
  // Reads size bytes at offset into data; false with the system's text in
  // error ("the disk ends early" past its end).
  virtual bool Read(int64_t offset, unsigned char *data, size_t size, std::string &error) = 0;

 protected:
  ~TDiskBytes() = default;
};

// Whether every byte from offset from up to to is the one at from. False
// with the text in error when they can't be read.
bool AllBytesSame(TDiskBytes &bytes, int64_t from, int64_t to, bool &same, std::string &error);

// What a disk of diskSize bytes holds whose FAT root reader said Empty or
// HoldsFiles of the FAT file system that bootSector (512 bytes) starts: what
// names the file system ("a FAT file system labelled TOOLS"). Empty FAT
// only when nothing lies past the file system's end but bytes all the same;
// data there is named ("..., and 737280 bytes of other data after it").
TContent FatContent(const std::string &what, TFatVerdict verdict,
                    const unsigned char *bootSector, int64_t diskSize, TDiskBytes &bytes);

#endif
