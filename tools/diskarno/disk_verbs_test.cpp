// read, write and verify on image files, and the Linux device rules against
// a device stand-in: a regular file with a fake sysfs tree and mounts table.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fd.h>
#include <sys/file.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "content.h"
#include "floppy_formats.h"
#include "linux/device_environment.h"
#include "support/fake_console.h"
#include "support/fat_image.h"
#include "support/package_builder.h"
#include "support/system_calls.h"
#include "tool.h"

namespace {

using testing_support::MakeFatImage;
using testing_support::MakeProgram;
using testing_support::ReadBytes;
using testing_support::SystemCalls;
using testing_support::TBytes;
using testing_support::WriteBytes;

constexpr size_t k144 = 1474560;

class DiskVerbsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = testing_support::TempFolder() + "/verbs" + std::to_string(counter++);
    ASSERT_EQ(system(("rm -rf " + folder + " && mkdir -p " + folder + "/sys/dev/block").c_str()),
              0);
    ASSERT_TRUE(WriteBytes(Path("disk.img"), disk));
    ASSERT_TRUE(WriteBytes(Path("blank.img"), TBytes(k144, 0xF6)));
    ASSERT_TRUE(WriteBytes(Path("mounts"), TBytes()));
    devices = TDeviceEnvironment();
    SystemCalls().device.clear();
    SystemCalls().badFrom = SystemCalls().badTo = -1;
    SystemCalls().badError = EIO;
    SystemCalls().openError = 0;
    SystemCalls().floppyFlags = -1;
  }

  std::string Path(const std::string &name) const { return folder + "/" + name; }
  std::string RealPath(const std::string &name) const {
    char real[PATH_MAX];
    return realpath(Path(name).c_str(), real) ? real : "";
  }

  int Run(const std::vector<std::string> &arguments) {
    output = TToolOutput();
    console.statusLines.clear();
    output.console = &console;
    UseDevices(&devices);
    const size_t descriptors = testing_support::OpenDescriptors();
    int code = RunTool(arguments, output);
    UseDevices(nullptr);
    EXPECT_EQ(testing_support::OpenDescriptors(), descriptors) << "a file descriptor left open";
    return code;
  }

  // Makes FILE stand in for the block device NUMBER of the fake sysfs tree;
  // a partition names its disk in parent; readOnly marks it as the kernel
  // marks a write-protected medium.
  void StandIn(const std::string &file, const std::string &number, const std::string &removable,
               const std::string &parent = "", bool readOnly = false) {
    ASSERT_NE(RealPath(file), "");
    devices.sysRoot = Path("sys");
    devices.mountsFile = Path("mounts");
    devices.standIns[RealPath(file)] = number;
    std::string node = Path("sys/devices/") + (parent.empty() ? "" : parent + "/") + number;
    std::string link = Path("sys/dev/block/") + number;
    std::string script = "mkdir -p '" + node + "' && echo " + number + " > '" + node + "/dev'" +
                         " && ln -sfn '" + node + "' '" + link + "'";
    if (!parent.empty()) script += " && touch '" + node + "/partition'";
    if (!removable.empty()) script += " && echo " + removable + " > '" + node + "/removable'";
    script += std::string(" && echo ") + (readOnly ? "1" : "0") + " > '" + node + "/ro'";
    ASSERT_EQ(system(script.c_str()), 0);
  }

  static int counter;
  std::string folder;
  TBytes disk =
      MakeFatImage(k144, {{"HELLO.TXT", "Hello\r\n"}, {"BIG.DAT", std::string(70000, 'x')}});
  TToolOutput output;
  testing_support::TFakeConsole console;
  TDeviceEnvironment devices;
};
int DiskVerbsTest::counter = 0;

TEST_F(DiskVerbsTest, ImageFilesRoundTrip) {
  ASSERT_EQ(Run({"read", Path("disk.img"), "-o", Path("copy.img")}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("copy.img")) == disk);
  EXPECT_EQ(console.statusLines.front(), "Reading track 1/160, 0 %");
  EXPECT_EQ(console.statusLines[console.statusLines.size() - 2], "Reading track 160/160, 100 %");
  EXPECT_EQ(console.statusLines.back(), "") << "the status line is cleared at the end";

  testing_support::TPackageOptions options;
  options.password = "pw";
  ASSERT_TRUE(WriteBytes(Path("disk.exe"), MakeProgram(disk, options)));
  console.statusLines.clear();
  ASSERT_EQ(Run({"write", Path("disk.exe"), Path("blank.img"), "--password", "pw", "--verify"}), 0)
      << output.err;
  EXPECT_TRUE(ReadBytes(Path("blank.img")) == disk);
  EXPECT_EQ(console.statusLines[159], "Writing track 160/160, 100 %");
  EXPECT_EQ(console.statusLines[160], "");
  EXPECT_EQ(console.statusLines[161], "Verifying track 1/160, 0 %");
  ASSERT_EQ(Run({"verify", Path("disk.exe"), Path("blank.img"), "--password", "pw", "--quiet"}), 0);
  EXPECT_EQ(output.out, "");

  // Bytes changed behind the tool's back, and sectors that fail to read: a
  // read fills only the sectors that fail with zeros, and both verbs name
  // them. On a device both read the medium: a stale cache, or a read-ahead
  // window that a bad sector fails whole, changes nothing.
  TBytes changed = disk;
  changed[5 * 9216 + 100] ^= 1;
  changed[159 * 9216] ^= 1;
  const std::string tail =
      "diskarno verify: track 6 (cylinder 2, head 1) differs\n"
      "diskarno verify: track 160 (cylinder 79, head 1) differs\n";
  struct Case {
    const char *what;
    bool device;  // a device stand-in; else an image file
    long long badFrom, badTo;
    std::string verify;  // what verify says
    std::string read;    // what read --keep-going says at the end; empty: it reads all
    int failures = -1;   // how many reads the sectors fail; -1: all
  };
  const std::vector<Case> cases = {
      {"image file, a sector inside BIG.DAT", false, 4 * 9216 + 512, 4 * 9216 + 1024,
       "diskarno verify: sector 2 of track 5 (cylinder 2, head 0) can't be read: "
       "Input/output error\n" + tail + "diskarno verify: 3 of 160 tracks differ\n",
       "1 sector in 1 of 160 tracks could not be read"},
      {"device, sectors 3 to 5 of a track", true, 4 * 9216 + 1024, 4 * 9216 + 2560,
       "diskarno verify: sectors 3 to 5 of track 5 (cylinder 2, head 0) can't be read: "
       "Input/output error\n" + tail + "diskarno verify: 3 of 160 tracks differ\n",
       "sectors 3 to 5 of track 5 (cylinder 2, head 0) could not be read (Input/output error); "
       "they are zeros in"},
      {"device, tracks 51 and 52", true, 50 * 9216, 52 * 9216,
       tail.substr(0, tail.find('\n') + 1) +
           "diskarno verify: track 51 (cylinder 25, head 0) can't be read: Input/output error\n"
           "diskarno verify: track 52 (cylinder 25, head 1) can't be read: Input/output error\n" +
           tail.substr(tail.find('\n') + 1) + "diskarno verify: 4 of 160 tracks differ\n",
       "36 sectors in 2 of 160 tracks could not be read"},
      {"device, a track that fails once", true, 50 * 9216, 52 * 9216,
       tail + "diskarno verify: 2 of 160 tracks differ\n", "", 1},
  };
  for (const Case &c : cases) {
    SetUp();
    ASSERT_TRUE(WriteBytes(Path("blank.img"), changed));
    if (c.device) {
      const int direct = open(Path("blank.img").c_str(), O_RDONLY | O_DIRECT);
      if (direct < 0) {
        std::cout << "skipped " << c.what << ": the temporary folder takes no direct reads\n";
        continue;
      }
      close(direct);
      StandIn("blank.img", "8:16", "1");
    }
    SystemCalls().device = RealPath("blank.img");
    SystemCalls().badFrom = c.badFrom;
    SystemCalls().badTo = c.badTo;
    SystemCalls().readAhead = c.device ? 128 * 1024 : 0;
    SystemCalls().staleAt = c.device ? 5 * 9216 + 100 : -1;
    SystemCalls().staleValue = disk[5 * 9216 + 100];
    SystemCalls().failures = c.failures;
    EXPECT_EQ(Run({"verify", Path("disk.img"), Path("blank.img")}), 1) << c.what;
    EXPECT_EQ(output.err, c.verify) << c.what;
    SystemCalls().failures = c.failures;
    EXPECT_EQ(Run({"read", Path("blank.img"), "-o", Path("copy.img"), "--keep-going"}),
              c.read.empty() ? 0 : 1)
        << c.what;
    EXPECT_NE(output.err.find(c.read), std::string::npos) << c.what << ": " << output.err;
    SystemCalls() = testing_support::TSystemCalls();
    TBytes expected = changed;
    if (!c.read.empty()) std::fill(expected.begin() + c.badFrom, expected.begin() + c.badTo, 0);
    EXPECT_TRUE(ReadBytes(Path("copy.img")) == expected) << c.what;
  }
}

