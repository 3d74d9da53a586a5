#include "media.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TDiskGeometry Geometry(int64_t cylinders, DWORD media, DWORD heads, DWORD sectors, DWORD bytes) {
  return TDiskGeometry{cylinders, media, heads, sectors, bytes};
}

TEST(Media, NamesTable) {
  EXPECT_STREQ(MediaTypeNames[0], "Unknown");
  EXPECT_STREQ(MediaTypeNames[2], "3.5\" 1.44MB");
  EXPECT_STREQ(MediaTypeNames[5], "3.5\" 720KB");
  EXPECT_STREQ(MediaTypeNames[8], "5.25\" 320KB (1024 byte/sector)");
  EXPECT_STREQ(MediaTypeNames[13], "LS 120 Zip Drive");
  EXPECT_STREQ(MediaTypeNames[14], "No medium found");
  EXPECT_EQ(sizeof MediaTypeNames / sizeof MediaTypeNames[0], 15u);
}

TEST(Media, GeometryHasDiskGeometryLayout) {
  TDiskGeometry geometry = Geometry(80, 2, 2, 18, 512);
  unsigned char raw[24];
  memcpy(raw, &geometry, sizeof raw);
  EXPECT_EQ(raw[0], 80);
  EXPECT_EQ(raw[8], 2);
  EXPECT_EQ(raw[12], 2);
  EXPECT_EQ(raw[16], 18);
  EXPECT_EQ(raw[20], 0x00);
  EXPECT_EQ(raw[21], 0x02);
}

TEST(Media, Capacity) {
  EXPECT_EQ(GeometryCapacity(Geometry(80, 2, 2, 18, 512)), 1474560);
  EXPECT_EQ(GeometryCapacity(Geometry(80, 5, 2, 9, 512)), 737280);
  EXPECT_EQ(GeometryCapacity(Geometry(0x100000000LL, 2, 2, 18, 512)), 0x100000000LL * 18432);
}

TEST(Media, StandardGeometryRecognised) {
  EXPECT_TRUE(IsStandard35Geometry(Geometry(80, 2, 2, 18, 512)));
  EXPECT_TRUE(IsStandard35Geometry(Geometry(80, 2, 2, 9, 512)));  // media type not looked at
  EXPECT_FALSE(IsStandard35Geometry(Geometry(81, 2, 2, 18, 512)));
  EXPECT_FALSE(IsStandard35Geometry(Geometry(80 + (1LL << 32), 2, 2, 18, 512)));
  EXPECT_FALSE(IsStandard35Geometry(Geometry(80, 2, 1, 18, 512)));
  EXPECT_FALSE(IsStandard35Geometry(Geometry(80, 2, 2, 15, 512)));
  EXPECT_FALSE(IsStandard35Geometry(Geometry(80, 2, 2, 18, 1024)));
}

TEST(Media, SetStandardFollowsMediaType) {
  TDiskGeometry geometry = Geometry(77, 3, 1, 15, 1024);
  SetStandard35Geometry(geometry);
  EXPECT_EQ(geometry.Cylinders, 80);
  EXPECT_EQ(geometry.TracksPerCylinder, 2u);
  EXPECT_EQ(geometry.SectorsPerTrack, 18u);
  EXPECT_EQ(geometry.BytesPerSector, 512u);
  EXPECT_EQ(geometry.MediaType, 3u);
  geometry.MediaType = 5;
  SetStandard35Geometry(geometry);
  EXPECT_EQ(geometry.SectorsPerTrack, 9u);
}

}  // namespace
