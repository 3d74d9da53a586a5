#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "sim_pc.h"
#include "utils.h"

namespace {

using sim::Pc;

// Each drive as its name followed by its letter.
typedef std::vector<std::string> TStringArray;

class DriveList : public ::testing::Test {
 protected:
  void SetUp() override { Pc().Reset(); }
  void TearDown() override { EXPECT_EQ(Pc().LiveIcons(), 0u) << "a shell icon was kept"; }
  TStringArray List() {
    TStringArray drives;
    ListRemovableDrives(
        [](void *context, const char *name, char letter) {
          static_cast<TStringArray *>(context)->push_back(name + std::string(1, letter));
        },
        &drives);
    return drives;
  }
};

TEST_F(DriveList, FloppyAndHardDisk) {
  Pc().AddFloppyDrive('A');
  Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  EXPECT_EQ(List(), TStringArray{"3\xBD Floppy (A:)A"});
}

TEST_F(DriveList, EveryRemovableDriveInLetterOrder) {
  Pc().AddDrive('F', DRIVE_REMOVABLE, "Card Reader (F:)");
  Pc().AddDrive('D', DRIVE_CDROM, "CD Drive (D:)");
  Pc().AddDrive('E', DRIVE_REMOTE, "share (E:)");
  Pc().AddFloppyDrive('B');
  Pc().AddFloppyDrive('A');
  EXPECT_EQ(List(),
            (TStringArray{"3\xBD Floppy (A:)A", "3\xBD Floppy (B:)B", "Card Reader (F:)F"}));
}

TEST_F(DriveList, ShellFailureLeavesDriveOut) {
  Pc().AddFloppyDrive('A').shellInfoFails = true;
  Pc().AddFloppyDrive('B').displayName = "";
  EXPECT_EQ(List(), TStringArray{"B"});
}

TEST_F(DriveList, NoRemovableDrive) {
  Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  EXPECT_TRUE(List().empty());
}

}  // namespace
