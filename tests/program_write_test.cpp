// Writing a disk through the whole program: the progress dialog, its
// status lines, stopping, and the answers to the writer's events.
#include <gtest/gtest.h>

#include "resource.h"
#include "support/fat_image.h"
#include "support/program_scenario.h"

using namespace testing_support;

namespace {

const char kWritten[] = "Information|The disk has been written.";
constexpr size_t kTrackBytes = 18 * 512;

std::string StatusLine(int cylinder, int head) {
  return "Writing to drive A: (" + std::to_string(cylinder) + "/" + std::to_string(head) +
         " of 80/2)";
}

class ProgramWrite : public ProgramScenario {
 protected:
  // A protected package of a disk with files; drive A: holds an empty disk.
  void SetUpDisk(sim::Medium medium = sim::Floppy144(EmptyDisk144())) {
    TPackageOptions options;
    options.password = "secret";
    UseProgram(MakeProgram(DiskWithFiles(), options));
    sim::Pc().AddFloppyDrive('A');
    sim::Pc().InsertMedium('A', std::move(medium));
    user.Type("secret").Click(IDC_WRITE_DISK);
  }
  static size_t GoodWrites() {
    size_t count = 0;
    for (const sim::DeviceCall &call : sim::Pc().Calls(sim::Call::Write)) count += call.ok;
    return count;
  }
  static std::vector<std::string> StatusLines() {
    return winapi::UiValues("DLGWRITE", IDC_STATUS, "text");
  }
  static bool WritingDialogEnded() {
    return winapi::UiValues("DLGWRITE", 0, "ended") == std::vector<std::string>{"0"} &&
           winapi::FindDialog("DLGWRITE") == nullptr;
  }
};

enum class Platform { Nt, Win95, Win98, WinMe };

class ProgramWriteOnEveryPlatform : public ProgramWrite,
                                    public testing::WithParamInterface<Platform> {};

TEST_P(ProgramWriteOnEveryPlatform, GoodPackageIsWrittenAndAnotherDiskCanFollow) {
  if (GetParam() == Platform::Win95) {
    sim::Pc().SetWindows95();
    winapi::SetCommonControlsVersion(4, 0);  // no InitCommonControlsEx
  }
  if (GetParam() == Platform::Win98) sim::Pc().SetWindows98();
  if (GetParam() == Platform::WinMe) sim::Pc().SetWindowsMe();
  SetUpDisk();
  user.Answer("Information", IDOK,
              [] {
                EXPECT_FALSE(IsWindowVisible(winapi::FindDialog("DLGWRITE")));
                EXPECT_FALSE(IsWindowEnabled(winapi::FindDialog("MAINDIALOG")));
              })
      .Do([] {
        EXPECT_TRUE(WritingDialogEnded());
        EXPECT_TRUE(IsWindowEnabled(winapi::FindDialog("MAINDIALOG")));
      })
      .Click(IDC_WRITE_DISK)  // the same disk again: it now holds files
      .Answer("Confirmation", IDYES)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{
                         kWritten,
                         "Confirmation|There seem to be some files on the floppy disk.\r\n"
                         "Overwrite them ?",
                         kWritten}));
  const winapi::TMessageBoxRecord &written = winapi::MessageBoxes()[0];
  EXPECT_EQ(written.Owner, "DLGWRITE");
  EXPECT_FALSE(written.OwnerVisible);
  EXPECT_EQ(written.Flags, 0x40u);
  const TBytes &disk = sim::Pc().MediumIn('A')->bytes;
  EXPECT_EQ(disk, DiskWithFiles());
  EXPECT_TRUE(FsckClean(disk));
  EXPECT_EQ(ReadFileFromImage(disk, "README.TXT"), "Read me first.\r\n");
  EXPECT_EQ(winapi::UiValues("MAINDIALOG", 0, "text"),
            (std::vector<std::string>{"Loading...", "Unpacking...", "Create a disk", "Loading...",
                                      "Unpacking...", "Create a disk"}));
}

INSTANTIATE_TEST_SUITE_P(Platforms, ProgramWriteOnEveryPlatform,
                         testing::Values(Platform::Nt, Platform::Win95, Platform::Win98,
                                         Platform::WinMe));

