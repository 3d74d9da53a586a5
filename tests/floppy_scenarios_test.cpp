// Real FAT12 images written through WriteImage onto simulated disks on both
// Windows families, and the writer's behaviour under every device fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "app_errors.h"
#include "floppy_io.h"
#include "heap.h"
#include "image_writer.h"
#include "kernel_object.h"
#include "support/fat_image.h"
#include "support/floppy_session.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::FloppySession;
using testing_support::TPlatform;
using testing_support::TWriterScript;

constexpr size_t k144 = 1474560;
constexpr size_t k720 = 737280;
constexpr DWORD kTrack144 = 9216;
constexpr DWORD kErrorImageTooSmall = 0xFF070004;

const testing_support::TFileList kFiles = {
    {"README.TXT", "Written by the disk writer.\r\n"},
    {"DATA.BIN", std::string(40000, '\x5A')},
    {"NOTES.TXT", "second file\r\n"},
};

// Not SEM_FAILCRITICALERRORS: a device call made outside the floppy layer's
// own error mode would show the system's "no disk" box, and the mode given
// back is told apart from both 0 and the layer's.
constexpr UINT kCallerErrorMode = SEM_NOOPENFILEERRORBOX;

class FloppyScenarios : public FloppySession, public ::testing::WithParamInterface<TPlatform> {
 protected:
  void SetUp() override {
    FloppySession::SetUp();
    UseErrorMode(kCallerErrorMode);
    Start(GetParam());
    Pc().AddFloppyDrive('A');
    Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  }

  bool Nt() const { return GetParam() == TPlatform::Nt; }
  // 98 and Me try INT 21h 7305h before INT 26h, and ask the FAT32 category.
  bool Fat32() const { return GetParam() == TPlatform::Win98 || GetParam() == TPlatform::WinMe; }

  // An image in a heap block, as the program holds it.
  THeapBlock Image(const std::vector<unsigned char> &bytes) {
    THeapBlock block(bytes.size());
    memcpy(block.Data(), bytes.data(), bytes.size());
    return block;
  }

  // The formatted disk that the user puts in: empty, with its own label.
  void InsertFormattedDisk(size_t bytes = k144) {
    std::vector<unsigned char> blank = testing_support::MakeFatImage(bytes, {}, "OLDDISK");
    Pc().InsertMedium('A', bytes == k144 ? sim::Floppy144(blank) : sim::Floppy720(blank));
  }

  const std::vector<unsigned char> &Disk() { return Pc().MediumIn('A')->bytes; }

  // The device writes in order, as (byte offset, length).
  std::vector<std::pair<int64_t, DWORD>> Writes() {
    std::vector<std::pair<int64_t, DWORD>> writes;
    for (const sim::DeviceCall &call : Pc().Log()) {
      if (call.kind == Call::Write && call.ok) writes.emplace_back(call.offset, call.length);
      bool vwinWrite = call.kind == Call::ExtendedWrite || call.kind == Call::AbsoluteWrite;
      if (vwinWrite && call.ok && !call.carry) writes.emplace_back(call.offset, call.length);
    }
    return writes;
  }

  // How many device write requests one failed VWIN32 attempt makes.
  int WritesPerAttempt() const { return Fat32() ? 2 : 1; }
  // Device write requests that make one WriteTrack fail.
  int FailuresPerTrack() const { return Nt() ? 1 : 2 * WritesPerAttempt(); }
};

