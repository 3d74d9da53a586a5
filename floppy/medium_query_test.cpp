#include "medium_query.h"

#include <gtest/gtest.h>

#include "floppy_io.h"
#include "support/fat_image.h"
#include "support/floppy_session.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::FloppySession;
using testing_support::TPlatform;

class MediumQuery : public FloppySession {
 protected:
  bool Query(char letter = 'A') {
    label_ = "stale";
    return QueryMedium(letter, label_, capacity_, present_, geometry_);
  }
  void ExpectGeometry(int64_t cylinders, DWORD media, DWORD heads, DWORD sectors) {
    EXPECT_EQ(geometry_.Cylinders, cylinders);
    EXPECT_EQ(geometry_.MediaType, media);
    EXPECT_EQ(geometry_.TracksPerCylinder, heads);
    EXPECT_EQ(geometry_.SectorsPerTrack, sectors);
    EXPECT_EQ(geometry_.BytesPerSector, 512u);
  }
  // A disk whose file system claims this many bytes in all.
  static sim::Medium DiskOfFileSystemSize(DWORD sectorsPerCluster, DWORD bytesPerSector,
                                          DWORD clusters) {
    sim::Medium medium = sim::Floppy144();
    sim::FileSystem fileSystem;
    fileSystem.sectorsPerCluster = sectorsPerCluster;
    fileSystem.bytesPerSector = bytesPerSector;
    fileSystem.totalClusters = clusters;
    medium.fileSystem = fileSystem;
    return medium;
  }

  std::string label_;
  int64_t capacity_ = -1;
  bool present_ = false;
  TDiskGeometry geometry_ = {};
};

TEST_F(MediumQuery, NtDiskPresent) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {}, "MYDISK")));
  ASSERT_TRUE(Query('a'));
  EXPECT_TRUE(present_);
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  EXPECT_EQ(capacity_, 1474560);
  EXPECT_EQ(label_, "MYDISK");
  EXPECT_EQ(Pc().Count(Call::GetMediaTypes), 0u);
  EXPECT_EQ(Pc().Count(Call::Flush), 0u) << "a read channel has nothing to flush";
}

TEST_F(MediumQuery, NtNoDiskGivesSupportedGeometry) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');  // lists 720 KB, then 1.44 MB
  ASSERT_TRUE(Query());
  EXPECT_FALSE(present_);
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  EXPECT_EQ(label_, "");
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  ASSERT_EQ(Pc().Count(Call::GetGeometry), 1u);
  EXPECT_FALSE(Pc().Calls(Call::GetGeometry)[0].ok);
  EXPECT_EQ(Pc().Count(Call::GetMediaTypes), 1u);
}

TEST_F(MediumQuery, NtListWithout144TakesFirstRecord) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('B', sim::FloppyKind::F5_1Pt2);  // 360 KB, then 1.2 MB
  ASSERT_TRUE(Query('B'));
  EXPECT_FALSE(present_);
  EXPECT_EQ(geometry_.MediaType, static_cast<DWORD>(kMediaF5_360));
  EXPECT_EQ(geometry_.Cylinders, 40);
  EXPECT_EQ(capacity_, 368640);
}

TEST_F(MediumQuery, NtLockRefused) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144());
  Pc().SetFilesOpen('A', true);
  EXPECT_FALSE(Query());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(capacity_, -1) << "capacity set on failure";
}

TEST_F(MediumQuery, MediaTypeMustBeWritable) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::MakeMedium(FixedMedia, 80, 2, 18, 512));
  EXPECT_FALSE(Query());
  EXPECT_EQ(GetLastError(), kErrorInvalidMediaType);
  EXPECT_EQ(capacity_, -1);
  // LS-120 media are written like any floppy.
  Pc().InsertMedium('A', sim::MakeMedium(F3_120M_512, 963, 8, 32, 512));
  ASSERT_TRUE(Query());
  EXPECT_EQ(capacity_, 963LL * 8 * 32 * 512);
}

TEST_F(MediumQuery, OnlyDrivesAAndB) {
  Start(TPlatform::Nt);
  Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  EXPECT_FALSE(Query('C'));
  EXPECT_EQ(GetLastError(), kErrorNotFloppyDrive);
  EXPECT_EQ(label_, "");
  EXPECT_TRUE(Pc().Log().empty());
}

class MediumQuery9x : public MediumQuery {};

TEST_F(MediumQuery9x, Win98AsksTheFat32Category) {
  Start(TPlatform::Win98);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {}, "NINE")));
  ASSERT_TRUE(Query());
  EXPECT_TRUE(present_);
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  EXPECT_EQ(label_, "NINE");
  std::vector<sim::DeviceCall> queries = Pc().Calls(Call::DosIoctl);
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].code, 0x4860u);
}

TEST_F(MediumQuery9x, Win95AsksTheDiskCategoryOnly) {
  Start(TPlatform::Win95);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {})));
  ASSERT_TRUE(Query());
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  std::vector<sim::DeviceCall> queries = Pc().Calls(Call::DosIoctl);
  ASSERT_EQ(queries.size(), 1u);
  EXPECT_EQ(queries[0].code, 0x0860u);
}

