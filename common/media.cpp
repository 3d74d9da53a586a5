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
