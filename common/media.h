// Floppy media types with their display names, the disk geometry record and
// the standard 3.5-inch geometries.
#ifndef DISKARNO_COMMON_MEDIA_H
#define DISKARNO_COMMON_MEDIA_H

#include <windows.h>

#include <cstdint>

// 0 to 13 follow the Windows MEDIA_TYPE numbering; 14 is this program's own.
typedef BYTE TMediaType;

constexpr TMediaType kMediaUnknown = 0;
constexpr TMediaType kMediaF5_1Pt2 = 1;
constexpr TMediaType kMediaF3_1Pt44 = 2;
constexpr TMediaType kMediaF3_2Pt88 = 3;
constexpr TMediaType kMediaF3_720 = 5;
constexpr TMediaType kMediaF5_360 = 6;
constexpr TMediaType kMediaF5_320 = 7;
constexpr TMediaType kMediaF5_180 = 9;
constexpr TMediaType kMediaF5_160 = 10;
constexpr TMediaType kMediaRemovable = 11;
constexpr TMediaType kMediaFixed = 12;
constexpr TMediaType kMediaF3_120M = 13;
constexpr TMediaType kMediaNone = 14;
constexpr int kMediaTypeCount = 15;

extern const char *const MediaTypeNames[kMediaTypeCount];

// The most bytes a medium of the type can hold: for a floppy what its
// drive can record on it unformatted (no format packs more onto it: 2 MB
// for a 1.44 MB disk, which also takes DMF and other dense formats), for a
// medium formatted in the factory its capacity (a round bound above it for
// the floptical), and 2 GiB - 1 (the largest image) for a removable or
// fixed disk of no set size. 0 for a number that names no medium.
int64_t MediumCapacity(TMediaType type);

// The layout of the Windows DISK_GEOMETRY record; the NT volume device fills
// it directly.
struct TDiskGeometry {
  int64_t Cylinders;
  DWORD MediaType;  // a TMediaType in the low byte
  DWORD TracksPerCylinder;
  DWORD SectorsPerTrack;
  DWORD BytesPerSector;
};
static_assert(sizeof(TDiskGeometry) == 24, "TDiskGeometry has the layout of DISK_GEOMETRY");

// cylinders x heads x sectors x bytes per sector, in signed 64 bits.
int64_t GeometryCapacity(const TDiskGeometry &geometry);
// 80 cylinders, 2 heads, 9 or 18 sectors of 512 bytes; the media type is not looked at.
bool IsStandard35Geometry(const TDiskGeometry &geometry);
// The geometry and media type of the standard floppy format of exactly this
// many bytes (160 KB to 2.88 MB); false for any other size.
bool StandardFloppyGeometry(int64_t bytes, TDiskGeometry &geometry);
// Makes the geometry 80 x 2 x 18 x 512, or 80 x 2 x 9 x 512 for media type 5;
// the media type stays.
void SetStandard35Geometry(TDiskGeometry &geometry);

#endif