TEST_P(FloppyScenarios, FatImageWrittenTrackByTrack) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k144, kFiles);
  ASSERT_EQ(image.size(), k144);
  InsertFormattedDisk();
  THeapBlock block = Image(image);
  TWriterScript script;
  ASSERT_TRUE(WriteImage('A', block.Data(), static_cast<LONG>(block.Size()), script.UserData(),
                         TWriterScript::Callback));

  EXPECT_TRUE(Disk() == image) << "the disk differs from the image";
  EXPECT_TRUE(testing_support::FsckClean(Disk()));
  EXPECT_EQ(testing_support::ListRootFiles(Disk()),
            (std::vector<std::string>{"DATA.BIN", "NOTES.TXT", "README.TXT"}));

  // Event 0, then event 2 before each of the 160 tracks in order.
  ASSERT_EQ(script.Events.size(), 161u);
  EXPECT_EQ(script.Events[0].Event, kEventDriveReady);
  for (size_t i = 1; i < script.Events.size(); ++i) {
    EXPECT_EQ(script.Events[i].Event, kEventWriteTrack);
    EXPECT_EQ(script.Events[i].Cylinder, static_cast<LONG>((i - 1) / 2));
    EXPECT_EQ(script.Events[i].Head, static_cast<LONG>((i - 1) % 2));
  }

  // One write per track, 9,216 bytes each, in order.
  std::vector<std::pair<int64_t, DWORD>> writes = Writes();
  ASSERT_EQ(writes.size(), 160u);
  for (size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(writes[i].first, static_cast<int64_t>(i * kTrack144));
    EXPECT_EQ(writes[i].second, kTrack144);
  }
}

TEST_P(FloppyScenarios, DeviceSeesOneOpenAndLockPerAccessMode) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k144, kFiles);
  InsertFormattedDisk();
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), 0, nullptr));
  std::vector<sim::DeviceCall> opens = Pc().Calls(Call::Open);
  EXPECT_EQ(Pc().Count(Call::Close), opens.size());
  if (Nt()) {
    // The query reads, then the write reopens once for writing.
    ASSERT_EQ(opens.size(), 2u);
    EXPECT_EQ(opens[0].access, GENERIC_READ);
    EXPECT_EQ(opens[1].access, GENERIC_WRITE);
    for (const sim::DeviceCall &open : opens) {
      EXPECT_EQ(open.device, "\\\\.\\A:");
      EXPECT_EQ(open.share, static_cast<DWORD>(FILE_SHARE_WRITE));
      EXPECT_EQ(open.creation, static_cast<DWORD>(OPEN_EXISTING));
    }
    EXPECT_EQ(Pc().Count(Call::Lock), 2u);
    EXPECT_EQ(Pc().Count(Call::Unlock), 2u);
  } else {
    // The query's channel is closed before the writes open their own.
    ASSERT_EQ(opens.size(), 2u);
    for (const sim::DeviceCall &open : opens) {
      EXPECT_EQ(open.device, "\\\\.\\VWIN32");
      EXPECT_EQ(open.flags, static_cast<DWORD>(FILE_FLAG_DELETE_ON_CLOSE));
    }
    EXPECT_EQ(Pc().Count(Call::Lock), 0u);
    DWORD category = Fat32() ? 0x4860 : 0x0860;
    std::vector<sim::DeviceCall> queries = Pc().Calls(Call::DosIoctl);
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].code, category);
    EXPECT_EQ(Pc().Count(Fat32() ? Call::AbsoluteWrite : Call::ExtendedWrite), 0u);
  }
  // Every device call, the release's flush, unlock and close included, ran
  // with the critical-error box suppressed.
  for (const sim::DeviceCall &call : Pc().Log())
    EXPECT_EQ(call.errorMode, static_cast<UINT>(SEM_FAILCRITICALERRORS)) << int(call.kind);
}

TEST_P(FloppyScenarios, ReleasesAfterLastCylinderWithFlushBeforeUnlock) {
  std::vector<unsigned char> image(k144, 0xA5);
  InsertFormattedDisk();
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), 0, nullptr));
  if (!Nt()) return;
  const std::vector<sim::DeviceCall> &log = Pc().Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[log.size() - 4].kind, Call::Write);
  EXPECT_EQ(log[log.size() - 3].kind, Call::Flush);
  EXPECT_EQ(log[log.size() - 2].kind, Call::Unlock);
  EXPECT_EQ(log[log.size() - 1].kind, Call::Close);
}

