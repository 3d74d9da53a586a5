#include "floppy_io.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "app_errors.h"
#include "kernel_object.h"
#include "medium_query.h"
#include "support/floppy_session.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::FloppySession;
using testing_support::TPlatform;

constexpr TDiskGeometry kGeometry144 = {80, kMediaF3_1Pt44, 2, 18, 512};
constexpr DWORD kTrack = 18 * 512;

class FloppyIo : public FloppySession {
 protected:
  void StartWithDisk(TPlatform platform, char letter = 'A') {
    Start(platform);
    Pc().AddFloppyDrive(letter);
    Pc().InsertMedium(letter, sim::Floppy144());
  }
  bool Write(char letter, DWORD cylinder, DWORD head, DWORD first = 0, DWORD count = 18) {
    DWORD size = count * 512;
    return WriteTrack(letter, kGeometry144, cylinder, head, first, count, track_.data(), size);
  }
  // QueryMedium's result; present and capacity in the members.
  bool Query(char letter) {
    std::string label;
    TDiskGeometry geometry = {};
    return QueryMedium(letter, label, capacity_, present_, geometry);
  }
  std::vector<BYTE> track_ = std::vector<BYTE>(kTrack, 0x6B);
  int64_t capacity_ = 0;
  bool present_ = false;
};

TEST_F(FloppyIo, StartupRegistersTextsAndReadsPlatform) {
  Start(TPlatform::Nt);
  EXPECT_TRUE(IsNtPlatform);
  EXPECT_FALSE(HasFat32Services);
  TErrorTable table = ErrorTable();
  ASSERT_EQ(table.size(), 6u);
  for (DWORD i = 0; i < 6; ++i) EXPECT_EQ(table[i].Code, kErrorFloppyCategory + i);
  EXPECT_EQ(ErrorText(kErrorNotFloppyDrive),
            "[FloppyIO]: The specified drive is not a floppy drive.");
  EXPECT_EQ(ErrorText(kErrorReadBufferSize), "[FloppyIO]: Invalid size of read buffer.");
}

TEST_F(FloppyIo, Fat32ServicesFromBuild1081) {
  Pc().SetWindows9x(4, 0, 1080);
  Start(TPlatform::Nt);  // keeps the platform set above
  EXPECT_FALSE(IsNtPlatform);
  EXPECT_FALSE(HasFat32Services);
  FloppyIoShutdown();
  Pc().SetWindows9x(4, 0, 1081);
  FloppyIoStartup();
  EXPECT_TRUE(HasFat32Services);
  FloppyIoShutdown();
  Pc().FailVersionQuery(true);
  FloppyIoStartup();
  EXPECT_FALSE(IsNtPlatform);
  EXPECT_FALSE(HasFat32Services);
}

TEST_F(FloppyIo, OnlyLettersAAndB) {
  Start(TPlatform::Nt);
  BYTE index = 9;
  EXPECT_TRUE(CheckFloppyDrive('a', index));
  EXPECT_EQ(index, 0);
  EXPECT_TRUE(CheckFloppyDrive('b', index));
  EXPECT_EQ(index, 1);
  for (char letter : {'C', '1', 'c', '\0'}) {
    SetLastError(0);
    EXPECT_FALSE(CheckFloppyDrive(letter, index));
    EXPECT_EQ(GetLastError(), kErrorNotFloppyDrive);
    EXPECT_FALSE(Write(letter, 0, 0));
    EXPECT_EQ(GetLastError(), kErrorNotFloppyDrive);
  }
  EXPECT_TRUE(Pc().Log().empty());
}

TEST_F(FloppyIo, TrackPositionChecked) {
  StartWithDisk(TPlatform::Nt);
  EXPECT_FALSE(Write('A', 80, 0));
  EXPECT_EQ(GetLastError(), kErrorTrackPosition);
  EXPECT_FALSE(Write('A', 0, 2));
  EXPECT_EQ(GetLastError(), kErrorTrackPosition);
  EXPECT_FALSE(Write('A', 0, 0, 18, 1));
  EXPECT_EQ(GetLastError(), kErrorTrackPosition);
  // One sector past the end of the track: the code only when none is set.
  SetLastError(0);
  EXPECT_FALSE(Write('A', 0, 0, 1, 18));
  EXPECT_EQ(GetLastError(), kErrorTrackPosition);
  SetLastError(ERROR_CRC);
  EXPECT_FALSE(Write('A', 0, 0, 1, 18));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC));
  // A count so large that first + count wraps in 32 bits.
  SetLastError(0);
  EXPECT_FALSE(Write('A', 0, 0, 1, 0xFFFFFFFF));
  EXPECT_EQ(GetLastError(), kErrorTrackPosition);
  EXPECT_TRUE(Pc().Log().empty());
}

