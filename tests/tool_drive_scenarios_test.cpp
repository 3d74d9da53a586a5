// diskarno read, write, verify and pack on drive A: of the simulated PC, on
// both Windows families: what reaches the disk, what the device sees (one
// open and lock per access, one request per track), and every handle given
// back (the session checks).
#include <gtest/gtest.h>

#include <algorithm>

#include "sim_pc.h"
#include "support/fake_console.h"
#include "support/fat_image.h"
#include "support/floppy_session.h"
#include "support/package_builder.h"
#include "tool.h"

namespace {

using sim::Call;
using sim::Pc;
using testing_support::MakeFatImage;
using testing_support::ReadBytes;
using testing_support::TBytes;
using testing_support::TPlatform;
using testing_support::WriteBytes;

constexpr size_t k144 = 1474560;
constexpr size_t kTrack = 9216;

class ToolDriveScenarios : public testing_support::FloppySession,
                           public ::testing::WithParamInterface<TPlatform> {
 protected:
  // The fixture's own strings are made before the session counts heap
  // blocks and given back before it counts again.
  void SetUp() override {
    folder = testing_support::TempFolder() + "/drive" + std::to_string(counter++);
    FloppySession::SetUp();
    testing_support::SetPlatform(GetParam());
    Pc().AddFloppyDrive('A');
    ASSERT_EQ(system(("mkdir -p " + folder).c_str()), 0);
    ASSERT_TRUE(WriteBytes(Path("disk.img"), disk));
  }

  void TearDown() override {
    std::string().swap(output.out);
    std::string().swap(output.err);
    FloppySession::TearDown();
  }

  bool Nt() const { return GetParam() == TPlatform::Nt; }
  std::string Path(const std::string &name) const { return folder + "/" + name; }
  int Run(const std::vector<std::string> &arguments) {
    output = TToolOutput();
    return RunTool(arguments, output);
  }
  const TBytes &Medium() { return Pc().MediumIn('A')->bytes; }

  // The device's track requests of one kind, in order, as byte offsets.
  std::vector<int64_t> Requests(bool reads) {
    std::vector<int64_t> offsets;
    for (const sim::DeviceCall &call : Pc().Log()) {
      bool volume = call.kind == (reads ? Call::Read : Call::Write);
      bool vwin = reads ? (call.kind == Call::ExtendedRead || call.kind == Call::AbsoluteRead)
                        : (call.kind == Call::ExtendedWrite || call.kind == Call::AbsoluteWrite);
      if (volume) offsets.push_back(call.offset);
      if (vwin) offsets.push_back(static_cast<int64_t>(call.startSector) * 512);
    }
    return offsets;
  }

  // The accesses the volume was opened with, in order (NT); the channel
  // opens of \\.\VWIN32 otherwise.
  std::vector<DWORD> Opens() {
    std::vector<DWORD> accesses;
    for (const sim::DeviceCall &call : Pc().Calls(Call::Open)) accesses.push_back(call.access);
    return accesses;
  }

  static bool Written(const sim::DeviceCall &call) {
    return call.ok && !call.carry &&
           (call.kind == Call::Write || call.kind == Call::ExtendedWrite ||
            call.kind == Call::AbsoluteWrite);
  }

  static void ExpectEveryTrackOnce(const std::vector<int64_t> &offsets) {
    ASSERT_EQ(offsets.size(), 160u) << "one device request per track";
    for (size_t track = 0; track < offsets.size(); ++track)
      EXPECT_EQ(offsets[track], static_cast<int64_t>(track * kTrack));
  }

  static int counter;
  std::string folder;
  TBytes disk = MakeFatImage(
      k144, {{"README.TXT", "from drive A:\r\n"}, {"DATA.BIN", std::string(50000, '\x3C')}});
  TToolOutput output;
};
int ToolDriveScenarios::counter = 0;

INSTANTIATE_TEST_SUITE_P(Systems, ToolDriveScenarios,
                         ::testing::ValuesIn(testing_support::kEveryPlatform),
                         testing_support::PlatformName);

TEST_P(ToolDriveScenarios, ReadAndPackTheWholeDisk) {
  Pc().InsertMedium('A', sim::Floppy144(disk));
  ASSERT_EQ(Run({"read", "A:", "-o", Path("copy.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("copy.img")) == disk);
  ExpectEveryTrackOnce(Requests(true));
  EXPECT_TRUE(Requests(false).empty());
  if (Nt()) {
    // The medium query's open, then one open and lock for all the reads.
    EXPECT_EQ(Opens(), (std::vector<DWORD>{GENERIC_READ, GENERIC_READ}));
    EXPECT_EQ(Pc().Count(Call::Lock), 2u);
  } else {
    EXPECT_EQ(Opens().size(), 2u);
  }

  Pc().ClearLog();
  ASSERT_TRUE(WriteBytes(Path("stub.exe"), testing_support::MakeStub()));
  ASSERT_EQ(Run({"pack", "a:", "-o", Path("disk.exe"), "--stub", Path("stub.exe")}), 0)
      << output.err;
  ExpectEveryTrackOnce(Requests(true));
  ASSERT_EQ(Run({"extract", Path("disk.exe"), "-o", Path("back.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("back.img")) == disk);
}

TEST_P(ToolDriveScenarios, WriteVerifyWritesAllThenReadsAll) {
  Pc().InsertMedium('A', sim::Floppy144(MakeFatImage(k144, {}, "BLANK")));
  testing_support::TPackageOptions options;
  options.password = "Sesame";
  ASSERT_TRUE(WriteBytes(Path("disk.exe"), testing_support::MakeProgram(disk, options)));
  ASSERT_EQ(Run({"write", Path("disk.exe"), "A:", "--password", "Sesame", "--verify"}), 0)
      << output.err;
  EXPECT_TRUE(Medium() == disk);
  ExpectEveryTrackOnce(Requests(false));
  // The look at what the disk holds reads its first two tracks (the boot
  // sector, the FATs and the root folder), then the verify reads them all.
  std::vector<int64_t> reads = Requests(true);
  ASSERT_GE(reads.size(), 2u);
  EXPECT_EQ(reads[0], 0);
  EXPECT_EQ(reads[1], static_cast<int64_t>(kTrack));
  ExpectEveryTrackOnce(std::vector<int64_t>(reads.begin() + 2, reads.end()));
  // Every write comes before every read of the verify: no reopening between
  // the two.
  const std::vector<sim::DeviceCall> &log = Pc().Log();
  auto lastWrite = std::find_if(log.rbegin(), log.rend(), [](const sim::DeviceCall &call) {
    return call.kind == Call::Write || call.kind == Call::ExtendedWrite ||
           call.kind == Call::AbsoluteWrite;
  });
  auto firstWrite = std::find_if(log.begin(), log.end(), [](const sim::DeviceCall &call) {
    return call.kind == Call::Write || call.kind == Call::ExtendedWrite ||
           call.kind == Call::AbsoluteWrite;
  });
  const auto lastWriteAt = log.rend() - lastWrite - 1;
  size_t readsBefore = 0;
  size_t readsBetween = 0;
  for (auto call = log.begin(); call != log.end(); ++call) {
    bool read = call->kind == Call::Read || call->kind == Call::ExtendedRead ||
                call->kind == Call::AbsoluteRead;
    readsBefore += read && call < firstWrite;
    readsBetween += read && call > firstWrite && call - log.begin() < lastWriteAt;
  }
  EXPECT_EQ(readsBefore, 2u);
  EXPECT_EQ(readsBetween, 0u);
  if (Nt()) {
    // Two medium queries (the tool's checks, the writer's own), one open for
    // the look, one for all writes, one for all reads.
    EXPECT_EQ(Opens(), (std::vector<DWORD>{GENERIC_READ, GENERIC_READ, GENERIC_READ, GENERIC_WRITE,
                                           GENERIC_READ}));
    EXPECT_EQ(Pc().Count(Call::Lock), 5u);
    EXPECT_EQ(Pc().Count(Call::Flush), 1u);
  }

  // The disk changed behind the tool's back: verify names the track.
  Pc().MediumIn('A')->bytes[7 * kTrack + 3] ^= 0xFF;
  EXPECT_EQ(Run({"verify", Path("disk.exe"), "A:", "--password", "Sesame"}), 1);
  EXPECT_EQ(output.err,
            "diskarno verify: track 8 (cylinder 3, head 1) differs\n"
            "diskarno verify: 1 of 160 tracks differ\n");
  EXPECT_EQ(Run({"verify", Path("disk.img"), "A:"}), 1);
}

TEST_P(ToolDriveScenarios, BadTrackStopsOrIsListed) {
  Pc().InsertMedium('A', sim::Floppy144(disk));
  Pc().FailTrack('A', 2, 1, 1000, ERROR_CRC);
  const std::string where = "track 6 (cylinder 2, head 1)";  // counted from 1
  EXPECT_EQ(Run({"read", "A:", "-o", Path("copy.img")}), 1);
  EXPECT_NE(output.err.find(where + " of A: can't be read: "), std::string::npos) << output.err;
  EXPECT_FALSE(testing_support::FileExists(Path("copy.img")));

  EXPECT_EQ(Run({"read", "A:", "-o", Path("copy.img"), "--keep-going"}), 1);
  EXPECT_NE(output.err.find(where + " could not be read"), std::string::npos) << output.err;
  EXPECT_NE(output.err.find("1 of 160 tracks could not be read"), std::string::npos);
  TBytes expected = disk;
  std::fill(expected.begin() + 5 * kTrack, expected.begin() + 6 * kTrack, 0);
  EXPECT_TRUE(ReadBytes(Path("copy.img")) == expected);
  EXPECT_EQ(Run({"verify", Path("disk.img"), "A:"}), 1);
  EXPECT_NE(output.err.find(where + " can't be read: "), std::string::npos) << output.err;

  // A failed write stops with the track and the system's text.
  EXPECT_EQ(Run({"write", Path("disk.img"), "A:", "--yes"}), 1);
  EXPECT_NE(output.err.find("the disk in A: failed at " + where + ": "), std::string::npos)
      << output.err;
}

TEST_P(ToolDriveScenarios, RefusedBeforeAnyWrite) {
  struct Case {
    const char *what;
    void (*prepare)(const TBytes &disk);
    int code;
    const char *says;
    // 95/98/Me: DOS takes a disk whose file system has 720 KB for a 720 KB
    // disk, which the row above covers.
    bool ntOnly = false;
  };
  const Case cases[] = {
      {"no disk", [](const TBytes &) {}, 2, "no disk in drive A:"},
      {"a write-protected disk",
       [](const TBytes &) {
         Pc().InsertMedium('A', sim::Floppy144(MakeFatImage(k144, {})));
         Pc().SetWriteProtected('A', true);
       },
       2, "the disk in A: is write-protected\n"},
      {"files on the disk",
       [](const TBytes &disk) { Pc().InsertMedium('A', sim::Floppy144(disk)); }, 2,
       "holds a FAT file system with files; nothing written"},
      {"a 720 KB disk",
       [](const TBytes &) { Pc().InsertMedium('A', sim::Floppy720(MakeFatImage(737280, {}))); }, 2,
       "holds 737280"},
      {"an empty 720 KB FAT, then data",
       [](const TBytes &) {
         TBytes medium(k144);
         for (size_t n = 0; n < medium.size(); ++n) medium[n] = static_cast<BYTE>(n % 251);
         const TBytes small = MakeFatImage(737280, {});
         std::copy(small.begin(), small.end(), medium.begin());
         Pc().InsertMedium('A', sim::Floppy144(medium));
       },
       2, "without files, and 737280 bytes of other data after it; nothing written", true},
  };
  for (const Case &c : cases) {
    if (c.ntOnly && !Nt()) continue;
    Pc().RemoveMedium('A');
    c.prepare(disk);
    Pc().ClearLog();
    EXPECT_EQ(Run({"write", Path("disk.img"), "A:"}), c.code) << c.what;
    EXPECT_NE(output.err.find(c.says), std::string::npos) << c.what << ": " << output.err;
    EXPECT_EQ(std::count_if(Pc().Log().begin(), Pc().Log().end(),
                            [](const sim::DeviceCall &call) { return Written(call); }),
              0)
        << c.what;
  }
}

// The system says the disk was swapped or taken out (NT: media changed; DOS:
// an invalid disk change): the run stops at that track, whatever the verb.
// The program's writes on 95/98/Me keep only "not ready" of a DOS failure.
TEST_P(ToolDriveScenarios, ADiskChangedDuringTheRunStopsIt) {
  struct Case {
    std::vector<std::string> arguments;
    std::string says;
  };
  const std::string changed = "the disk in A: was changed during the run (found while ";
  const Case cases[] = {
      {{"read", "A:", "-o", Path("copy.img"), "--keep-going"},
       "diskarno read: " + changed + "reading track 21 of 160); " + Path("copy.img") +
           " not written\n"},
      {{"verify", Path("disk.img"), "A:"},
       "diskarno verify: " + changed + "verifying track 21 of 160)\n"},
      {{"write", Path("disk.img"), "A:", "--yes"},
       "diskarno write: " +
           (Nt() ? changed + "writing track 21 of 160)\n"
                 : "the disk in A: failed at track 21 (cylinder 10, head 0): The device is not "
                   "ready; it holds the first 20 tracks of the image\n")},
  };
  for (const Case &c : cases) {
    Pc().InsertMedium('A', sim::Floppy144(disk));
    Pc().FailTrack('A', 10, 0, 1000, Nt() ? ERROR_MEDIA_CHANGED : ERROR_WRONG_DISK);
    EXPECT_EQ(Run(c.arguments), 1) << c.says;
    EXPECT_EQ(output.err, c.says);
    EXPECT_FALSE(testing_support::FileExists(Path("copy.img")));
  }
}

TEST_P(ToolDriveScenarios, CtrlCStopsTheWriteAndGivesTheDriveBack) {
  Pc().InsertMedium('A', sim::Floppy144(MakeFatImage(k144, {}, "BLANK")));
  TBytes before = Medium();
  output = TToolOutput();
  testing_support::TFakeConsole console;
  console.checksBeforeStop = 10;
  output.console = &console;
  EXPECT_EQ(RunTool({"write", Path("disk.img"), "A:"}, output), 130);
  EXPECT_NE(output.err.find("track 11 of 160; the disk in A: holds the first 10 tracks"),
            std::string::npos)
      << output.err;
  EXPECT_EQ(Requests(false).size(), 10u);
  EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + 10 * kTrack, Medium().begin()));
  EXPECT_TRUE(
      std::equal(before.begin() + 10 * kTrack, before.end(), Medium().begin() + 10 * kTrack));
  if (Nt()) {
    EXPECT_EQ(Pc().Log().back().kind, Call::Close);
  }
}

// format on both families: one format request a track, in order (NT:
// IOCTL_DISK_FORMAT_TRACKS with the media type; 95/98/Me: INT 21h 440Dh
// CL=42h after CL=40h described the medium), every track read back, then
// the file system over the first tracks; the rest keeps the fill bytes.
TEST_P(ToolDriveScenarios, FormatLaysOutEveryTrack) {
  struct Case {
    const char *capacity;
    size_t size;
    size_t track;
  };
  const Case cases[] = {{"1440", k144, kTrack}, {"720", 737280, 4608}};
  for (const Case &c : cases) {
    Pc().InsertMedium('A', sim::Floppy144(disk));
    Pc().ClearLog();
    ASSERT_EQ(Run({"format", "A:", "--capacity", c.capacity, "--label", "Sim Disk", "--yes"}), 0)
        << output.err;
    EXPECT_EQ(output.out, std::string("formatted A: as ") + c.capacity +
                              " KB (160 tracks), labelled SIM DISK\n");
    std::vector<int64_t> formatted;
    for (const sim::DeviceCall &call : Pc().Calls(Call::FormatTrack))
      if (call.ok && !call.carry) formatted.push_back(call.offset);
    ASSERT_EQ(formatted.size(), 160u) << c.capacity;
    for (size_t track = 0; track < 160; ++track)
      EXPECT_EQ(formatted[track], static_cast<int64_t>(track * c.track)) << c.capacity;
    ASSERT_EQ(Medium().size(), c.size);
    EXPECT_EQ(std::string(Medium().begin() + 43, Medium().begin() + 54), "SIM DISK   ");
    EXPECT_EQ(Medium()[510], 0x55);
    EXPECT_EQ(std::count(Medium().begin() + 2 * c.track, Medium().end(), 0xF6),
              static_cast<long>(c.size - 2 * c.track))
        << c.capacity << ": the fill bytes";
    EXPECT_EQ(Pc().MediumIn('A')->geometry.SectorsPerTrack, c.track / 512);
    // The look at what the disk held read its first two tracks; then every
    // track is read back.
    std::vector<int64_t> reads = Requests(true);
    ASSERT_EQ(reads.size(), 162u) << c.capacity;
    for (size_t track = 0; track < 160; ++track)
      EXPECT_EQ(reads[2 + track], static_cast<int64_t>(track * c.track)) << c.capacity;
  }
  if (!Nt()) {
    // DOS first learns the medium (CL=40h with 9 sectors of 512 bytes).
    const std::vector<sim::DeviceCall> ioctls = Pc().Calls(Call::DosIoctl);
    ASSERT_FALSE(ioctls.empty());
    EXPECT_TRUE(std::any_of(ioctls.begin(), ioctls.end(),
                            [](const sim::DeviceCall &call) { return call.code == 0x0840; }));
  }
  // write --format: the image's own capacity, then the image, verified.
  ASSERT_EQ(Run({"write", Path("disk.img"), "A:", "--format", "--verify", "--yes"}), 0)
      << output.err;
  EXPECT_TRUE(Medium() == disk);
}

// What the drive says before any track changed refuses the format; a track
// that fails stops it.
TEST_P(ToolDriveScenarios, FormatFaults) {
  struct Case {
    const char *what;
    void (*prepare)(const TBytes &disk);
    const char *capacity;
    int code;
    const char *says;
  };
  const Case cases[] = {
      {"no disk", [](const TBytes &) { Pc().RemoveMedium('A'); }, "1440", 2, "no disk in drive A:"},
      {"write-protected",
       [](const TBytes &disk) {
         Pc().InsertMedium('A', sim::Floppy144(disk));
         Pc().SetWriteProtected('A', true);
       },
       "1440", 2, "the disk in A: is write-protected; nothing formatted"},
      {"a bad track",
       [](const TBytes &disk) {
         Pc().InsertMedium('A', sim::Floppy144(disk));
         Pc().FailTrack('A', 5, 1, 1000, ERROR_CRC);
       },
       "1440", 1, "the disk in A: failed at track 12 (cylinder 5, head 1) while formatting: "},
      {"a track that fails once",
       [](const TBytes &disk) {
         Pc().InsertMedium('A', sim::Floppy144(disk));
         Pc().FindDrive('A')->trackFaults.clear();
         Pc().FailTrack('A', 5, 1, 1, ERROR_CRC);
       },
       "1440", 0, "formatted A: as 1440 KB"},
      {"2.88 MB in a 1.44 MB drive",
       [](const TBytes &disk) { Pc().InsertMedium('A', sim::Floppy144(disk)); }, "2880", 2,
       "drive A: does not format 2880 KB disks; nothing formatted"},
      {"DMF", [](const TBytes &disk) { Pc().InsertMedium('A', sim::Floppy144(disk)); }, "1680", 2,
       "Windows has no media type for the 1680 KB format"},
  };
  for (const Case &c : cases) {
    c.prepare(disk);
    Pc().ClearLog();
    EXPECT_EQ(Run({"format", "A:", "--capacity", c.capacity, "--yes"}), c.code) << c.what;
    EXPECT_NE((output.out + output.err).find(c.says), std::string::npos)
        << c.what << ": " << output.err;
    if (c.code == 2 && Pc().MediumIn('A')) {
      EXPECT_TRUE(Medium() == disk) << c.what << ": the disk changed";
    }
  }
}

}  // namespace