TEST_F(DiskVerbsTest, WriteRefusesAndWritesNothing) {
  ASSERT_TRUE(WriteBytes(Path("big.img"), MakeFatImage(2949120, {})));
  ASSERT_TRUE(WriteBytes(Path("odd.img"), TBytes(9216 * 3 + 5, 1)));
  ASSERT_TRUE(WriteBytes(Path("short.img"), TBytes(1000, 1)));
  ASSERT_TRUE(WriteBytes(Path("empty.img"), TBytes()));
  ASSERT_TRUE(WriteBytes(Path("files.img"), disk));
  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"write", Path("big.img"), Path("blank.img")}, 2, "holds 1474560"},
      {{"write", Path("odd.img"), Path("blank.img")}, 2, "whole track"},
      {{"write", Path("empty.img"), Path("blank.img")}, 2, "has 0 bytes"},
      {{"write", Path("disk.img"), Path("files.img")}, 2, "with files"},
      {{"write", Path("disk.img"), Path("blank.img"), "--password", "x"}, 2, "raw image"},
      {{"write", Path("disk.img"), Path("short.img")}, 2, "no floppy's size"},
      {{"write", Path("disk.img"), Path("missing.img")}, 2, "can't open"},
      {{"write", Path("disk.img"), Path("disk.img")}, 2, "input"},
      {{"read", Path("disk.img"), "-o", Path("disk.img")}, 2, "overwrite"},
      {{"verify", Path("big.img"), Path("blank.img")}, 2, "holds 1474560"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Run(c.arguments), c.code) << c.says;
    EXPECT_NE(output.err.find(c.says), std::string::npos) << output.err;
  }
  EXPECT_TRUE(ReadBytes(Path("blank.img")) == TBytes(k144, 0xF6));
  EXPECT_TRUE(ReadBytes(Path("files.img")) == disk);
  EXPECT_EQ(ReadBytes(Path("short.img")).size(), 1000u);

  // On a terminal the user may say yes instead of --yes.
  console.canType = true;
  console.answer = "YES";
  ASSERT_TRUE(WriteBytes(Path("other.img"), MakeFatImage(k144, {{"OLD.TXT", "old"}})));
  EXPECT_EQ(Run({"write", Path("disk.img"), Path("other.img")}), 0) << output.err;
  EXPECT_NE(console.questions.back().find("holds a FAT file system"), std::string::npos);
  EXPECT_TRUE(ReadBytes(Path("other.img")) == disk);
}

TEST_F(DiskVerbsTest, CtrlCStopsBetweenTracks) {
  console.checksBeforeStop = 37;
  EXPECT_EQ(Run({"write", Path("disk.img"), Path("blank.img")}), 130);
  EXPECT_EQ(output.err,
            "diskarno write: stopped by SIGINT while writing track 38 of 160; the disk in " +
                Path("blank.img") + " holds the first 37 tracks of the image\n");
  TBytes written = ReadBytes(Path("blank.img"));
  EXPECT_TRUE(std::equal(disk.begin(), disk.begin() + 37 * 9216, written.begin()));
  EXPECT_EQ(written[37 * 9216], 0xF6);
  console.checksBeforeStop = 3;
  console.stopSignal = 15;
  EXPECT_EQ(Run({"read", Path("disk.img"), "-o", Path("copy.img")}), 143);
  EXPECT_EQ(access(Path("copy.img").c_str(), F_OK), -1) << "no partial image";
}