// Drive letters travel to the device as the path \\.\B:, as DOS drive
// number 2 (440Dh, 7305h) and as INT 26h unit 1; drive A:'s disk stays as
// it was.
class FloppyIoOnEveryPlatform : public FloppyIo, public testing::WithParamInterface<TPlatform> {};

TEST_P(FloppyIoOnEveryPlatform, DriveBIsAddressedAsB) {
  StartWithDisk(GetParam(), 'A');
  Pc().AddFloppyDrive('B');
  Pc().InsertMedium('B', sim::Floppy144());
  ASSERT_TRUE(Query('B'));
  EXPECT_TRUE(present_);
  ASSERT_TRUE(Write('B', 3, 1));
  ReleaseDrive();
  EXPECT_EQ(Pc().MediumIn('B')->bytes[(3 * 2 + 1) * kTrack], 0x6B);
  EXPECT_EQ(Pc().MediumIn('A')->bytes, sim::Floppy144().bytes);
  size_t addressed = 0;
  for (const sim::DeviceCall &call : Pc().Log()) {
    if (call.device == "\\\\.\\VWIN32" &&
        (call.kind == Call::Open || call.kind == Call::Close || call.kind == Call::DiskReset))
      continue;
    EXPECT_EQ(call.drive, 'B') << int(call.kind);
    if (call.kind == Call::Open) {
      EXPECT_EQ(call.device, "\\\\.\\B:");
    }
    ++addressed;
  }
  if (GetParam() == TPlatform::Nt) {
    EXPECT_EQ(Pc().Count(Call::Write), 1u);
  } else {
    ASSERT_EQ(Pc().Count(Call::DosIoctl), 1u);
    EXPECT_EQ(
        Pc().Count(GetParam() == TPlatform::Win95 ? Call::AbsoluteWrite : Call::ExtendedWrite), 1u);
  }
  EXPECT_GE(addressed, 2u);
}

// A geometry without sectors or without bytes holds no track: refused
// before any device is touched, never divided by.
TEST_P(FloppyIoOnEveryPlatform, ZeroSectorsOrBytesAreNoTrack) {
  StartWithDisk(GetParam());
  const TDiskGeometry geometries[] = {{80, kMediaF3_1Pt44, 2, 0, 512},
                                      {80, kMediaF3_1Pt44, 2, 18, 0}};
  for (const TDiskGeometry &geometry : geometries) {
    for (DWORD count : {0u, 1u, 18u}) {
      DWORD size = geometry.BytesPerSector * count;
      SetLastError(0);
      EXPECT_FALSE(WriteTrack('A', geometry, 0, 0, 0, count, track_.data(), size))
          << geometry.SectorsPerTrack << " sectors, " << count;
      EXPECT_EQ(GetLastError(), kErrorTrackPosition);
    }
  }
  EXPECT_TRUE(Pc().Log().empty());
}

INSTANTIATE_TEST_SUITE_P(Platforms, FloppyIoOnEveryPlatform,
                         testing::ValuesIn(testing_support::kEveryPlatform),
                         testing_support::PlatformName);

TEST_F(FloppyIo, WriteSizeCheckedBeforeAnyDevice) {
  StartWithDisk(TPlatform::Nt);
  track_.resize(2 * kTrack);
  for (DWORD wrong : {kTrack - 1, kTrack + 512}) {
    DWORD size = wrong;
    EXPECT_FALSE(WriteTrack('A', kGeometry144, 0, 0, 0, 18, track_.data(), size));
    EXPECT_EQ(GetLastError(), kErrorWriteBufferSize);
    EXPECT_EQ(size, wrong);
  }
  EXPECT_TRUE(Pc().Log().empty());
}