// A 720 KB image on a 1.44 MB disk ends after the 80th track of 9,216 bytes.
// The drive is given back then too, flushed, and nothing past the image is
// touched.
TEST_P(FloppyScenarios, ShortImageReleasesTheDrive) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k720, kFiles);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), 0, nullptr));
  EXPECT_EQ(winapi::OpenHandleCount(), 0u) << "the drive is still held";
  if (Nt()) {
    ASSERT_FALSE(Pc().Log().empty());
    EXPECT_EQ(Pc().Log().back().kind, Call::Close);
    EXPECT_EQ(Pc().Count(Call::Flush), 1u);
    EXPECT_EQ(Pc().Count(Call::Unlock), 2u);
  }
  std::vector<std::pair<int64_t, DWORD>> writes = Writes();
  ASSERT_EQ(writes.size(), 80u);
  for (const auto &write : writes)
    EXPECT_LE(write.first + write.second, static_cast<int64_t>(k720));
  EXPECT_TRUE(std::equal(image.begin(), image.end(), Disk().begin()));
  EXPECT_TRUE(std::equal(before.begin() + k720, before.end(), Disk().begin() + k720));
}

TEST_P(FloppyScenarios, NoMediumThenInserted) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k144, kFiles);
  TWriterScript script;
  script.Answers[kEventDriveFailed] = {0};  // query again
  script.OnDriveFailed = [] {
    Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(k144, {}, "OLD")));
  };
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                         TWriterScript::Callback));
  ASSERT_EQ(script.Count(kEventDriveFailed), 1u);
  ASSERT_GE(script.Events.size(), 2u);
  EXPECT_EQ(script.Events[0].Error, static_cast<DWORD>(ERROR_NOT_READY));
  EXPECT_EQ(script.Events[0].Success, 0);
  EXPECT_EQ(script.Events[1].Event, kEventDriveReady);
  EXPECT_TRUE(Disk() == image);
}

TEST_P(FloppyScenarios, NoMediumAndStop) {
  std::vector<unsigned char> image(k144, 1);
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  EXPECT_EQ(script.EventKinds(), std::vector<int>{kEventDriveFailed});
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
}

TEST_P(FloppyScenarios, WriteProtectedDisk) {
  std::vector<unsigned char> image(k144, 7);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  Pc().SetWriteProtected('A', true);
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_WRITE_PROTECT));
  ASSERT_EQ(script.EventKinds(),
            (std::vector<int>{kEventDriveReady, kEventWriteTrack, kEventTrackFailed}));
  EXPECT_EQ(script.Events.back().Error, static_cast<DWORD>(ERROR_WRITE_PROTECT));
  EXPECT_TRUE(Disk() == before);
  if (Nt()) {
    EXPECT_EQ(Pc().Count(Call::Write), 1u);  // the NT path never retries
  } else {
    EXPECT_EQ(Pc().Count(Call::AbsoluteWrite), 2u);
    EXPECT_EQ(Pc().Count(Call::DiskReset), 2u);
  }
}

TEST_P(FloppyScenarios, FailingTrackRetried) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k144, kFiles);
  InsertFormattedDisk();
  Pc().FailTrack('A', 5, 1, FailuresPerTrack(), ERROR_CRC);
  TWriterScript script;
  script.Answers[kEventTrackFailed] = {kActionRetry};
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                         TWriterScript::Callback));
  ASSERT_EQ(script.Count(kEventTrackFailed), 1u);
  EXPECT_EQ(script.Count(kEventWriteTrack), 161u);  // track 5/1 announced twice
  auto failed = std::find_if(script.Events.begin(), script.Events.end(),
                             [](const auto &e) { return e.Event == kEventTrackFailed; });
  EXPECT_EQ(failed->Cylinder, 5);
  EXPECT_EQ(failed->Head, 1);
  EXPECT_EQ(failed->Error, static_cast<DWORD>(Nt() ? ERROR_CRC : ERROR_NOT_READY));
  EXPECT_TRUE(Disk() == image);
}

