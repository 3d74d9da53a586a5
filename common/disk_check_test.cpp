#include <gtest/gtest.h>

#include "kernel_object.h"
#include "sim_pc.h"
#include "support/fat_image.h"
#include "utils.h"

namespace {

using sim::Pc;

class DiskCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    Pc().Reset();
    Pc().AddFloppyDrive('A');
    SetErrorMode(SEM_NOOPENFILEERRORBOX);
    handles_ = winapi::OpenHandleCount();
  }
  void TearDown() override {
    EXPECT_EQ(Pc().ErrorMode(), static_cast<UINT>(SEM_NOOPENFILEERRORBOX));
    EXPECT_EQ(winapi::OpenHandleCount(), handles_) << "a search was left open";
    EXPECT_EQ(Pc().CriticalErrorBoxes(), 0);
    SetErrorMode(0);
  }
  void InsertWith(std::vector<sim::FileEntry> entries) {
    sim::Medium medium = sim::Floppy144();
    medium.fileSystem = sim::FileSystem();
    medium.fileSystem->entries = std::move(entries);
    Pc().InsertMedium('A', medium);
  }
  size_t handles_ = 0;
};

TEST_F(DiskCheck, EmptyFormattedDisk) {
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {})));
  EXPECT_FALSE(DiskHasFiles("A:\\*.*"));
}

TEST_F(DiskCheck, RealFilesFound) {
  Pc().InsertMedium('A', sim::Floppy144(testing_support::MakeFatImage(1474560, {{"A.TXT", "x"}})));
  EXPECT_TRUE(DiskHasFiles("A:\\*.*"));
}

TEST_F(DiskCheck, HiddenFileCounts) {
  InsertWith({{"IO.SYS", FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM, 40000}});
  EXPECT_TRUE(DiskHasFiles("A:\\*.*"));
}

TEST_F(DiskCheck, EmptySubfolderCounts) {
  InsertWith({{"EMPTY", FILE_ATTRIBUTE_DIRECTORY, 0}});
  EXPECT_TRUE(DiskHasFiles("A:\\*.*"));
  // Inside it only "." and ".." answer.
  EXPECT_FALSE(DiskHasFiles("A:\\EMPTY\\*.*"));
}

TEST_F(DiskCheck, NoDiskShowsNoBox) {
  EXPECT_FALSE(DiskHasFiles("A:\\*.*"));
  EXPECT_FALSE(DiskHasFiles("Q:\\*.*"));
}

TEST_F(DiskCheck, UnformattedDisk) {
  Pc().InsertMedium('A', sim::Floppy144());
  EXPECT_FALSE(DiskHasFiles("A:\\*.*"));
}

}  // namespace
