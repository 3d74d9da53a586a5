// The floppy formats the tool knows, by the capacity users name them by
// (160 to 2880 KB, DMF's 1680 included): the one table that read, write,
// verify and pack size disks and images by, and that format lays out
// (360, 720, 1200, 1440, 1680, 2880 KB); and the empty FAT12 file system
// format writes after one, as mformat makes it.
#ifndef DISKARNO_TOOLS_DISKARNO_FLOPPY_FORMATS_H
#define DISKARNO_TOOLS_DISKARNO_FLOPPY_FORMATS_H

#include <windows.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "media.h"

// What a drive leaves in every byte of a sector it formats.
constexpr BYTE kFormatFill = 0xF6;

struct TFloppyFormat {
  int kilobytes;  // 1440
  DWORD cylinders;
  DWORD heads;
  DWORD sectors;         // per track; 21 for the 1.68 MB DMF format
  TMediaType mediaType;  // the medium's; DMF's is the 1.44 MB one it is laid out on
  bool laidOut;          // format lays it out (--capacity)
  // The FAT12 parameters mformat gives a format that format lays out.
  BYTE sectorsPerCluster;
  WORD rootEntries;
  BYTE mediaDescriptor;
  WORD sectorsPerFat;
};

// The format of that many KB that format lays out; nullptr for none.
const TFloppyFormat *FloppyFormatOf(int kilobytes);
// The format of exactly that many bytes; nullptr for none.
const TFloppyFormat *FloppyFormatOfSize(int64_t bytes);
// The largest format of at most that many bytes; nullptr below 160 KB.
const TFloppyFormat *LargestFloppyFormatWithin(int64_t bytes);
// What format lays out: "360, 720, 1200, 1440, 1680 and 2880".
std::string FloppyFormatList();
// 512-byte sectors, the format's cylinders, heads, sectors and media type.
TDiskGeometry GeometryOf(const TFloppyFormat &format);
inline int64_t CapacityOf(const TFloppyFormat &format) {
  return static_cast<int64_t>(format.cylinders) * format.heads * format.sectors * 512;
}

// Takes a volume label as FAT keeps it: at most 11 characters, upper case,
// none of the characters FAT forbids in names. False with the reason in why.
bool FatLabel(const std::string &text, std::string &label, std::string &why);

// The disk after a format and mformat: boot sector (a loader that says the
// disk can't start the PC), two FATs, the root folder with the label
// (none when empty), every other byte the fill byte. serial and when (the
// label's time stamp) are the volume's.
std::vector<BYTE> EmptyFatImage(const TFloppyFormat &format, const std::string &label, DWORD serial,
                                time_t when);
// The number of whole tracks that hold the boot sector, the FATs and the
// root folder.
DWORD SystemTracks(const TFloppyFormat &format);

#endif