TEST_F(FloppyIo, NtWritesShareOneLockedHandle) {
  StartWithDisk(TPlatform::Nt);
  ASSERT_TRUE(Write('A', 0, 0));
  ASSERT_TRUE(Write('A', 3, 1, 4, 2));
  EXPECT_EQ(Pc().Count(Call::Open), 1u);
  EXPECT_EQ(Pc().Count(Call::Lock), 1u);
  std::vector<sim::DeviceCall> writes = Pc().Calls(Call::Write);
  ASSERT_EQ(writes.size(), 2u);
  EXPECT_EQ(writes[1].offset, 512 * (4 + 18 * (1 + 2 * 3)));
  EXPECT_EQ(writes[1].length, 1024u);
  EXPECT_EQ(Pc().MediumIn('A')->bytes[writes[1].offset], 0x6B);

  // A query between writes reopens with read access, and the write after
  // it reopens with write access.
  ASSERT_TRUE(Query('A'));
  ASSERT_TRUE(Write('A', 1, 0));
  std::vector<sim::DeviceCall> opens = Pc().Calls(Call::Open);
  ASSERT_EQ(opens.size(), 3u);
  EXPECT_EQ(opens[1].access, GENERIC_READ);
  EXPECT_EQ(opens[2].access, GENERIC_WRITE);

  ReleaseDrive();
  size_t calls = Pc().Log().size();
  ReleaseDrive();
  EXPECT_EQ(Pc().Log().size(), calls) << "a second release touched the device";
}

TEST_F(FloppyIo, NtReleaseFlushesBeforeUnlocking) {
  StartWithDisk(TPlatform::Nt);
  ASSERT_TRUE(Write('A', 0, 0));
  Pc().ClearLog();
  SetLastError(ERROR_CRC);
  NtRelease();
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CRC)) << "the release changed the last error";
  const std::vector<sim::DeviceCall> &log = Pc().Log();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].kind, Call::Flush);
  EXPECT_EQ(log[1].kind, Call::Unlock);
  EXPECT_EQ(log[2].kind, Call::Close);
}

// WriteFile that reports fewer bytes than asked, or a file pointer that did
// not land on the track, is a failed write with a code of its own.
TEST_F(FloppyIo, NtShortOrMispositionedWriteFails) {
  StartWithDisk(TPlatform::Nt);
  struct Case {
    DWORD shortBy;
    int64_t skew;
    DWORD error;
    size_t writes;
  };
  for (const Case &c : {Case{512, 0, ERROR_WRITE_FAULT, 1}, Case{1, 0, ERROR_WRITE_FAULT, 1},
                        Case{0, 512, ERROR_SECTOR_NOT_FOUND, 0}}) {
    Pc().ClearLog();
    sim::Drive *drive = Pc().FindDrive('A');
    drive->shortWriteBytes = c.shortBy;
    drive->seekSkew = c.skew;
    SetLastError(0);
    EXPECT_FALSE(Write('A', 1, 0)) << c.shortBy << " short, " << c.skew << " off";
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(Pc().Count(Call::Write), c.writes);
    drive->shortWriteBytes = 0;
    drive->seekSkew = 0;
    ReleaseDrive();
  }
}

TEST_F(FloppyIo, NtLockRefusedLeavesChannelEmpty) {
  StartWithDisk(TPlatform::Nt);
  Pc().SetFilesOpen('A', true);
  SetLastError(0);
  EXPECT_FALSE(Write('A', 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
  EXPECT_EQ(winapi::OpenHandleCount(), 0u);
  const std::vector<sim::DeviceCall> &log = Pc().Log();
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0].kind, Call::Open);
  EXPECT_EQ(log[1].kind, Call::Lock);
  EXPECT_FALSE(log[1].ok);
  EXPECT_EQ(log[log.size() - 2].kind, Call::Unlock);
  EXPECT_EQ(log.back().kind, Call::Close);
  EXPECT_EQ(Pc().Count(Call::Write), 0u);
}

