// Media type names and the standard 3.5-inch geometries.
#include "media.h"

// clang-format off
const char *const MediaTypeNames[kMediaTypeCount] = {
    "Unknown",
    "5.25\" 1.2MB",
    "3.5\" 1.44MB",
    "3.5\" 2.88MB",
    "3.5\" 20.8MB",
    "3.5\" 720KB",
    "5.25\" 360KB",
    "5.25\" 320KB",
    "5.25\" 320KB (1024 byte/sector)",
    "5.25\" 180KB",
    "5.25\" 160KB",
    "Removable medium",
    "Hard disk",
    "LS 120 Zip Drive",
    "No medium found",
};
// clang-format on

int64_t MediumCapacity(TMediaType type) {
  // Unformatted: the drive's data rate over one turn, times the tracks.
  constexpr int64_t kDoubleDensity525 = 250000 / 8 / 5 * 80;  // 40 cylinders, 2 heads, 300 rpm
  constexpr int64_t kHighDensity525 = 500000 / 8 / 6 * 160;   // 360 rpm
  constexpr int64_t kDoubleDensity35 = 250000 / 8 / 5 * 160;  // 300 rpm
  constexpr int64_t kLargest = 0x7FFFFFFF;
  static const int64_t kCapacities[kMediaTypeCount] = {
      0,
      kHighDensity525,        // 1.2 MB
      kDoubleDensity35 * 2,   // 1.44 MB
      kDoubleDensity35 * 4,   // 2.88 MB
      25000000,               // 20.8 MB floptical, rounded up
      kDoubleDensity35,       // 720 KB
      kDoubleDensity525,      // 360 KB
      kDoubleDensity525,      // 320 KB
      kDoubleDensity525,      // 320 KB of 1024-byte sectors
      kDoubleDensity525 / 2,  // 180 KB, one side
      kDoubleDensity525 / 2,  // 160 KB, one side
      kLargest,               // removable disk
      kLargest,               // hard disk
      126222336,              // LS-120, formatted in the factory
      kLargest,               // no medium found when it was packed
  };
  return type < kMediaTypeCount ? kCapacities[type] : 0;
}

int64_t GeometryCapacity(const TDiskGeometry &geometry) {
  // Unsigned arithmetic: a device may report any geometry, and the product
  // then wraps instead of overflowing.
  uint64_t product = static_cast<uint64_t>(geometry.Cylinders) * geometry.TracksPerCylinder *
                     geometry.SectorsPerTrack * geometry.BytesPerSector;
  return static_cast<int64_t>(product);
}

bool IsStandard35Geometry(const TDiskGeometry &geometry) {
  return geometry.Cylinders == 80 && geometry.TracksPerCylinder == 2 &&
         (geometry.SectorsPerTrack == 18 || geometry.SectorsPerTrack == 9) &&
         geometry.BytesPerSector == 512;
}

void SetStandard35Geometry(TDiskGeometry &geometry) {
  geometry.Cylinders = 80;
  geometry.TracksPerCylinder = 2;
  geometry.SectorsPerTrack = LOBYTE(geometry.MediaType) == kMediaF3_720 ? 9 : 18;
  geometry.BytesPerSector = 512;
}

namespace {

struct TStandardFormat {
  TMediaType MediaType;
  DWORD Cylinders;
  DWORD Heads;
  DWORD SectorsPerTrack;
};

const TStandardFormat kStandardFormats[] = {
    {kMediaF5_160, 40, 1, 8},  {kMediaF5_180, 40, 1, 9},   {kMediaF5_320, 40, 2, 8},
    {kMediaF5_360, 40, 2, 9},  {kMediaF3_720, 80, 2, 9},   {kMediaF5_1Pt2, 80, 2, 15},
    {kMediaF3_1Pt44, 80, 2, 18}, {kMediaF3_2Pt88, 80, 2, 36},
};

}  // namespace

bool StandardFloppyGeometry(int64_t bytes, TDiskGeometry &geometry) {
  for (const TStandardFormat &format : kStandardFormats) {
    TDiskGeometry candidate = {format.Cylinders, format.MediaType, format.Heads,
                               format.SectorsPerTrack, 512};
    if (GeometryCapacity(candidate) == bytes) {
      geometry = candidate;
      return true;
    }
  }
  return false;
}
