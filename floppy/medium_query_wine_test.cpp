// The medium query on a volume driver without the geometry request, as Wine's
// volume over an image file is.
#include <gtest/gtest.h>

#include "floppy_io.h"
#include "image_writer.h"
#include "medium_query.h"
#include "support/fat_image.h"
#include "support/floppy_session.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::FloppySession;
using testing_support::TPlatform;

struct TFormat {
  int64_t Bytes;
  DWORD MediaType;
  int64_t Cylinders;
  DWORD Heads;
  DWORD Sectors;
};

const TFormat kFormats[] = {
    {163840, kMediaF5_160, 40, 1, 8},     {184320, kMediaF5_180, 40, 1, 9},
    {327680, kMediaF5_320, 40, 2, 8},     {368640, kMediaF5_360, 40, 2, 9},
    {737280, kMediaF3_720, 80, 2, 9},     {1228800, kMediaF5_1Pt2, 80, 2, 15},
    {1474560, kMediaF3_1Pt44, 80, 2, 18}, {2949120, kMediaF3_2Pt88, 80, 2, 36},
};

class WineVolumeQuery : public FloppySession {
 protected:
  // Drive A: as Wine shows it: an image file of `bytes` behind \\.\A:.
  void StartWithImageFile(size_t bytes) {
    Start(TPlatform::Nt);
    Pc().AddFloppyDrive('A');
    Pc().SetVolumeDriver('A', sim::VolumeDriver::Wine);
    // The geometry record a file of this size gets is the driver's business;
    // only the bytes count for the query.
    Pc().InsertMedium('A', sim::MakeMedium(0, 1, 1, 1, 512, std::vector<unsigned char>(bytes)));
    Pc().MediumIn('A')->bytes.resize(bytes);
  }
  bool Query() { return QueryMedium('A', label_, capacity_, present_, geometry_); }

  std::string label_;
  int64_t capacity_ = -1;
  bool present_ = false;
  TDiskGeometry geometry_ = {};
};

class WineVolumeFormats : public WineVolumeQuery, public ::testing::WithParamInterface<TFormat> {};

TEST_P(WineVolumeFormats, StandardSizeGivesItsFormat) {
  const TFormat &format = GetParam();
  StartWithImageFile(static_cast<size_t>(format.Bytes));
  ASSERT_TRUE(Query());
  EXPECT_TRUE(present_);
  EXPECT_EQ(capacity_, format.Bytes);
  EXPECT_EQ(geometry_.MediaType, format.MediaType);
  EXPECT_EQ(geometry_.Cylinders, format.Cylinders);
  EXPECT_EQ(geometry_.TracksPerCylinder, format.Heads);
  EXPECT_EQ(geometry_.SectorsPerTrack, format.Sectors);
  EXPECT_EQ(geometry_.BytesPerSector, 512u);
  // One open and lock for the whole query; the media-types request is not asked.
  EXPECT_EQ(Pc().Count(Call::Open), 1u);
  EXPECT_EQ(Pc().Count(Call::Lock), 1u);
  EXPECT_EQ(Pc().Count(Call::GetMediaTypes), 0u);
  EXPECT_EQ(Pc().Count(Call::GetSize), 1u);
}

INSTANTIATE_TEST_SUITE_P(Sizes, WineVolumeFormats, ::testing::ValuesIn(kFormats),
                         [](const ::testing::TestParamInfo<TFormat> &info) {
                           return std::to_string(info.param.Bytes);
                         });

// A length of no standard format keeps the old path: the media-types answer,
// read as geometry records, names no writable medium.
TEST_F(WineVolumeQuery, NonStandardLengthIsNotAMedium) {
  StartWithImageFile(1474560 + 512);
  SetLastError(0);
  EXPECT_FALSE(Query());
  EXPECT_EQ(GetLastError(), kErrorInvalidMediaType);
  EXPECT_FALSE(present_);
  EXPECT_EQ(geometry_.Cylinders, 2);  // what Wine's record gives
  EXPECT_EQ(Pc().Count(Call::GetMediaTypes), 1u);
}

// A real floppy driver's ERROR_NOT_READY is a drive without a disk, whatever
// the volume's size: the length is not asked.
TEST_F(WineVolumeQuery, RealDriverNotReadyIsUntouched) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');
  ASSERT_TRUE(Query());
  EXPECT_FALSE(present_);
  EXPECT_EQ(Pc().Count(Call::GetSize), 0u);
  EXPECT_EQ(Pc().Count(Call::OtherControl), 0u);
  EXPECT_EQ(Pc().Count(Call::GetMediaTypes), 1u);
}

TEST_F(WineVolumeQuery, WholeDiskIsWrittenThroughTheFallback) {
  std::vector<unsigned char> image =
      testing_support::MakeFatImage(1474560, {{"HELLO.TXT", "written under Wine"}});
  StartWithImageFile(1474560);
  testing_support::TWriterScript script;
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                         &testing_support::TWriterScript::Callback));
  EXPECT_EQ(Pc().MediumIn('A')->bytes, image);
  EXPECT_EQ(Pc().Count(Call::Write), 160u);
  EXPECT_EQ(script.Count(kEventDriveFailed), 0u);
  EXPECT_TRUE(testing_support::FsckClean(Pc().MediumIn('A')->bytes));
}

}  // namespace