// The Linux device rules: only a removable, unmounted device of a floppy's
// size (DMF's too), unless --force takes one that is not removable or not
// of that size; a read cut to a floppy's size says what it left out. A
// read-only device is read, never written.
TEST_F(DiskVerbsTest, DeviceRules) {
  struct Case {
    const char *what;
    std::string removable;
    const char *partitionOf;  // the stand-in is a partition of this disk
    const char *mounted;      // what the mounts table lists (escaped as the kernel does)
    size_t size;
    bool force;
    int code;
    const char *says;
    const char *verb = "write";  // write disk.img, read -o copy.img, pack -o copy.exe
    bool readOnly = false;       // sysfs says ro
    int fsyncError = 0;          // the device's fsync fails so
    int openError = 0;           // the device's open fails with it, as the driver's would
  };
  const std::vector<Case> cases = {
      {"removable floppy", "1", nullptr, nullptr, k144, false, 0, ""},
      {"empty floppy drive", "1", nullptr, nullptr, k144, false, 2, "no disk in drive /", "write",
       false, 0, ENXIO},
      {"empty card reader", "1", nullptr, nullptr, k144, false, 2, "no disk in drive", "write",
       false, 0, ENOMEDIUM},
      {"write-protected floppy", "1", nullptr, nullptr, k144, false, 2, "is write-protected",
       "write", false, 0, EROFS},
      // The kernel marks the card read-only: refused before any open.
      {"write-protected card", "1", nullptr, nullptr, k144, false, 2, "is read-only", "write", true,
       0, EACCES},
      {"no permission", "1", nullptr, nullptr, k144, false, 2, "Permission denied", "write", false,
       0, EACCES},
      {"busy", "1", nullptr, nullptr, k144, false, 2, "Device or resource busy (mounted or in use)",
       "write", false, 0, EBUSY},
      {"fixed disk", "0", nullptr, nullptr, k144, false, 2, "not a removable disk"},
      {"no removable flag", "", nullptr, nullptr, k144, false, 2, "not a removable disk"},
      {"fixed disk, forced", "0", nullptr, nullptr, k144, true, 0, ""},
      {"mounted", "1", nullptr, "dev", k144, false, 2, "mounted on /media/floppy"},
      {"mounted, forced", "1", nullptr, "dev", k144, true, 2, "mounted"},
      {"a partition of it mounted", "1", nullptr, "part", k144, false, 2, "mounted"},
      {"mounted by a name with a blank", "1", nullptr, "my\\040dev", k144, false, 2, "mounted"},
      {"partition of a removable disk", "1", "8:16", nullptr, k144, false, 0, ""},
      {"partition of a fixed disk", "0", "8:16", nullptr, k144, false, 2, "not a removable"},
      {"not a floppy's size", "1", nullptr, nullptr, 1000000, false, 2, "no floppy's size"},
      {"too small even forced", "1", nullptr, nullptr, 100000, true, 2, "no floppy's size"},
      {"DMF, read", "1", nullptr, nullptr, 1720320, false, 0, "160 tracks (1720320 bytes)", "read"},
      {"DMF, packed", "1", nullptr, nullptr, 1720320, false, 0, "image 1720320 bytes", "pack"},
      {"DMF, a 1.44 MB image written", "1", nullptr, nullptr, 1720320, false, 2,
       "18 sectors a track; the disk in"},
      {"not a floppy's size, read forced", "1", nullptr, nullptr, 1000000, true, 0,
       "read as a floppy of 737280 bytes; its last 262720 bytes are left out", "read"},
      {"not a floppy's size, packed forced", "1", nullptr, nullptr, 1000000, true, 0,
       "its last 262720 bytes are left out", "pack"},
      {"read-only", "1", nullptr, nullptr, k144, false, 2, "is read-only", "write", true},
      {"read-only, forced", "1", nullptr, nullptr, k144, true, 2, "is read-only", "write", true},
      {"read-only, read", "1", nullptr, nullptr, k144, false, 0, "(1474560 bytes)", "read", true},
      {"the device does not take the flush", "1", nullptr, nullptr, k144, false, 1,
       "can't write the disk in", "write", false, EIO},
  };
  for (const Case &c : cases) {
    SetUp();
    ASSERT_TRUE(WriteBytes(Path("dev"), TBytes(c.size, 0xF6)));
    ASSERT_TRUE(WriteBytes(Path("part"), TBytes(512, 0)));
    ASSERT_EQ(symlink(Path("dev").c_str(), Path("my dev").c_str()), 0);
    if (c.partitionOf) {
      ASSERT_TRUE(WriteBytes(Path("whole"), TBytes(512, 0)));
      StandIn("whole", c.partitionOf, c.removable);
      StandIn("dev", "8:17", "", c.partitionOf);
    } else {
      StandIn("dev", "8:16", c.removable);
      // A partition the kernel sees is something a write would destroy.
      if (c.mounted && std::string(c.mounted) == "part") StandIn("part", "8:17", "", "8:16");
    }
    if (c.readOnly) {
      ASSERT_TRUE(WriteBytes(Path("sys/devices/8:16/ro"), {'1', '\n'}));
    }
    std::string table = c.mounted ? Path(c.mounted) + " /media/floppy vfat rw 0 0\n" : "";
    ASSERT_TRUE(WriteBytes(Path("mounts"), TBytes(table.begin(), table.end())));
    const std::string verb = c.verb;
    ASSERT_TRUE(WriteBytes(Path("stub.exe"), testing_support::MakeStub()));
    std::vector<std::string> arguments =
        verb == "write" ? std::vector<std::string>{"write", Path("disk.img"), Path("dev")}
        : verb == "read"
            ? std::vector<std::string>{"read", Path("dev"), "-o", Path("copy.img")}
            : std::vector<std::string>{"pack", Path("dev"), "-o", Path("copy.exe"), "--stub",
                                       Path("stub.exe")};
    if (c.force) arguments.push_back("--force");
    const size_t fsyncs = SystemCalls().fsyncs;
    SystemCalls().device = RealPath("dev");
    SystemCalls().openFlags.clear();
    SystemCalls().fsyncError = c.fsyncError;
    SystemCalls().openError = c.openError;
    EXPECT_EQ(Run(arguments), c.code) << c.what << ": " << output.err;
    SystemCalls().fsyncError = 0;
    EXPECT_NE((output.err + output.out).find(c.says), std::string::npos)
        << c.what << ": " << output.err << output.out;
    if (c.code != 0) {
      EXPECT_EQ(output.out, "") << c.what;  // no success claimed
    }
    TBytes device = ReadBytes(Path("dev"));
    if (verb == "read" && c.code == 0) {
      const TBytes copy = ReadBytes(Path("copy.img"));
      EXPECT_TRUE(copy == TBytes(copy.size(), 0xF6)) << c.what;
      EXPECT_NE(output.out.find("(" + std::to_string(copy.size()) + " bytes)"), std::string::npos)
          << c.what << ": " << output.out;
    } else if (c.code == 0 && verb == "write") {
      EXPECT_TRUE(std::equal(disk.begin(), disk.end(), device.begin())) << c.what;
      EXPECT_GT(SystemCalls().fsyncs, fsyncs) << c.what << ": written without fsync";
      // Exclusive: the kernel refuses a device mounted or held by another.
      ASSERT_EQ(SystemCalls().openFlags.size(), 1u) << c.what;
      EXPECT_TRUE(SystemCalls().openFlags[0] & O_EXCL) << c.what;
    } else if (c.code == 2) {
      EXPECT_TRUE(device == TBytes(c.size, 0xF6)) << c.what << ": the device was written";
    }
  }
  SystemCalls().openError = 0;
  // Read and pack follow the same rules; --force reads a larger device as
  // the largest floppy that fits.
  SetUp();
  ASSERT_TRUE(WriteBytes(Path("dev"), TBytes(1000000, 0x11)));
  StandIn("dev", "8:16", "0");
  EXPECT_EQ(Run({"read", Path("dev"), "-o", Path("x.img")}), 2);
  ASSERT_TRUE(WriteBytes(Path("stub.exe"), testing_support::MakeStub()));
  EXPECT_EQ(Run({"pack", Path("dev"), "-o", Path("x.exe"), "--stub", Path("stub.exe")}), 2);
  EXPECT_NE(output.err.find("not a removable disk"), std::string::npos) << output.err;
  ASSERT_EQ(Run({"read", Path("dev"), "-o", Path("x.img"), "--force"}), 0) << output.err;
  EXPECT_TRUE(ReadBytes(Path("x.img")) == TBytes(737280, 0x11));
}

