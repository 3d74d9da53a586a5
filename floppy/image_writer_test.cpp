#include "image_writer.h"

#include <gtest/gtest.h>

#include <vector>

#include "floppy_io.h"
#include "kernel_object.h"
#include "support/floppy_session.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::FloppySession;
using testing_support::TPlatform;
using testing_support::TWriterScript;

constexpr LONG k144 = 1474560;
constexpr DWORD kTrack = 9216;

class ImageWriter : public FloppySession {
 protected:
  void SetUp() override {
    FloppySession::SetUp();
    Start(TPlatform::Nt);
    Pc().AddFloppyDrive('A');
    Pc().InsertMedium('A', sim::Floppy144());
  }
  void TearDown() override {
    image_ = std::vector<BYTE>();
    FloppySession::TearDown();
  }
  bool Run(TWriterScript &script, LONG size = k144) {
    image_.assign(static_cast<size_t>(size), 0x11);
    return WriteImage('A', image_.data(), size, script.UserData(), TWriterScript::Callback);
  }
  std::vector<BYTE> image_;
};

TEST_F(ImageWriter, RetriedThreeTimesThenSkipped) {
  Pc().FailTrack('A', 10, 1, 1000, ERROR_CRC);
  TWriterScript script;
  script.Answers[kEventTrackFailed] = {kActionRetry, kActionRetry, 7, kActionContinue};
  ASSERT_TRUE(Run(script));
  EXPECT_EQ(script.Count(kEventTrackFailed), 4u);
  size_t announced = 0;
  for (const auto &event : script.Events)
    if (event.Event == kEventWriteTrack && event.Cylinder == 10 && event.Head == 1) ++announced;
  EXPECT_EQ(announced, 4u);
  for (const auto &event : script.Events) {
    if (event.Event != kEventTrackFailed) continue;
    EXPECT_EQ(event.Success, 0);
    EXPECT_EQ(event.Error, static_cast<DWORD>(ERROR_CRC));
  }
  // Every failed track gives the volume back; the next write reopens it.
  EXPECT_EQ(Pc().Count(Call::Open), 1u + 1u + 4u);
}

TEST_F(ImageWriter, DriveFailedQueriedAgainUntilStopped) {
  Pc().RemoveMedium('A');
  TWriterScript script;
  script.Answers[kEventDriveFailed] = {kActionContinue, 5, kActionStop};
  EXPECT_FALSE(Run(script));
  EXPECT_EQ(script.EventKinds(),
            (std::vector<int>{kEventDriveFailed, kEventDriveFailed, kEventDriveFailed}));
  EXPECT_EQ(Pc().Count(Call::GetGeometry), 3u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

TEST_F(ImageWriter, GeometryChangedAtReadyIsFollowed) {
  Pc().InsertMedium('A', sim::Floppy720());
  TWriterScript script;
  script.OnReady = [](TWriteStatus &status) { status.Geometry.SectorsPerTrack = 18; };
  ASSERT_TRUE(Run(script, 737280));
  std::vector<sim::DeviceCall> writes = Pc().Calls(Call::Write);
  ASSERT_EQ(writes.size(), 80u);  // the capacity of the queried 720 KB disk
  EXPECT_EQ(writes[1].length, kTrack);
  EXPECT_EQ(writes[79].offset, 79 * static_cast<int64_t>(kTrack));
}

TEST_F(ImageWriter, StopAtReadyWritesNothing) {
  TWriterScript script;
  script.Answers[kEventDriveReady] = {kActionStop};
  script.OnReady = [](TWriteStatus &) { SetLastError(0x1234); };
  EXPECT_FALSE(Run(script));
  EXPECT_EQ(GetLastError(), 0x1234u);
  EXPECT_EQ(Pc().Count(Call::Write), 0u);
}

TEST_F(ImageWriter, StopBeforeATrackReleases) {
  TWriterScript script;
  script.Answers[kEventWriteTrack] = {kActionContinue, kActionContinue, kActionStop};
  EXPECT_FALSE(Run(script));
  EXPECT_EQ(Pc().Count(Call::Write), 2u);
  EXPECT_EQ(Pc().Log().back().kind, Call::Close);
}

TEST_F(ImageWriter, NoCallbackStopsAtFirstFailedTrack) {
  Pc().SetWriteProtected('A', true);
  image_.assign(k144, 0);
  EXPECT_FALSE(WriteImage('A', image_.data(), k144, 0, nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_PROTECT));
  EXPECT_EQ(Pc().Count(Call::Write), 1u);
}

// A geometry that holds no whole track, or an image that, cut to the
// capacity, holds none: nothing would be written, and that is a failure.
TEST_F(ImageWriter, NothingToWriteIsBufferTooSmall) {
  struct Case {
    const char *name;
    void (*onReady)(TWriteStatus &status);
    sim::Medium medium;
  };
  const Case cases[] = {
      {"no cylinders", [](TWriteStatus &s) { s.Geometry.Cylinders = 0; }, sim::Floppy144()},
      {"negative cylinders", [](TWriteStatus &s) { s.Geometry.Cylinders = -1; }, sim::Floppy144()},
      {"no heads", [](TWriteStatus &s) { s.Geometry.TracksPerCylinder = 0; }, sim::Floppy144()},
      {"no sectors", [](TWriteStatus &s) { s.Geometry.SectorsPerTrack = 0; }, sim::Floppy144()},
      {"no bytes", [](TWriteStatus &s) { s.Geometry.BytesPerSector = 0; }, sim::Floppy144()},
      // A one-sector disk whose geometry the callback widens to a whole
      // 1.44 MB track: the image is cut to 512 bytes.
      {"capacity below a track", [](TWriteStatus &s) { s.Geometry.SectorsPerTrack = 18; },
       sim::MakeMedium(kMediaF3_1Pt44, 1, 1, 1, 512)},
  };
  for (const Case &c : cases) {
    Pc().InsertMedium('A', c.medium);
    Pc().ClearLog();
    TWriterScript script;
    script.OnReady = c.onReady;
    script.Answers[kEventTrackFailed] = {kActionContinue, kActionContinue, kActionContinue};
    SetLastError(0);
    EXPECT_FALSE(Run(script)) << c.name;
    EXPECT_EQ(GetLastError(), 0xFF070004u) << c.name;
    EXPECT_EQ(script.EventKinds(), std::vector<int>{kEventDriveReady}) << c.name;
    EXPECT_EQ(Pc().Count(Call::Write), 0u);
    EXPECT_EQ(winapi::OpenHandleCount(), 0u);
  }
}

// Every whole track of the image and nothing after it: a partial last
// track is left out, an image of exactly one track is one track.
TEST_F(ImageWriter, OnlyWholeTracksAreWritten) {
  for (LONG tracks : {5, 1}) {
    Pc().InsertMedium('A', sim::Floppy144());
    Pc().ClearLog();
    TWriterScript script;
    ASSERT_TRUE(Run(script, tracks * kTrack + (tracks > 1 ? 100 : 0))) << tracks;
    EXPECT_EQ(Pc().Count(Call::Write), static_cast<size_t>(tracks));
    EXPECT_EQ(Pc().MediumIn('A')->bytes[tracks * kTrack - 1], 0x11);
    EXPECT_EQ(Pc().MediumIn('A')->bytes[tracks * kTrack], 0);
  }
}

}  // namespace