TEST_F(FloppyIo, NtOpenFailurePassesSystemCode) {
  StartWithDisk(TPlatform::Nt);
  Pc().FailVolumeOpen('A', ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(Write('A', 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  EXPECT_EQ(Pc().Count(Call::Lock), 0u);
  EXPECT_EQ(Pc().ErrorMode(), 0u);
}

TEST_F(FloppyIo, VwinCallOnNtFails) {
  Start(TPlatform::Nt);
  DIOC_REGISTERS registers = {};
  EXPECT_FALSE(VwinCall(VWIN32_DIOC_DOS_INT13, registers));
  EXPECT_EQ(VwinLastError(), kVwinNotWin9x);
  EXPECT_TRUE(VwinCall(VWIN32_DIOC_CLOSE, registers));
  EXPECT_EQ(VwinLastError(), 0u);
}

TEST_F(FloppyIo, RegisterRecordsMatchTheDevice) {
  EXPECT_EQ(sizeof(DIOC_REGISTERS), sizeof(sim::DiocRegisters));
  EXPECT_EQ(offsetof(DIOC_REGISTERS, reg_EDX), offsetof(sim::DiocRegisters, reg_EDX));
  EXPECT_EQ(offsetof(DIOC_REGISTERS, reg_EAX), offsetof(sim::DiocRegisters, reg_EAX));
  EXPECT_EQ(offsetof(DIOC_REGISTERS, reg_ESI), offsetof(sim::DiocRegisters, reg_ESI));
  EXPECT_EQ(offsetof(DIOC_REGISTERS, reg_Flags), offsetof(sim::DiocRegisters, reg_Flags));
  EXPECT_EQ(sizeof(DISKIO), sizeof(sim::DiskIoPacket));
  EXPECT_EQ(offsetof(DISKIO, dwBuffer), 6u);
  EXPECT_EQ(sizeof(DISKIO::dwBuffer), sizeof(void *));
}

class FloppyIo9x : public FloppyIo {};

TEST_F(FloppyIo9x, Win95UsesInt26Only) {
  StartWithDisk(TPlatform::Win95, 'B');
  ASSERT_TRUE(Write('B', 3, 1));
  EXPECT_EQ(Pc().Count(Call::ExtendedWrite), 0u);
  std::vector<sim::DeviceCall> writes = Pc().Calls(Call::AbsoluteWrite);
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].drive, 'B');
  EXPECT_EQ(writes[0].startSector, 3u * 2 * 18 + 18);
  EXPECT_EQ(writes[0].sectors, 18u);
  EXPECT_FALSE(writes[0].carry);
  EXPECT_EQ(Pc().MediumIn('B')->bytes[126 * 512], 0x6B);
  ReleaseDrive();
}

TEST_F(FloppyIo9x, FailedExtendedWriteFallsBackInSameAttempt) {
  StartWithDisk(TPlatform::Win98);
  Pc().FailTrack('A', 0, 1, 1, ERROR_WRITE_FAULT);
  ASSERT_TRUE(Write('A', 0, 1));
  const std::vector<sim::DeviceCall> &log = Pc().Log();
  ASSERT_EQ(log.size(), 3u);  // open, 7305h (carry), INT 26h
  EXPECT_EQ(log[1].kind, Call::ExtendedWrite);
  EXPECT_TRUE(log[1].carry);
  EXPECT_EQ(log[1].ax, static_cast<DWORD>(ERROR_WRITE_FAULT));
  EXPECT_EQ(log[2].kind, Call::AbsoluteWrite);
  EXPECT_FALSE(log[2].carry);
  EXPECT_EQ(Pc().Count(Call::DiskReset), 0u);
  ReleaseDrive();
}

// Whatever code an earlier failure left behind.
TEST_F(FloppyIo9x, DosErrorsBecomeSystemCodes) {
  struct Case {
    DWORD deviceError;
    DWORD reported;
  } cases[] = {{ERROR_WRITE_PROTECT, ERROR_WRITE_PROTECT},
               {ERROR_NOT_READY, ERROR_NOT_READY},
               {ERROR_CRC, ERROR_NOT_READY},
               {ERROR_SECTOR_NOT_FOUND, ERROR_NOT_READY},
               // INT 26h AL 03h (unknown command) counts as a protected disk.
               {ERROR_BAD_COMMAND, ERROR_WRITE_PROTECT}};
  StartWithDisk(TPlatform::Win95);
  for (const Case &c : cases) {
    Pc().ClearLog();
    Pc().FailTrack('A', 1, 0, 2, c.deviceError);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Write('A', 1, 0));
    EXPECT_EQ(GetLastError(), c.reported) << "device error " << c.deviceError;
    EXPECT_EQ(Pc().Count(Call::AbsoluteWrite), 2u);
    EXPECT_EQ(Pc().Count(Call::DiskReset), 2u);
    ReleaseDrive();
  }
}

// One failed attempt, a disk-system reset, and the second attempt goes
// through: the track write and the medium query both succeed.
class FloppyIoOn9x : public FloppyIo, public testing::WithParamInterface<TPlatform> {};