TEST_F(ProgramWrite, EveryStatusLineOfA144Disk) {
  SetUpDisk();
  user.Answer("Information", IDOK,
              [] {
                // Centred on the whole screen, as the main dialog is.
                RECT rect = winapi::WindowRect(winapi::FindDialog("DLGWRITE"));
                EXPECT_EQ(rect.left, (1024 - (rect.right - rect.left)) / 2);
                EXPECT_EQ(rect.top, (768 - (rect.bottom - rect.top)) / 2);
              })
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  std::vector<std::string> lines, positions;
  for (int track = 0; track < 160; ++track) {
    lines.push_back(StatusLine(track / 2 + 1, track % 2 + 1));
    positions.push_back(std::to_string(track));
  }
  EXPECT_EQ(StatusLines(), lines);
  EXPECT_EQ(StatusLines().front(), "Writing to drive A: (1/1 of 80/2)");
  EXPECT_EQ(StatusLines().back(), "Writing to drive A: (80/2 of 80/2)");
  positions.insert(positions.begin(), "0");  // the reset at opening
  EXPECT_EQ(winapi::UiValues("DLGWRITE", IDC_PROGRESS, "pos"), positions);
  EXPECT_EQ(winapi::UiValues("DLGWRITE", IDC_PROGRESS, "range"),
            std::vector<std::string>{"0..160"});
}

// Cancel, Alt+F4 and a held Escape all stop the writer at one of its next
// events; no error box follows and the main dialog stays for another try.
TEST_F(ProgramWrite, StoppingMidWrite) {
  struct Stop {
    const char *name;
    std::function<void()> action;
    size_t tracksWritten;
  };
  const std::vector<Stop> stops = {
      // The click arrives at the next event, before track 6/2.
      {"Cancel", [] { winapi::ClickControl(IDCANCEL); }, 11},
      {"Alt+F4", winapi::PressAltF4, 11},
      // The key is down once its message is taken from the queue, at the
      // next event; the event after that sees it.
      {"held Escape", [] { winapi::HoldKey(VK_ESCAPE); }, 12},
  };
  for (const Stop &stop : stops) {
    SCOPED_TRACE(stop.name);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    SetUpDisk();
    user.WhenText("DLGWRITE", IDC_STATUS, StatusLine(6, 1), stop.action)
        .Do([] {
          EXPECT_TRUE(WritingDialogEnded());
          winapi::ReleaseKey(VK_ESCAPE);
        })
        .Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(GoodWrites(), stop.tracksWritten);
    EXPECT_EQ(sim::Pc().Count(sim::Call::Write), stop.tracksWritten);
  }
}

TEST_F(ProgramWrite, DriveNotReadyRetriedAfterInsertingADisk) {
  TPackageOptions options;
  UseProgram(MakeProgram(DiskWithFiles(), options));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
  // The disk leaves the drive while the image is unpacked.
  user.Click(IDC_WRITE_DISK)
      .WhenText("MAINDIALOG", 0, "Unpacking...", [] { sim::Pc().RemoveMedium('A'); })
      .Answer("Error", IDRETRY, [] { sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144())); })
      .Answer("Information", IDOK)
      .Click(IDC_WRITE_DISK)
      .Answer("Confirmation", IDYES)
      .WhenText("MAINDIALOG", 0, "Unpacking...", [] { sim::Pc().RemoveMedium('A'); })
      .Answer("Error", IDCANCEL)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  std::vector<winapi::TMessageBoxRecord> boxes = winapi::MessageBoxes();
  ASSERT_EQ(boxes.size(), 4u);
  for (size_t i : {0, 3}) {
    EXPECT_EQ(boxes[i].Text.rfind("Can't initialize drive A:.\r\n(", 0), 0u) << boxes[i].Text;
    EXPECT_GT(boxes[i].Text.size(), std::string("Can't initialize drive A:.\r\n()").size());
    EXPECT_EQ(boxes[i].Text.back(), ')');
    EXPECT_EQ(boxes[i].Flags, 0x15u);
    EXPECT_EQ(boxes[i].Owner, "DLGWRITE");
  }
  EXPECT_EQ(boxes[1].Caption + "|" + boxes[1].Text, kWritten);
  // After Cancel no further box: the writing dialog simply closed.
  EXPECT_EQ(sim::Pc().RemovedMedium('A')->bytes, DiskWithFiles());
}