TEST_F(MediumQuery9x, StandardAnswerIsWidened) {
  Start(TPlatform::Win95);
  Pc().AddFloppyDrive('A');
  BYTE block[kDeviceParamsSize];
  memset(block, 0xCC, sizeof block);
  ASSERT_TRUE(VwinGetDeviceParams(1, block));
  EXPECT_EQ(block[1], 7);                     // 1.44 MB drive
  EXPECT_EQ(block[20] | block[21] << 8, 18);  // sectors per track
  for (size_t i = 32; i < kDeviceParamsSize; ++i) {
    BYTE expected = (i >= 44 && i < 48) ? 0xFF : 0;
    EXPECT_EQ(block[i], expected) << "byte " << i;
  }
  ReleaseDrive();
}

TEST_F(MediumQuery9x, Disk720FoundByFreeSpace) {
  Start(TPlatform::Win98);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', DiskOfFileSystemSize(1, 512, 1440));  // 737,280 bytes
  ASSERT_TRUE(Query());
  ExpectGeometry(80, kMediaF3_720, 2, 9);
  EXPECT_EQ(capacity_, 737280);
  Pc().InsertMedium('A', DiskOfFileSystemSize(1, 1, 737281));
  ASSERT_TRUE(Query());
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  EXPECT_EQ(capacity_, 1474560);
}

TEST_F(MediumQuery9x, NoDisk) {
  Start(TPlatform::Win95);
  Pc().AddFloppyDrive('A');
  ASSERT_TRUE(Query());
  EXPECT_FALSE(present_);
  ExpectGeometry(80, kMediaF3_1Pt44, 2, 18);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

// An ERROR_NOT_READY left by an earlier call must not hide a disk that is
// there now (the writer queries again after the user inserts one).
TEST_F(MediumQuery9x, StaleNotReadyDoesNotHideDisk) {
  Start(TPlatform::Win98);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {})));
  SetLastError(ERROR_NOT_READY);
  ASSERT_TRUE(Query());
  EXPECT_TRUE(present_);
}

TEST_F(MediumQuery9x, TapeIsNotWritable) {
  Start(TPlatform::Win98);
  Pc().AddFloppyDrive('A').dosDeviceType = 6;
  EXPECT_FALSE(Query());
  EXPECT_EQ(GetLastError(), kErrorInvalidMediaType);
  EXPECT_EQ(geometry_.MediaType, static_cast<DWORD>(kMediaUnknown));
}

// Every DOS device type with its media type; only the writable ones make a
// successful query.
TEST_F(MediumQuery9x, DeviceTypesMapToMediaTypes) {
  Start(TPlatform::Win98);
  const struct {
    BYTE deviceType;
    DWORD mediaType;
  } rows[] = {{0, kMediaF5_360},    {1, kMediaF5_1Pt2},  {2, kMediaF3_720},   {3, kMediaRemovable},
              {4, kMediaRemovable}, {5, kMediaFixed},    {6, kMediaUnknown},  {7, kMediaF3_1Pt44},
              {8, kMediaRemovable}, {9, kMediaF3_2Pt88}, {10, kMediaUnknown}, {255, kMediaUnknown}};
  for (const auto &row : rows) {
    Pc().AddFloppyDrive('A').dosDeviceType = row.deviceType;
    geometry_ = TDiskGeometry();
    SetLastError(0);
    bool writable = row.mediaType != kMediaUnknown && row.mediaType != kMediaRemovable &&
                    row.mediaType != kMediaFixed;
    EXPECT_EQ(Query(), writable) << "device type " << int(row.deviceType);
    EXPECT_EQ(geometry_.MediaType, row.mediaType) << "device type " << int(row.deviceType);
    if (!writable) {
      EXPECT_EQ(GetLastError(), kErrorInvalidMediaType);
    }
  }
}

TEST_F(MediumQuery9x, TwoFailedAttemptsWithResets) {
  Start(TPlatform::Win98);
  Pc().AddFloppyDrive('A');
  Pc().FailDeviceIoControl(ERROR_GEN_FAILURE);
  geometry_.SectorsPerTrack = 77;
  present_ = true;
  EXPECT_FALSE(Query());
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_EQ(geometry_.SectorsPerTrack, 77u) << "geometry changed on failure";
  EXPECT_TRUE(present_);
  EXPECT_EQ(Pc().Count(Call::DosIoctl), 4u);  // 4860h and 0860h, twice
  EXPECT_EQ(Pc().Count(Call::DiskReset), 2u);
}

TEST_F(MediumQuery9x, DosErrorKeptInVwinLastError) {
  Start(TPlatform::Win95);
  Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  BYTE block[kDeviceParamsSize] = {};
  EXPECT_FALSE(VwinGetDeviceParams(1, block));  // no drive A:
  EXPECT_EQ(VwinLastError(), 0x000Fu);          // invalid drive
  ReleaseDrive();
}

}  // namespace