// What the drivers say of the disk, in the system's words: a disk taken out
// or changed during the run stops it at that track, whatever the verb; a
// bad sector does not. The floppy driver refuses an empty drive and an
// unformatted disk alike (ENXIO); its drive state (FDPOLLDRVSTAT) tells
// them apart, and a changed disk from a bad sector.
TEST_F(DiskVerbsTest, WhatTheDriverSaysOfTheDisk) {
  struct Case {
    std::vector<std::string> arguments;
    int error;  // of the transfer of track 21
    std::string says;
    long floppyFlags = -1;  // the drive state the floppy driver reports
    int openError = 0;
    int code = 1;
  };
  const std::string dev = Path("dev");
  const std::string x = Path("x.img");
  const std::string changed = "the disk in " + dev + " was changed during the run (found while ";
  const std::vector<Case> cases = {
      {{"read", dev, "-o", x},
       ENOMEDIUM,
       changed + "reading track 21 of 160); " + x + " not written\n"},
      {{"read", dev, "-o", x, "--keep-going"},
       ENXIO,
       changed + "reading track 21 of 160); " + x + " not written\n"},
      {{"verify", Path("disk.img"), dev}, ENOMEDIUM, changed + "verifying track 21 of 160)\n"},
      {{"verify", Path("disk.img"), dev},
       EIO,
       changed + "verifying track 21 of 160)\n",
       FD_DISK_CHANGED},
      {{"write", Path("disk.img"), dev, "--yes"},
       ENOMEDIUM,
       changed + "writing track 21 of 160)\n"},
      {{"read", dev, "-o", x},
       EIO,
       "sector 3 of track 21 (cylinder 10, head 0) of " + dev +
           " can't be read: Input/output error; " + x + " not written\n",
       0},
      {{"read", dev, "-o", x}, 0, "no disk in drive " + dev + "\n", FD_DISK_CHANGED, ENXIO, 2},
      {{"read", dev, "-o", x},
       0,
       "the disk in " + dev +
           " can't be read: it is not formatted, or not in a format this drive reads (diskarno "
           "format formats it)\n",
       0,
       ENXIO,
       2},
  };
  for (const Case &c : cases) {
    ASSERT_TRUE(WriteBytes(Path("dev"), disk));
    StandIn("dev", "2:0", "1");
    SystemCalls().device = RealPath("dev");
    SystemCalls().badFrom = 20 * 9216 + 1024;
    SystemCalls().badTo = SystemCalls().badFrom + 512;
    SystemCalls().badError = c.error;
    SystemCalls().floppyFlags = c.floppyFlags;
    SystemCalls().openError = c.openError;
    EXPECT_EQ(Run(c.arguments), c.code) << c.says;
    EXPECT_EQ(output.err, "diskarno " + c.arguments[0] + ": " + c.says);
    EXPECT_FALSE(testing_support::FileExists(x));
  }
}

// Before a write, what the target holds decides: a blank disk and an empty
// FAT go ahead; anything else needs --yes or a typed yes, never --force.
TEST_F(DiskVerbsTest, WhatAWriteMayDestroy) {
  TBytes mbr(k144, 0);
  for (int n = 0; n < 2; ++n) {  // two Linux partitions, at sectors 64 and 1100
    const size_t entry = 446 + 16 * n;
    mbr[entry + 4] = 0x83;
    mbr[entry + 8] = n ? 0x4C : 64;
    mbr[entry + 9] = n ? 0x04 : 0;
    mbr[entry + 12] = 0xE8;
    mbr[entry + 13] = 0x03;
  }
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  TBytes damaged = MakeFatImage(k144, {{"KEEP.TXT", "keep"}}, "MINE");
  damaged[0] = 0;
  TBytes noise(k144);
  for (size_t n = 0; n < noise.size(); ++n) noise[n] = static_cast<unsigned char>(n * 7919 >> 3);
  // A 720 KB FAT file system at the start of a 1.44 MB disk, then noise or blank.
  TBytes small = MakeFatImage(737280, {}, "SMALL");
  TBytes smallThenData = noise;
  std::copy(small.begin(), small.end(), smallThenData.begin());
  TBytes smallThenBlank(k144, 0xF6);
  std::copy(small.begin(), small.end(), smallThenBlank.begin());
  struct Case {
    const char *what;
    TBytes target;       // empty: made by mkfs below
    const char *option;  // "--yes", "--force" or nullptr
    const char *typed;   // what the user types at the question; nullptr: no terminal
    int code;
    const char *says;   // in the question or the refusal
    bool stop = false;  // a signal comes while the question waits
  };
  const std::vector<Case> cases = {
      {"zeros", TBytes(k144, 0), nullptr, nullptr, 0, ""},
      {"a formatter's fill", TBytes(k144, 0xF6), nullptr, nullptr, 0, ""},
      {"empty FAT", MakeFatImage(k144, {}, "EMPTY"), nullptr, nullptr, 0, ""},
      {"FAT with files", MakeFatImage(k144, {{"A.TXT", "a"}}, "MINE"), nullptr, nullptr, 2,
       "holds a FAT file system labelled MINE with files"},
      {"FAT with byte 0 damaged", damaged, nullptr, nullptr, 2, "labelled MINE with files"},
      {"ext2", TBytes(), nullptr, nullptr, 2, "holds an ext2 file system labelled DATA"},
      {"ext2, forced", TBytes(), "--force", nullptr, 2, "holds an ext2 file system"},
      {"ext2, told yes", TBytes(), "--yes", nullptr, 0, ""},
      {"ext2, typed yEs amid blanks", TBytes(), nullptr, " yEs\t", 0, "holds an ext2 file system"},
      {"ext2, typed no", TBytes(), nullptr, "no", 2, "holds an ext2 file system"},
      {"ext2, typed y", TBytes(), nullptr, "y", 2, "holds an ext2 file system"},
      {"ext2, Ctrl-C at the question", TBytes(), nullptr, "", 130, "stopped by SIGINT", true},
      {"partition table", mbr, nullptr, nullptr, 2, "holds a DOS partition table with 2 part"},
      {"unknown data", noise, nullptr, nullptr, 2, "holds data that is no known file system"},
      {"empty FAT, then data past its end", smallThenData, nullptr, nullptr, 2,
       "labelled SMALL without files, and 737280 bytes of other data after it"},
      {"empty FAT, then a formatter's fill", smallThenBlank, nullptr, nullptr, 0, ""},
  };
  for (const Case &c : cases) {
    if (c.target.empty()) {
      ASSERT_EQ(system(("rm -f " + Path("target.img") + " && mkfs.ext2 -q -L DATA " +
                        Path("target.img") + " 1440 >/dev/null")
                           .c_str()),
                0);
    } else {
      ASSERT_TRUE(WriteBytes(Path("target.img"), c.target));
    }
    TBytes before = ReadBytes(Path("target.img"));
    console.canType = c.typed != nullptr;
    console.answer = c.typed ? c.typed : "";
    console.questions.clear();
    console.checksBeforeStop = c.stop ? 0 : -1;
    std::vector<std::string> arguments = {"write", Path("disk.img"), Path("target.img")};
    if (c.option) arguments.push_back(c.option);
    EXPECT_EQ(Run(arguments), c.code) << c.what << ": " << output.err;
    std::string said = output.err + (console.questions.empty() ? "" : console.questions[0]);
    EXPECT_NE(said.find(c.says), std::string::npos) << c.what << ": " << said;
    EXPECT_TRUE(ReadBytes(Path("target.img")) == (c.code == 0 ? disk : before)) << c.what;
  }
}