TEST_P(FloppyScenarios, FailingTrackIgnored) {
  std::vector<unsigned char> image(k144, 0x3C);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  Pc().FailTrack('A', 7, 0, 1000, ERROR_CRC);
  TWriterScript script;
  script.Answers[kEventTrackFailed] = {kActionContinue};
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                         TWriterScript::Callback));
  size_t skipped = 14 * kTrack144;  // cylinder 7 head 0
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + skipped, Disk().begin()));
  EXPECT_TRUE(std::equal(before.begin() + skipped, before.begin() + skipped + kTrack144,
                         Disk().begin() + skipped));
  EXPECT_TRUE(std::equal(image.begin() + skipped + kTrack144, image.end(),
                         Disk().begin() + skipped + kTrack144));
  EXPECT_EQ(Writes().size(), 159u);
}

TEST_P(FloppyScenarios, FailingTrackStops) {
  std::vector<unsigned char> image(k144, 0x3C);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  Pc().FailTrack('A', 2, 0, 1000, ERROR_SECTOR_NOT_FOUND);
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  DWORD expected = Nt() ? ERROR_SECTOR_NOT_FOUND : ERROR_NOT_READY;
  EXPECT_EQ(GetLastError(), expected);
  ASSERT_FALSE(script.Events.empty());
  EXPECT_EQ(script.Events.back().Event, kEventTrackFailed);
  EXPECT_EQ(script.Events.back().Error, expected);
  EXPECT_EQ(Writes().size(), 4u);
  size_t written = 4 * kTrack144;
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + written, Disk().begin()));
  EXPECT_TRUE(std::equal(before.begin() + written, before.end(), Disk().begin() + written));
}

TEST_P(FloppyScenarios, MediumRemovedMidWrite) {
  std::vector<unsigned char> image(k144, 0x42);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  Pc().RemoveMediumAfterWrites('A', 50);
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_READY));
  ASSERT_FALSE(script.Events.empty());
  EXPECT_EQ(script.Events.back().Event, kEventTrackFailed);
  EXPECT_EQ(script.Events.back().Cylinder, 25);
  EXPECT_EQ(script.Events.back().Head, 0);
  ASSERT_NE(Pc().RemovedMedium('A'), nullptr);
  const std::vector<unsigned char> &removed = Pc().RemovedMedium('A')->bytes;
  size_t written = 50 * kTrack144;
  EXPECT_TRUE(std::equal(image.begin(), image.begin() + written, removed.begin()));
  EXPECT_TRUE(std::equal(before.begin() + written, before.end(), removed.begin() + written));
}

TEST_P(FloppyScenarios, UnwritableMediaType) {
  std::vector<unsigned char> image(k144, 9);
  if (Nt()) {
    Pc().InsertMedium('A', sim::MakeMedium(RemovableMedia, 80, 2, 18, 512));
  } else {
    InsertFormattedDisk();
    Pc().FindDrive('A')->dosDeviceType = 6;  // tape
  }
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  EXPECT_EQ(GetLastError(), kErrorInvalidMediaType);
  ASSERT_EQ(script.EventKinds(), std::vector<int>{kEventDriveFailed});
  EXPECT_EQ(script.Events[0].Error, kErrorInvalidMediaType);
  EXPECT_EQ(ErrorText(GetLastError()), "[FloppyIO]: Invalid media type.");
  EXPECT_EQ(Writes().size(), 0u);
}

TEST_P(FloppyScenarios, OnlyDrivesAAndB) {
  std::vector<unsigned char> image(k144, 9);
  InsertFormattedDisk();
  for (char letter : {'C', 'Z', '1'}) {
    EXPECT_FALSE(WriteImage(letter, image.data(), static_cast<LONG>(image.size()), 0, nullptr));
    EXPECT_EQ(GetLastError(), kErrorNotFloppyDrive);
  }
  EXPECT_TRUE(Pc().Log().empty()) << "a device was touched";
}