TEST_F(ProgramWrite, FailedTrackAbortRetryIgnore) {
  const std::string failure = "Can't write track 6/2 to drive A:.\r\n(";
  const size_t failedTrack = 5 * 2 + 1;
  struct Case {
    int answer;
    int failures;
    const char *outcome;
  };
  for (const Case &answer :
       {Case{IDABORT, 100, ""}, Case{IDRETRY, 1, kWritten}, Case{IDIGNORE, 100, kWritten}}) {
    SCOPED_TRACE(answer.answer);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    SetUpDisk();
    sim::Pc().FailTrack('A', 5, 1, answer.failures, ERROR_CRC);
    user.Answer("Error", answer.answer);
    if (*answer.outcome) user.Answer("Information", IDOK);
    user.Do([] { EXPECT_TRUE(WritingDialogEnded()); }).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    std::vector<std::string> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes[0].rfind("Error|" + failure, 0), 0u) << boxes[0];
    EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x12u);
    ASSERT_EQ(boxes.size(), *answer.outcome ? 2u : 1u);
    const TBytes &disk = sim::Pc().MediumIn('A')->bytes;
    const TBytes &image = DiskWithFiles();
    TBytes before(image.begin(), image.begin() + failedTrack * kTrackBytes);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), disk.begin()));
    if (answer.answer == IDABORT) {
      EXPECT_EQ(GoodWrites(), failedTrack);
      EXPECT_TRUE(std::equal(disk.begin() + failedTrack * kTrackBytes, disk.end(),
                             EmptyDisk144().begin() + failedTrack * kTrackBytes));
    } else if (answer.answer == IDRETRY) {
      EXPECT_EQ(disk, image);
      EXPECT_EQ(StatusLines().size(), 161u) << "the retried track is announced again";
    } else {
      // The skipped track keeps what the disk held; the rest is written.
      EXPECT_EQ(GoodWrites(), 159u);
      EXPECT_TRUE(std::equal(disk.begin() + (failedTrack + 1) * kTrackBytes, disk.end(),
                             image.begin() + (failedTrack + 1) * kTrackBytes));
    }
  }
}

TEST_F(ProgramWrite, OddGeometryWarning) {
  const std::string typeWarning =
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?";
  const std::string driveWarning =
      "Warning|Drive A: seems not to be an ordinary 3.5\" floppy drive.\r\n"
      "Please make sure a 3.5\" 1.44 MB floppy disk is inserted!";
  for (int answer : {IDOK, IDCANCEL}) {
    SCOPED_TRACE(answer);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    SetUpDisk(sim::MakeMedium(2, 82, 2, 18, 512, EmptyDisk144()));
    user.Answer("Warning", IDYES).Answer("Warning", answer);
    if (answer == IDOK) user.Answer("Information", IDOK);
    user.Do([] { EXPECT_TRUE(WritingDialogEnded()); }).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    std::vector<std::string> expected = {typeWarning, driveWarning};
    if (answer == IDOK) expected.push_back(kWritten);
    EXPECT_EQ(Boxes(), expected);
    EXPECT_EQ(winapi::MessageBoxes()[1].Flags, 0x11u);
    if (answer == IDOK) {
      // The bar is sized anew for 80 x 2 tracks.
      EXPECT_EQ(winapi::UiValues("DLGWRITE", IDC_PROGRESS, "range"),
                (std::vector<std::string>{"0..164", "0..160"}));
      EXPECT_EQ(StatusLines().back(), "Writing to drive A: (80/2 of 80/2)");
      TBytes written(sim::Pc().MediumIn('A')->bytes.begin(),
                     sim::Pc().MediumIn('A')->bytes.begin() + 1474560);
      EXPECT_EQ(written, DiskWithFiles());
    } else {
      EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
    }
  }
}

}  // namespace