// An image file is locked for the run against both kinds of lock, as input
// and as -o output; one that backs a loop device is not written, copied or
// replaced unless --force and no loop device is mounted. A loop device is
// not written while another over the same file is mounted, or a partition
// of it.
TEST_F(DiskVerbsTest, ImagesInUse) {
  ASSERT_TRUE(WriteBytes(Path("stub.exe"), testing_support::MakeStub()));
  ASSERT_TRUE(WriteBytes(Path("disk.exe"), MakeProgram(disk, {})));
  for (const char *name : {"loop6", "loop7", "loop7p2"}) {
    ASSERT_TRUE(WriteBytes(Path(name), TBytes(k144, 0xF6)));
  }
  StandIn("loop6", "7:6", "0");
  StandIn("loop7", "7:7", "0");
  StandIn("loop7p2", "259:0", "", "7:7");
  // As in sysfs, /sys/block/loop7 and /sys/dev/block/7:7 are one node.
  ASSERT_EQ(system(("mkdir -p " + Path("sys/block") + " && ln -s " + Path("sys/devices/7:6") + " " +
                    Path("sys/block/loop6") + " && ln -s " + Path("sys/devices/7:7") + " " +
                    Path("sys/block/loop7") + " && mkdir " + Path("sys/block/loop6/loop") + " " +
                    Path("sys/block/loop7/loop"))
                       .c_str()),
            0);
  enum TLock { kNone, kOfdRead, kOfdWrite, kFlockShared, kFlockExclusive };
  struct Case {
    const char *what;
    std::vector<std::string> arguments;  // the folder's files by name
    TLock lock;                          // another run's lock on blank.img
    const char *loopOver;                // loop7's backing file, or nullptr
    const char *mounted;                 // mounted on "/media/my disk": loop7, loop7p2
    int code;
    const char *says;
    const char *loop6Over = nullptr;  // loop6's backing file
  };
  const std::vector<std::string> write = {"write", "disk.img", "blank.img"};
  const std::vector<std::string> verify = {"verify", "disk.img", "blank.img"};
  const std::vector<std::string> extract = {"extract", "disk.exe", "-o", "blank.img"};
  const std::vector<std::string> readOut = {"read", "disk.img", "-o", "blank.img"};
  const std::vector<std::string> readIn = {"read", "blank.img", "-o", "copy.img"};
  const std::vector<std::string> packIn = {"pack", "blank.img", "-o", "copy.exe", "--stub",
                                           "stub.exe"};
  auto forced = [](std::vector<std::string> arguments) {
    arguments.push_back("--force");
    return arguments;
  };
  const std::vector<Case> cases = {
      {"write, locked for reading", write, kOfdRead, nullptr, nullptr, 2, "in use"},
      {"write, locked for writing", write, kOfdWrite, nullptr, nullptr, 2, "in use"},
      {"write, flock(2) shared", write, kFlockShared, nullptr, nullptr, 2, "in use"},
      {"verify, locked for reading", verify, kOfdRead, nullptr, nullptr, 1, "differ"},
      {"verify, locked for writing", verify, kOfdWrite, nullptr, nullptr, 2, "in use"},
      {"verify, flock(2) exclusive", verify, kFlockExclusive, nullptr, nullptr, 2, "in use"},
      {"extract -o, locked for writing", extract, kOfdWrite, nullptr, nullptr, 2, "in use"},
      {"read -o, flock(2) shared", readOut, kFlockShared, nullptr, nullptr, 2, "in use"},
      {"read -o, locked for reading", readOut, kOfdRead, nullptr, nullptr, 2, "in use"},
      {"read, locked for writing", readIn, kOfdWrite, nullptr, nullptr, 2, "in use"},
      {"pack, locked for writing", packIn, kOfdWrite, nullptr, nullptr, 2, "in use"},
      {"pack, flock(2) exclusive", packIn, kFlockExclusive, nullptr, nullptr, 2, "in use"},
      {"pack, locked for reading", packIn, kOfdRead, nullptr, nullptr, 0, ""},
      {"write, loop device", write, kNone, "blank.img", nullptr, 2,
       "backs the loop device /dev/loop7"},
      {"write, loop device, forced", forced(write), kNone, "blank.img", nullptr, 0, ""},
      {"write, mounted loop device, forced", forced(write), kNone, "blank.img", "loop7", 2,
       "/dev/loop7, mounted on /media/my disk"},
      {"write, its partition mounted, forced", forced(write), kNone, "blank.img", "loop7p2", 2,
       "/dev/loop7, whose "},
      {"verify, loop device", verify, kNone, "blank.img", "loop7", 1, "differ"},
      {"write, loop device of another file", write, kNone, "disk.img", "loop7", 0, ""},
      {"extract -o, mounted loop device, forced", forced(extract), kNone, "blank.img", "loop7",
       2, "mounted on /media/my disk"},
      {"extract -o, loop device", extract, kNone, "blank.img", nullptr, 2, "give --force"},
      {"extract -o, loop device, forced", forced(extract), kNone, "blank.img", nullptr, 0, ""},
      {"read -o, partition mounted, forced", forced(readOut), kNone, "blank.img", "loop7p2", 2,
       "is mounted on /media/my disk"},
      {"read, mounted loop device, forced", forced(readIn), kNone, "blank.img", "loop7", 2,
       "mounted on /media/my disk"},
      {"read, loop device", readIn, kNone, "blank.img", nullptr, 2, "give --force"},
      {"read, loop device, forced", forced(readIn), kNone, "blank.img", nullptr, 0, ""},
      {"pack, mounted loop device, forced", forced(packIn), kNone, "blank.img", "loop7", 2,
       "mounted on /media/my disk"},
      {"read the loop device -o its file, forced", {"read", "loop7", "-o", "blank.img", "--force"},
       kNone, "blank.img", nullptr, 2, "would overwrite the disk"},
      {"write a second loop device, the first's partition mounted",
       {"write", "disk.img", "loop6", "--force", "--yes"}, kNone, "blank.img", "loop7p2", 2,
       "with the loop device /dev/loop7, whose ", "blank.img"},
      {"write a second loop device, the first has partitions", {"write", "disk.img", "loop6",
       "--force"}, kNone, "blank.img", nullptr, 2, "the system sees the partitions /dev/259:0",
       "blank.img"},
      {"write a second loop device, told yes", {"write", "disk.img", "loop6", "--force", "--yes"},
       kNone, "blank.img", nullptr, 0, "", "blank.img"},
  };
  for (const Case &c : cases) {
    ASSERT_TRUE(WriteBytes(Path("blank.img"), TBytes(k144, 0xF6)));
    ASSERT_TRUE(WriteBytes(Path("loop6"), TBytes(k144, 0xF6)));
    for (const char *loop : {"loop6", "loop7"}) {
      const char *over = std::string(loop) == "loop6" ? c.loop6Over : c.loopOver;
      std::string backing = over ? RealPath(over) : "";
      ASSERT_TRUE(WriteBytes(Path("sys/block/") + loop + "/loop/backing_file",
                             TBytes(backing.begin(), backing.end())));
    }
    std::string mounts = c.mounted ? Path(c.mounted) + " /media/my\\040disk ext4 rw 0 0\n" : "";
    ASSERT_TRUE(WriteBytes(Path("mounts"), TBytes(mounts.begin(), mounts.end())));
    int other = open(Path("blank.img").c_str(), O_RDWR);
    struct flock lock = {};
    lock.l_type = c.lock == kOfdRead ? F_RDLCK : F_WRLCK;
    if (c.lock == kOfdRead || c.lock == kOfdWrite) {
      ASSERT_EQ(fcntl(other, F_OFD_SETLK, &lock), 0);
    } else if (c.lock != kNone) {
      ASSERT_EQ(flock(other, c.lock == kFlockShared ? LOCK_SH : LOCK_EX), 0);
    }
    const TBytes before = ReadBytes(Path("blank.img"));
    std::vector<std::string> arguments;
    for (const std::string &argument : c.arguments)
      arguments.push_back(access(Path(argument).c_str(), F_OK) == 0 || argument == "copy.img" ||
                                  argument == "copy.exe"
                              ? Path(argument)
                              : argument);
    EXPECT_EQ(Run(arguments), c.code) << c.what << ": " << output.err;
    EXPECT_NE(output.err.find(c.says), std::string::npos) << c.what << ": " << output.err;
    if (c.code != 0) {
      EXPECT_TRUE(ReadBytes(Path("blank.img")) == before) << c.what << ": blank.img changed";
    }
    close(other);
  }
}