TEST_P(FloppyScenarios, ImageSmallerThanOneTrack) {
  std::vector<unsigned char> image(kTrack144 - 1, 9);
  InsertFormattedDisk();
  std::vector<unsigned char> before = Disk();
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  EXPECT_EQ(GetLastError(), kErrorImageTooSmall);
  EXPECT_EQ(script.EventKinds(), std::vector<int>{kEventDriveReady});
  EXPECT_EQ(Writes().size(), 0u);
  EXPECT_TRUE(Disk() == before);
}

TEST_P(FloppyScenarios, ImageLargerThanDiskIsCut) {
  std::vector<unsigned char> image = testing_support::MakeFatImage(k144, kFiles);
  image.resize(k144 + 3 * kTrack144, 0xEE);
  InsertFormattedDisk();
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), 0, nullptr));
  EXPECT_TRUE(std::equal(Disk().begin(), Disk().end(), image.begin()));
  EXPECT_EQ(Writes().size(), 160u);
  EXPECT_TRUE(testing_support::FsckClean(Disk()));
}

INSTANTIATE_TEST_SUITE_P(Platforms, FloppyScenarios,
                         ::testing::ValuesIn(testing_support::kEveryPlatform),
                         testing_support::PlatformName);

// Only the NT family locks the volume.
class FloppyScenariosNt : public FloppySession {};

TEST_F(FloppyScenariosNt, LockRefusedWhileFilesOpen) {
  Start(TPlatform::Nt);
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(k144, kFiles)));
  std::vector<unsigned char> before = Pc().MediumIn('A')->bytes;
  Pc().SetFilesOpen('A', true);
  std::vector<unsigned char> image(k144, 9);
  TWriterScript script;
  EXPECT_FALSE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                          TWriterScript::Callback));
  ASSERT_EQ(script.EventKinds(), std::vector<int>{kEventDriveFailed});
  // The lock's own reason, not what the release after it left.
  EXPECT_EQ(script.Events[0].Error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(Pc().Count(Call::Write), 0u);
  EXPECT_EQ(Pc().Count(Call::Open), Pc().Count(Call::Close));
  EXPECT_TRUE(Pc().MediumIn('A')->bytes == before);
}

// A 720 KB disk in a 1.44 MB drive on Windows 95/98/Me: DOS describes the
// drive's default medium, the free space tells the disk's size.
class FloppyScenarios9x : public FloppySession, public ::testing::WithParamInterface<TPlatform> {};

TEST_P(FloppyScenarios9x, Disk720InDrive144) {
  Start(GetParam());
  Pc().AddFloppyDrive('A');
  Pc().InsertMedium('A', sim::Floppy720(testing_support::MakeFatImage(k720, {}, "OLD")));
  std::vector<unsigned char> image = testing_support::MakeFatImage(k720, kFiles);
  static TDiskGeometry seen;
  TWriterScript script;
  script.OnReady = [](TWriteStatus &status) { seen = status.Geometry; };
  ASSERT_TRUE(WriteImage('A', image.data(), static_cast<LONG>(image.size()), script.UserData(),
                         TWriterScript::Callback));
  EXPECT_EQ(seen.SectorsPerTrack, 9u);
  EXPECT_EQ(seen.MediaType, static_cast<DWORD>(kMediaF3_720));
  EXPECT_EQ(script.Count(kEventWriteTrack), 160u);
  EXPECT_TRUE(Pc().MediumIn('A')->bytes == image);
  EXPECT_TRUE(testing_support::FsckClean(Pc().MediumIn('A')->bytes));
}

INSTANTIATE_TEST_SUITE_P(Platforms, FloppyScenarios9x,
                         ::testing::Values(TPlatform::Win95, TPlatform::Win98, TPlatform::WinMe),
                         testing_support::PlatformName);

}  // namespace