TEST_P(FloppyIoOn9x, SecondAttemptAfterResetSucceeds) {
  StartWithDisk(GetParam());
  // Device requests in one attempt: 7305h then INT 26h, 4860h then 0860h.
  int perAttempt = HasFat32Services ? 2 : 1;
  Pc().FailTrack('A', 2, 1, perAttempt, ERROR_CRC);
  SetLastError(0);
  ASSERT_TRUE(Write('A', 2, 1));
  EXPECT_EQ(Pc().Count(Call::DiskReset), 1u);
  EXPECT_EQ(Pc().MediumIn('A')->bytes[(2 * 2 + 1) * kTrack], 0x6B);
  ReleaseDrive();

  Pc().ClearLog();
  Pc().FailDeviceIoControl(ERROR_GEN_FAILURE, perAttempt);
  ASSERT_TRUE(Query('A'));
  EXPECT_TRUE(present_);
  EXPECT_EQ(capacity_, 1474560);
  EXPECT_EQ(Pc().Count(Call::DiskReset), 1u);
  EXPECT_EQ(Pc().Count(Call::DosIoctl), static_cast<size_t>(perAttempt) + 1);
}

INSTANTIATE_TEST_SUITE_P(Platforms, FloppyIoOn9x,
                         testing::Values(TPlatform::Win95, TPlatform::Win98, TPlatform::WinMe),
                         testing_support::PlatformName);

TEST_F(FloppyIo9x, FailedDeviceIoControlKeepsItsCode) {
  StartWithDisk(TPlatform::Win98);
  Pc().FailDeviceIoControl(ERROR_GEN_FAILURE);
  SetLastError(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(Write('A', 0, 0));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_GEN_FAILURE));
  EXPECT_EQ(VwinLastError(), kVwinDeviceIoFailed);
  Pc().FailDeviceIoControl(0, 0);
  ReleaseDrive();
}

TEST_F(FloppyIo9x, Int26CarryRecordsDosCode) {
  StartWithDisk(TPlatform::Win95);
  Pc().SetWriteProtected('A', true);
  EXPECT_FALSE(VwinAbsoluteWrite(1, 0, 18, track_.data()));
  EXPECT_EQ(VwinLastError(), kVwinInt26Error + 0);  // AL 00h: write-protect violation
  ReleaseDrive();
}

// Track reads on every family: the same channel as the writes, one device
// request per track, and the disk's own answer when a track can't be read.
class FloppyRead : public FloppyIo, public ::testing::WithParamInterface<TPlatform> {
 protected:
  void SetUp() override {
    FloppyIo::SetUp();
    StartWithDisk(GetParam());
    std::vector<unsigned char> &disk = Pc().MediumIn('A')->bytes;
    for (size_t i = 0; i < disk.size(); ++i) disk[i] = static_cast<unsigned char>(i * 7 + i / 512);
  }
  bool Read(DWORD cylinder, DWORD head, BYTE *into, DWORD size = kTrack) {
    return ReadTrack('A', kGeometry144, cylinder, head, 0, 18, into, size);
  }
  bool TrackOnDisk(DWORD cylinder, DWORD head, const BYTE *bytes) {
    const BYTE *disk = Pc().MediumIn('A')->bytes.data() + (cylinder * 2 + head) * kTrack;
    return std::equal(bytes, bytes + kTrack, disk);
  }
  // The device requests that moved sectors from the disk.
  size_t ReadRequests() {
    return Pc().Count(Call::Read) + Pc().Count(Call::AbsoluteRead) + Pc().Count(Call::ExtendedRead);
  }
};

TEST_P(FloppyRead, OneRequestPerTrackOnOneChannel) {
  Pc().SetWriteProtected('A', true);  // protection does not stop reading
  std::vector<BYTE> buffer(kTrack + 1);
  ASSERT_TRUE(Read(3, 1, buffer.data())) << GetLastError();
  EXPECT_TRUE(TrackOnDisk(3, 1, buffer.data()));
  // A buffer off the sector boundary reads the same bytes.
  ASSERT_TRUE(Read(79, 0, buffer.data() + 1));
  EXPECT_TRUE(TrackOnDisk(79, 0, buffer.data() + 1));
  EXPECT_EQ(ReadRequests(), 2u);
  EXPECT_EQ(Pc().Count(Call::Open), 1u);
  EXPECT_EQ(Pc().Count(Call::Lock), GetParam() == TPlatform::Nt ? 1u : 0u);
  EXPECT_EQ(Pc().Count(GetParam() == TPlatform::Win98 ? Call::AbsoluteRead : Call::ExtendedRead),
            0u);
  // Reading reopens a channel that was opened for writing.
  if (GetParam() == TPlatform::Nt) {
    Pc().SetWriteProtected('A', false);
    ASSERT_TRUE(Write('A', 5, 0));
    ASSERT_TRUE(Read(5, 0, buffer.data()));
    std::vector<sim::DeviceCall> opens = Pc().Calls(Call::Open);
    ASSERT_EQ(opens.size(), 3u);
    EXPECT_EQ(opens[0].access, GENERIC_READ);
    EXPECT_EQ(opens[2].access, GENERIC_READ);
  }
  ReleaseDrive();
}