std::string ShellLine(const std::string &command) {
  std::string text;
  FILE *pipe = popen(command.c_str(), "r");
  char buffer[256];
  while (pipe && fgets(buffer, sizeof buffer, pipe)) text += buffer;
  if (pipe) pclose(pipe);
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The same rules on a real loop device over an ext2 image file, mounted and
// not: only as root, where the machine has loop devices.
TEST_F(DiskVerbsTest, RealLoopDevice) {
  if (geteuid() != 0) GTEST_SKIP() << "not root: no loop device can be attached";
  ASSERT_EQ(system(("mkfs.ext2 -q -L DATA " + Path("backing.img") + " 1440 >/dev/null").c_str()),
            0);
  const std::string loop =
      ShellLine("losetup --find --show " + Path("backing.img") + " 2>/dev/null");
  if (loop.empty()) GTEST_SKIP() << "losetup attached no loop device";
  // The same file again, and once more read-only.
  const std::string second = ShellLine("losetup --find --show " + Path("backing.img"));
  const std::string readOnly = ShellLine("losetup -r --find --show " + Path("backing.img"));
  const TBytes before = ReadBytes(Path("backing.img"));
  ASSERT_TRUE(WriteBytes(Path("copy0.img"), before));
  ASSERT_TRUE(WriteBytes(Path("disk.exe"), MakeProgram(disk, {})));
  ASSERT_TRUE(WriteBytes(Path("stub.exe"), testing_support::MakeStub()));
  ASSERT_EQ(system(("mkdir -p " + Path("mnt")).c_str()), 0);
  const bool mountable =
      system(("mount -o ro " + loop + " " + Path("mnt") + " 2>/dev/null && umount " + Path("mnt"))
                 .c_str()) == 0;
  struct Case {
    const char *what;
    std::vector<std::string> arguments;
    bool mounted;
    int code;
    std::string says;
    // The device's pages are cached by a program that holds it open, then
    // a byte of the file changes behind them.
    bool stale = false;
  };
  const std::string mounted = ", mounted on " + Path("mnt");
  const std::vector<Case> cases = {
      {"its image file",
       {"write", Path("disk.img"), Path("backing.img")},
       false,
       2,
       "backs the loop devices "},
      {"its image file, forced",
       {"write", Path("disk.img"), Path("backing.img"), "--force"},
       false,
       2,
       "holds an ext2 file system labelled DATA"},
      {"the device", {"write", Path("disk.img"), loop}, false, 2, "not a removable disk"},
      {"the device, forced",
       {"write", Path("disk.img"), loop, "--force"},
       false,
       2,
       "holds an ext2 file system labelled DATA"},
      {"the device as -o", {"read", Path("disk.img"), "-o", loop}, false, 2, "diskarno write"},
      {"its mounted image file, forced",
       {"write", Path("disk.img"), Path("backing.img"), "--force"},
       true,
       2,
       "backs the loop device " + loop + ", mounted on " + Path("mnt")},
      {"the mounted device, forced",
       {"write", Path("disk.img"), loop, "--force"},
       true,
       2,
       "mounted on " + Path("mnt")},
      {"a second device, the first mounted, forced and told yes",
       {"write", Path("disk.img"), second, "--force", "--yes"},
       true,
       2,
       second + " shares its file " + Path("backing.img") + " with the loop device " + loop +
           mounted},
      {"its mounted image file as -o, forced",
       {"extract", Path("disk.exe"), "-o", Path("backing.img"), "--force"},
       true,
       2,
       loop + mounted},
      {"its mounted image file read, forced",
       {"read", Path("backing.img"), "-o", Path("copy.img"), "--force"},
       true,
       2,
       loop + mounted},
      {"its mounted image file packed, forced",
       {"pack", Path("backing.img"), "-o", Path("copy.exe"), "--stub", Path("stub.exe"), "--force"},
       true,
       2,
       loop + mounted},
      {"the device read into its image file, forced",
       {"read", loop, "-o", Path("backing.img"), "--force"},
       false,
       2,
       "would overwrite the disk " + loop},
      {"the read-only device, forced and told yes",
       {"write", Path("disk.img"), readOnly, "--force", "--yes"},
       false,
       2,
       readOnly + " is read-only"},
      {"verify past a stale cache",
       {"verify", Path("copy0.img"), loop, "--force"},
       false,
       1,
       "track 1 (cylinder 0, head 0) differs",
       true},
  };
  for (const Case &c : cases) {
    if (c.mounted && !mountable) continue;
    if (c.mounted) {
      ASSERT_EQ(system(("mount -o ro " + loop + " " + Path("mnt")).c_str()), 0);
    }
    const int holder = c.stale ? open(loop.c_str(), O_RDONLY) : -1;
    if (c.stale) {
      TBytes cached(before.size());
      ASSERT_EQ(pread(holder, cached.data(), cached.size(), 0), static_cast<ssize_t>(before.size()));
      TBytes changed = before;
      changed[100] ^= 0xFF;
      ASSERT_TRUE(WriteBytes(Path("backing.img"), changed));
    }
    EXPECT_EQ(Run(c.arguments), c.code) << c.what << ": " << output.err;
    EXPECT_NE(output.err.find(c.says), std::string::npos) << c.what << ": " << output.err;
    if (c.stale) {
      close(holder);
      ASSERT_TRUE(WriteBytes(Path("backing.img"), before));
    }
    if (c.mounted) {
      ASSERT_EQ(system(("umount " + Path("mnt")).c_str()), 0);
    }
  }
  EXPECT_EQ(system(("losetup -d " + loop + " " + second + " " + readOnly).c_str()), 0);
  EXPECT_TRUE(ReadBytes(Path("backing.img")) == before) << "the image file was written";
  if (!mountable) GTEST_SKIP() << "the loop device could not be mounted; mounted cases skipped";
}

// format on image files: what it writes is what mformat makes (its
// parameters for each capacity, the two FATs, the label), every byte past
// the file system is the fill byte, and fsck.fat finds nothing wrong.
TEST_F(DiskVerbsTest, FormatMakesWhatMformatMakes) {
  struct Case {
    int kilobytes;
    const char *geometry;  // mformat's words for it
  };
  const Case cases[] = {{360, "-f 360"},   {720, "-f 720"},   {1200, "-f 1200"},
                        {1440, "-f 1440"}, {2880, "-f 2880"}, {1680, "-t 80 -h 2 -s 21"}};
  for (const Case &c : cases) {
    const size_t size = static_cast<size_t>(c.kilobytes) * 1024;
    ASSERT_TRUE(WriteBytes(Path("disk.img"), TBytes(size, 0x11)));
    ASSERT_EQ(Run({"format", Path("disk.img"), "--label", "Rescue 1", "--yes"}), 0) << output.err;
    EXPECT_EQ(output.out, "formatted " + Path("disk.img") + " as " + std::to_string(c.kilobytes) +
                              " KB (" + (c.kilobytes == 360 ? "80" : "160") +
                              " tracks), labelled RESCUE 1\n");
    ASSERT_EQ(system(("rm -f " + Path("m.img") + " && mformat -C -i " + Path("m.img") + " " +
                      c.geometry + " -v 'RESCUE 1' ::")
                         .c_str()),
              0);
    const TBytes ours = ReadBytes(Path("disk.img"));
    const TBytes theirs = ReadBytes(Path("m.img"));
    ASSERT_EQ(ours.size(), theirs.size()) << c.kilobytes;
    // The parameter block, the drive number and the label and type fields;
    // the volume serial number (39 to 42) differs from format to format.
    EXPECT_TRUE(std::equal(ours.begin() + 11, ours.begin() + 39, theirs.begin() + 11))
        << c.kilobytes;
    EXPECT_TRUE(std::equal(ours.begin() + 43, ours.begin() + 62, theirs.begin() + 43))
        << c.kilobytes;
    EXPECT_EQ(ours[510], 0x55);
    EXPECT_EQ(ours[511], 0xAA);
    const size_t fats = 512 * (1 + 2 * (ours[22] | ours[23] << 8));
    EXPECT_TRUE(std::equal(ours.begin() + 512, ours.begin() + fats, theirs.begin() + 512))
        << c.kilobytes << ": the FATs";
    EXPECT_TRUE(std::equal(ours.begin() + fats, ours.begin() + fats + 12, theirs.begin() + fats))
        << c.kilobytes << ": the label's entry";
    const size_t data = fats + 32 * (ours[17] | ours[18] << 8);
    EXPECT_EQ(std::count(ours.begin() + data, ours.end(), 0xF6),
              static_cast<long>(ours.size() - data))
        << c.kilobytes;
    EXPECT_EQ(system(("fsck.fat -n " + Path("disk.img") + " >/dev/null").c_str()), 0)
        << c.kilobytes;
  }
  ASSERT_EQ(Run({"format", Path("disk.img"), "--quiet"}), 0) << output.err;
  EXPECT_EQ(output.out, "");
  const TBytes unlabelled = ReadBytes(Path("disk.img"));
  EXPECT_EQ(std::string(unlabelled.begin() + 43, unlabelled.begin() + 54), "NO NAME    ");
}

// The one table of floppy formats holds every geometry the program knows
// by size, as the program has it, and DMF on a 1.44 MB medium.
TEST(FloppyFormats, TheProgramsGeometriesAndDmf) {
  int standard = 0;
  for (const TFloppyFormat *format = LargestFloppyFormatWithin(INT64_MAX); format;
       format = LargestFloppyFormatWithin(CapacityOf(*format) - 1)) {
    TDiskGeometry program = {};
    const TDiskGeometry tool = GeometryOf(*format);
    if (StandardFloppyGeometry(CapacityOf(*format), program)) {
      ++standard;
      EXPECT_EQ(tool.Cylinders, program.Cylinders) << format->kilobytes;
      EXPECT_EQ(tool.TracksPerCylinder, program.TracksPerCylinder) << format->kilobytes;
      EXPECT_EQ(tool.SectorsPerTrack, program.SectorsPerTrack) << format->kilobytes;
      EXPECT_EQ(tool.MediaType, program.MediaType) << format->kilobytes;
    } else {
      EXPECT_EQ(format->kilobytes, 1680);
      EXPECT_EQ(tool.SectorsPerTrack, 21u);
      EXPECT_EQ(tool.MediaType, kMediaF3_1Pt44);
    }
  }
  EXPECT_EQ(standard, 8) << "a geometry of the program's media table is missing";
}

// What format and write --format refuse, with nothing changed; what a
// typed yes and Ctrl-C do.
TEST_F(DiskVerbsTest, FormatRules) {
  ASSERT_TRUE(WriteBytes(Path("small.img"), MakeFatImage(737280, {{"A.TXT", "a"}})));
  ASSERT_TRUE(WriteBytes(Path("odd.img"), TBytes(1000000, 1)));
  ASSERT_TRUE(WriteBytes(Path("320.img"), TBytes(327680, 1)));  // read and written, not laid out
  struct Case {
    std::vector<std::string> arguments;
    int code;
    std::string says;
  };
  const std::vector<Case> cases = {
      {{"format", Path("disk.img")}, 2, "with files; nothing formatted (--yes overwrites it)"},
      {{"format", Path("blank.img"), "--capacity", "720"},
       2,
       "has 1474560 bytes, not the 737280 of 720 KB"},
      {{"format", Path("blank.img"), "--capacity", "1.44"},
       2,
       "--capacity 1.44: the capacities are 360, 720, 1200, 1440, 1680 and 2880 (KB)"},
      {{"format", Path("blank.img"), "--label", "TWELVE CHARS"}, 2, "1 to 11 characters"},
      {{"format", Path("blank.img"), "--label", "A*B"}, 2, "can't hold \"*\""},
      {{"format", Path("blank.img"), "--label", " LEAD"}, 2, "can't start with a blank"},
      {{"format", Path("odd.img")}, 2, "no floppy's size"},
      {{"format", Path("320.img")},
       2,
       "can't be told; give --capacity (360, 720, 1200, 1440, 1680 and 2880)"},
      {{"write", Path("disk.img"), Path("blank.img"), "--capacity", "1440"},
       2,
       "--capacity goes with --format"},
      {{"write", Path("disk.img"), Path("small.img"), "--format", "--yes"},
       2,
       "has 737280 bytes, not the 1474560 of 1440 KB"},
      {{"write", Path("disk.img"), Path("small.img"), "--format", "--capacity", "720", "--yes"},
       2,
       "has 1474560 bytes; a 720 KB disk holds 737280"},
  };
  const TBytes small = ReadBytes(Path("small.img"));
  for (const Case &c : cases) {
    EXPECT_EQ(Run(c.arguments), c.code) << c.says;
    EXPECT_NE(output.err.find(c.says), std::string::npos) << output.err;
    EXPECT_TRUE(ReadBytes(Path("disk.img")) == disk);
    EXPECT_TRUE(ReadBytes(Path("blank.img")) == TBytes(k144, 0xF6));
    EXPECT_TRUE(ReadBytes(Path("small.img")) == small);
  }

  // A typed yes; a 720 KB image written with --format at its own capacity.
  console.canType = true;
  console.answer = "yes";
  ASSERT_TRUE(WriteBytes(Path("small.img"), MakeFatImage(737280, {})));
  ASSERT_EQ(Run({"write", Path("disk.img"), Path("small.img"), "--format", "--verify"}), 2);
  const TBytes image720 = MakeFatImage(737280, {{"B.TXT", "b"}});
  ASSERT_TRUE(WriteBytes(Path("image720.img"), image720));
  ASSERT_EQ(Run({"write", Path("image720.img"), Path("small.img"), "--format", "--verify"}), 0)
      << output.err;
  EXPECT_EQ(output.out, "formatted as 720 KB and wrote 160 tracks (737280 bytes) of " +
                            Path("image720.img") + " to " + Path("small.img") + ", verified\n");
  EXPECT_TRUE(ReadBytes(Path("small.img")) == image720);
  EXPECT_EQ(console.statusLines[0], "Formatting track 1/160, 0 %");
  EXPECT_EQ(console.statusLines[159], "Formatting track 160/160, 100 %");
  EXPECT_EQ(console.statusLines[161], "Checking track 1/160, 0 %");
  ASSERT_EQ(Run({"format", Path("disk.img")}), 0) << output.err;
  EXPECT_NE(console.questions.back().find("with files. Writing destroys it."), std::string::npos);

  // Ctrl-C between two tracks.
  console.checksBeforeStop = 40;
  EXPECT_EQ(Run({"format", Path("disk.img"), "--yes"}), 130);
  EXPECT_EQ(output.err,
            "diskarno format: stopped by SIGINT while formatting track 41 of 160; the "
            "disk in " +
                Path("disk.img") +
                " is formatted in part: format it again "
                "before use\n");
}

// A USB floppy drive formats through SG_IO: READ FORMAT CAPACITIES first,
// then one FORMAT UNIT a track. A capacity the drive does not list, an
// empty drive, a write-protected disk and a device that is no UFI drive are
// refused before any track; a track that fails stops the format.
TEST_F(DiskVerbsTest, UsbFloppyFormat) {
  using testing_support::TUfiStandIn;
  using testing_support::UfiCapacities;
  struct Case {
    const char *what;
    std::vector<std::string> options;
    TUfiStandIn drive;
    int code;
    std::string says;
    size_t commands;  // what reached the drive
  };
  auto drive = [](std::vector<unsigned char> capacities, unsigned char failing = 0, int track = -1,
                  unsigned char key = 0, unsigned char code = 0) {
    TUfiStandIn ufi;
    ufi.present = true;
    ufi.capacities = std::move(capacities);
    ufi.failingCommand = failing;
    ufi.failingTrack = track;
    ufi.senseKey = key;
    ufi.senseCode = code;
    return ufi;
  };
  const auto hd = UfiCapacities(2880, 2, {2880, 1440});  // a formatted 1.44 MB disk
  TUfiStandIn none;
  const std::vector<Case> cases = {
      {"its own capacity", {}, drive(hd), 0, "formatted", 161},
      {"720 KB", {"--capacity", "720"}, drive(hd), 0, "as 720 KB (160 tracks)", 161},
      {"1680 KB",
       {"--capacity", "1680"},
       drive(hd),
       2,
       "formats 1440, 720 KB with this disk, not 1680 KB",
       1},
      {"an unformatted disk", {}, drive(UfiCapacities(2880, 1, {2880, 1440})), 0, "formatted", 161},
      {"no disk", {}, drive(UfiCapacities(2880, 3, {})), 2, "no disk in drive", 1},
      {"write-protected",
       {},
       drive(hd, 0x04, 0, 0x07, 0x27),
       2,
       "is write-protected; nothing formatted",
       2},
      {"a bad track",
       {},
       drive(hd, 0x04, 37, 0x03, 0x31),
       1,
       "failed at track 38 (cylinder 18, head 1) while formatting: ",
       40},  // the track tried twice
      {"a disk of a USB stick",
       {},
       drive({}, 0x23, -1, 0x05, 0x20),
       2,
       "is no USB floppy drive",
       1},
      {"no SCSI device", {}, none, 2, "can't be formatted here", 0},
  };
  for (const Case &c : cases) {
    ASSERT_TRUE(WriteBytes(Path("dev"), TBytes(k144, 0x11)));
    StandIn("dev", "8:16", "1");
    SystemCalls().device = RealPath("dev");
    SystemCalls().ufi = c.drive;
    std::vector<std::string> arguments = {"format", Path("dev"), "--yes", "--label", "USB"};
    arguments.insert(arguments.end(), c.options.begin(), c.options.end());
    EXPECT_EQ(Run(arguments), c.code) << c.what << ": " << output.err;
    EXPECT_NE((output.out + output.err).find(c.says), std::string::npos)
        << c.what << ": " << output.err;
    const std::vector<std::vector<unsigned char>> &sent = SystemCalls().ufi.commands;
    EXPECT_EQ(sent.size(), c.commands) << c.what;
    const TBytes after = ReadBytes(Path("dev"));
    if (c.code == 2) {
      EXPECT_TRUE(after == TBytes(k144, 0x11)) << c.what << ": the disk changed";
    }
    if (c.code != 0 || sent.size() < 161) continue;
    // READ FORMAT CAPACITIES, then the tracks in order, each with its side
    // and the capacity in blocks of 512 bytes.
    EXPECT_EQ(sent[0], (std::vector<unsigned char>{0x23, 0, 0, 0, 0, 0, 0, 0, 0xFC, 0, 0, 0}));
    const unsigned blocks = c.options.empty() ? 2880 : 1440;
    for (unsigned track = 0; track < 160; ++track) {
      const std::vector<unsigned char> expected = {
          0x04, 0x17, static_cast<unsigned char>(track / 2), 0, 0, 0, 0, 0, 12, 0, 0, 0};
      EXPECT_EQ(sent[1 + track], expected) << c.what << ": track " << track;
      const std::vector<unsigned char> parameters = {0,
                                                     static_cast<unsigned char>(0xB0 | (track & 1)),
                                                     0,
                                                     8,
                                                     0,
                                                     0,
                                                     static_cast<unsigned char>(blocks >> 8),
                                                     static_cast<unsigned char>(blocks),
                                                     0,
                                                     0,
                                                     2,
                                                     0};
      EXPECT_EQ(SystemCalls().ufi.parameters[1 + track], parameters)
          << c.what << ": track " << track;
    }
    // The drive's fill bytes, then the file system over the first tracks.
    EXPECT_EQ(system(("fsck.fat -n " + Path("dev") + " >/dev/null").c_str()), 0) << c.what;
    EXPECT_EQ(after[blocks * 512 - 1], 0xF6) << c.what;
  }
  SystemCalls().ufi = TUfiStandIn();

  // write --format on the drive: formatted at the image's capacity, written.
  ASSERT_TRUE(WriteBytes(Path("dev"), TBytes(k144, 0)));
  SystemCalls().ufi = drive(hd);
  ASSERT_EQ(Run({"write", Path("disk.img"), Path("dev"), "--format", "--verify"}), 0) << output.err;
  EXPECT_EQ(SystemCalls().ufi.commands.size(), 161u);
  EXPECT_TRUE(ReadBytes(Path("dev")) == disk);
  SystemCalls().ufi = TUfiStandIn();
}

}  // namespace