TEST_P(FloppyRead, BadTrackFailsWithTheDiskAnswer) {
  struct Case {
    DWORD deviceError;
  } cases[] = {{ERROR_CRC}, {ERROR_SECTOR_NOT_FOUND}, {ERROR_NOT_READY}, {ERROR_GEN_FAILURE}};
  std::vector<BYTE> buffer(kTrack);
  bool nt = GetParam() == TPlatform::Nt;
  int requestsPerTrack = nt ? 1 : GetParam() == TPlatform::Win98 ? 4 : 2;
  for (const Case &c : cases) {
    Pc().ClearLog();
    Pc().FailTrack('A', 2, 1, requestsPerTrack, c.deviceError);
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(Read(2, 1, buffer.data()));
    EXPECT_EQ(GetLastError(), c.deviceError);
    EXPECT_EQ(Pc().Count(Call::DiskReset), nt ? 0u : 2u) << "two attempts, a reset after each";
    ReleaseDrive();
  }
  // A track that fails once reads on the second attempt (9x) or not at all (NT).
  Pc().ClearLog();
  Pc().FailTrack('A', 2, 1, nt ? 1 : requestsPerTrack / 2, ERROR_CRC);
  EXPECT_EQ(Read(2, 1, buffer.data()), !nt);
  EXPECT_EQ(Pc().Count(Call::DiskReset), nt ? 0u : 1u);
  ReleaseDrive();
  ReleaseDrive();
  // The buffer size is checked before any device is touched.
  Pc().ClearLog();
  EXPECT_FALSE(Read(0, 0, buffer.data(), kTrack - 512));
  EXPECT_EQ(GetLastError(), kErrorReadBufferSize);
  EXPECT_TRUE(Pc().Log().empty());
  // Faults of the drive rather than the track, each on a fresh copy of the
  // disk: the code each family fails with, or 0 where it reads the track.
  struct Fault {
    const char *name;
    void (*set)(sim::Drive &drive);
    DWORD nt, win9x;
  } faults[] = {
      // The NT volume hands back what is left; that is no whole track.
      {"disk ends inside the track",
       [](sim::Drive &drive) {
         drive.medium->bytes.resize(5 * kTrack + 512);
         drive.shortReadAtEnd = true;
       },
       ERROR_READ_FAULT, ERROR_SECTOR_NOT_FOUND},
      {"file pointer lands off the track", [](sim::Drive &drive) { drive.seekSkew = 512; },
       ERROR_SECTOR_NOT_FOUND, 0},
      // The device's own code says more than the DOS one.
      {"VWIN32 device control fails",
       [](sim::Drive &) { Pc().FailDeviceIoControl(ERROR_GEN_FAILURE); }, 0, ERROR_GEN_FAILURE},
      // Without a box of the system's (the session's end checks that).
      {"no disk", [](sim::Drive &) { Pc().RemoveMedium('A'); }, ERROR_NOT_READY, ERROR_NOT_READY},
  };
  const sim::Medium disk = *Pc().MediumIn('A');
  for (const Fault &fault : faults) {
    Pc().InsertMedium('A', disk);
    sim::Drive &drive = *Pc().FindDrive('A');
    fault.set(drive);
    DWORD expected = nt ? fault.nt : fault.win9x;
    SetLastError(ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(Read(2, 1, buffer.data()), expected == 0) << fault.name;
    if (expected) {
      EXPECT_EQ(GetLastError(), expected) << fault.name;
    } else {
      EXPECT_TRUE(TrackOnDisk(2, 1, buffer.data())) << fault.name;
    }
    ReleaseDrive();
    drive.seekSkew = 0;
    drive.shortReadAtEnd = false;
    Pc().FailDeviceIoControl(0, 0);
  }
}

INSTANTIATE_TEST_SUITE_P(Platforms, FloppyRead,
                         ::testing::Values(TPlatform::Nt, TPlatform::Win95, TPlatform::Win98),
                         testing_support::PlatformName);

}  // namespace
