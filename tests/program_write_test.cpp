// Writing a disk through the whole program: the progress dialog, its
// status lines, stopping, and the answers to the writer's events.
#include <gtest/gtest.h>

#include "resource.h"
#include "support/fat_image.h"
#include "support/floppy_session.h"
#include "support/program_scenario.h"
#include "status.h"
#include "tool.h"

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

class ProgramWriteOnEveryPlatform : public ProgramWrite,
                                    public testing::WithParamInterface<TPlatform> {};

TEST_P(ProgramWriteOnEveryPlatform, GoodPackageIsWrittenAndAnotherDiskCanFollow) {
  SetPlatform(GetParam());
  // COMCTL32 of the first Windows 95 has no InitCommonControlsEx; on Me it fails here.
  if (GetParam() == TPlatform::Win95) winapi::SetCommonControlsVersion(4, 0);
  if (GetParam() == TPlatform::WinMe) winapi::FailCommonControlsEx();
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
  ASSERT_EQ(Boxes(), (std::vector<std::string>{
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

INSTANTIATE_TEST_SUITE_P(Platforms, ProgramWriteOnEveryPlatform, testing::ValuesIn(kEveryPlatform),
                         PlatformName);

TEST_F(ProgramWrite, EveryStatusLineOfA144Disk) {
  user.Press(VK_ESCAPE);  // let go before writing: its toggle bit does not stop it
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
  ASSERT_EQ(StatusLines(), lines);
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
  ASSERT_NE(sim::Pc().RemovedMedium('A'), nullptr);
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

// A drive whose geometry is not the standard one of its 3.5" medium: the
// warning names the medium the drive reports (1.44 MB or 720 KB), OK writes
// along the standard geometry, Cancel writes nothing.
TEST_F(ProgramWrite, OddGeometryWarning) {
  const std::string typeWarning =
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?";
  const std::string oddDrive =
      "Warning|Drive A: seems not to be an ordinary 3.5\" floppy drive.\r\n";
  struct Medium {
    DWORD mediaType;
    DWORD sectors;
    const char *insert;
    size_t written;  // bytes of the image on the disk after OK
  };
  const Medium media[] = {
      {kMediaF3_1Pt44, 18, "Please make sure a 3.5\" 1.44 MB floppy disk is inserted!", 1474560},
      {kMediaF3_720, 9, "Please make sure a 3.5\" 720 KB floppy disk is inserted!", 737280},
  };
  for (const Medium &medium : media) {
    for (int answer : {IDOK, IDCANCEL}) {
      SCOPED_TRACE(std::string(medium.insert) + " " + std::to_string(answer));
      winapi::ResetUserInterface();
      sim::Pc().Reset();
      SetUpDisk(sim::MakeMedium(medium.mediaType, 82, 2, medium.sectors, 512, EmptyDisk144()));
      user.Answer("Warning", IDYES).Answer("Warning", answer);
      if (answer == IDOK) user.Answer("Information", IDOK);
      user.Do([] { EXPECT_TRUE(WritingDialogEnded()); }).Click(IDC_CLOSE);
      EXPECT_EQ(RunProgram(), 0);
      std::vector<std::string> expected = {typeWarning, oddDrive + medium.insert};
      if (answer == IDOK) expected.push_back(kWritten);
      ASSERT_EQ(Boxes(), expected);
      EXPECT_EQ(winapi::MessageBoxes()[1].Flags, 0x11u);
      if (answer == IDOK) {
        // The bar is sized anew for 80 x 2 tracks.
        EXPECT_EQ(winapi::UiValues("DLGWRITE", IDC_PROGRESS, "range"),
                  (std::vector<std::string>{"0..164", "0..160"}));
        ASSERT_FALSE(StatusLines().empty());
        EXPECT_EQ(StatusLines().back(), "Writing to drive A: (80/2 of 80/2)");
        const TBytes &disk = sim::Pc().MediumIn('A')->bytes;
        ASSERT_GE(disk.size(), medium.written);
        EXPECT_TRUE(
            std::equal(disk.begin(), disk.begin() + medium.written, DiskWithFiles().begin()));
        EXPECT_EQ(GoodWrites(), 160u);
      } else {
        EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
      }
    }
  }
}

// Not SEM_FAILCRITICALERRORS: a call that touches the drive outside the
// floppy layer's own error mode would show the system's "no disk" box, and
// the mode given back is told apart from 0 and from the layer's.
constexpr UINT kCallerErrorMode = SEM_NOOPENFILEERRORBOX;

const char kNotReady[] = "Error|Drive A: is not ready.";
const char kCantInitialize[] = "Error|Can't initialize drive A:.\r\n(The device is not ready)";

// Drives without a disk, with one that comes late, with one pulled out
// while tracks are written, with a protected one: the system never puts up
// a critical-error box of its own, and the program ends with the error mode
// it started with.
class ProgramWriteWithoutSystemBoxes : public ProgramWrite,
                                       public testing::WithParamInterface<TPlatform> {};

TEST_P(ProgramWriteWithoutSystemBoxes, DiskMissingLateRemovedOrProtected) {
  struct Case {
    const char *name;
    std::function<void(winapi::ScriptedUser &)> script;
    std::vector<std::string> boxes;
    bool onlyWin9x;
  };
  // The user puts the same disk back.
  auto insertDisk = [] { sim::Pc().InsertMedium('A', std::move(*sim::Pc().RemovedMedium('A'))); };
  const std::vector<Case> cases = {
      {"no disk",
       [](winapi::ScriptedUser &user) {
         sim::Pc().RemoveMedium('A');
         user.Answer("Error", IDOK);
       },
       {kNotReady},
       false},
      {"disk inserted after not ready, then again after Retry",
       [&](winapi::ScriptedUser &user) {
         sim::Pc().RemoveMedium('A');
         user.Answer("Error", IDOK, insertDisk)
             .Click(IDC_WRITE_DISK)
             .WhenText("MAINDIALOG", 0, "Unpacking...", [] { sim::Pc().RemoveMedium('A'); })
             .Answer("Error", IDRETRY, insertDisk)
             .Answer("Information", IDOK);
       },
       {kNotReady, kCantInitialize, kWritten},
       false},
      {"disk removed while writing",
       [](winapi::ScriptedUser &user) {
         sim::Pc().RemoveMediumAfterWrites('A', 25);
         user.Answer("Error", IDRETRY).Answer("Error", IDABORT);
       },
       {"Error|Can't write track 13/2 to drive A:.\r\n(The device is not ready)",
        "Error|Can't write track 13/2 to drive A:.\r\n(The device is not ready)"},
       false},
      {"write-protected disk",
       [](winapi::ScriptedUser &user) {
         sim::Pc().SetWriteProtected('A', true);
         user.Answer("Error", IDABORT);
       },
       {"Error|Can't write track 1/1 to drive A:.\r\n(The media is write protected)"},
       false},
      // INT 26h AL 03h (unknown command) counts as a protected disk, as AL 00h does.
      {"write-protected disk answering unknown command",
       [](winapi::ScriptedUser &user) {
         sim::Pc().FailTrack('A', 0, 0, 1000, ERROR_BAD_COMMAND);
         user.Answer("Error", IDABORT);
       },
       {"Error|Can't write track 1/1 to drive A:.\r\n(The media is write protected)"},
       true},
  };
  for (const Case &c : cases) {
    if (c.onlyWin9x && GetParam() == TPlatform::Nt) continue;
    SCOPED_TRACE(c.name);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    SetPlatform(GetParam());
    SetErrorMode(kCallerErrorMode);
    SetUpDisk();
    c.script(user);
    user.Do([] { EXPECT_EQ(winapi::FindDialog("DLGWRITE"), nullptr); }).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(sim::Pc().CriticalErrorBoxes(), 0);
    EXPECT_EQ(sim::Pc().ErrorMode(), kCallerErrorMode);
  }
}

INSTANTIATE_TEST_SUITE_P(Platforms, ProgramWriteWithoutSystemBoxes,
                         testing::ValuesIn(kEveryPlatform), PlatformName);

// When the writer fails with no event of its own, the generic error box
// names its reason; nothing written is never "The disk has been written.".
TEST_F(ProgramWrite, NothingWrittenShowsTheWritersError) {
  const std::string typeWarning =
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?";
  const std::string tooSmall = "Error|Buffer too small.";
  struct Case {
    const char *name;
    TBytes image;
    sim::Medium medium;
    int driveWarnings;  // the odd-geometry warnings answered OK
  };
  const Case cases[] = {
      {"image smaller than one track",
       TBytes(EmptyDisk144().begin(), EmptyDisk144().begin() + 4096),
       sim::Floppy144(EmptyDisk144()), 0},
      // The one-sector disk takes the standard geometry at the drive
      // warning; cut to its 512 bytes, the image holds no whole track.
      {"disk smaller than one track", EmptyDisk144(), sim::MakeMedium(kMediaF3_1Pt44, 1, 1, 1, 512),
       1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    UseProgram(MakeProgram(c.image));
    sim::Pc().AddFloppyDrive('A');
    sim::Pc().InsertMedium('A', c.medium);
    TBytes before = c.medium.bytes;
    user.Click(IDC_WRITE_DISK).Answer("Warning", IDYES);
    for (int i = 0; i < c.driveWarnings; ++i) user.Answer("Warning", IDOK);
    user.Answer("Error", IDOK).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    std::vector<std::string> boxes = Boxes();
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.front(), typeWarning);
    EXPECT_EQ(boxes.back(), tooSmall);
    EXPECT_EQ(boxes.size(), 2u + c.driveWarnings);
    EXPECT_EQ(winapi::MessageBoxes().back().Flags, 0x10u);
    EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
    EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, before);
  }
}

// Ignore on every failing track leaves the disk as it was and still ends
// with "The disk has been written.", as the writer reports success. The
// image is ten tracks long, so that ten boxes stand for every track.
TEST_F(ProgramWrite, IgnoreOnEveryFailingTrack) {
  const size_t tracks = 10;
  UseProgram(
      MakeProgram(TBytes(DiskWithFiles().begin(), DiskWithFiles().begin() + tracks * kTrackBytes)));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
  sim::Pc().SetWriteProtected('A', true);
  user.Click(IDC_WRITE_DISK)
      .Answer("Warning", IDYES)
      .AlwaysAnswer("Error", IDIGNORE)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  std::vector<std::string> expected = {
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?"};
  for (size_t track = 0; track < tracks; ++track)
    expected.push_back("Error|Can't write track " + std::to_string(track / 2 + 1) + "/" +
                       std::to_string(track % 2 + 1) +
                       " to drive A:.\r\n(The media is write protected)");
  expected.push_back(kWritten);
  EXPECT_EQ(Boxes(), expected);
  EXPECT_EQ(GoodWrites(), 0u);
  EXPECT_EQ(sim::Pc().Count(sim::Call::Write), tracks) << "each track tried once";
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, EmptyDisk144());
}

// The longest password the field hands on (254 characters) goes from the
// packer through the program to the written disk. Typing fills the
// non-scrolling field only as far as it is wide; a longer text arrives as
// WM_SETTEXT does, for example from a password manager.
TEST_F(ProgramWrite, LongestPasswordEndToEnd) {
  std::string password;
  for (int i = 0; i < 254; ++i) password += static_cast<char>('!' + i % 94);
  const std::string folder = TempFolder();
  const std::string imagePath = folder + "/longest_password.img";
  const std::string stubPath = folder + "/longest_password_stub.exe";
  const std::string programPath = folder + "/longest_password.exe";
  ASSERT_TRUE(WriteBytes(imagePath, DiskWithFiles()));
  ASSERT_TRUE(WriteBytes(stubPath, MakeStub()));
  TToolOutput output;
  ASSERT_EQ(
      RunTool({"pack", imagePath, "-o", programPath, "--stub", stubPath, "--password", password},
              output),
      kExitSuccess)
      << output.err;
  UseProgram(ReadBytes(programPath));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
  user.Do(
          [&] {
            HWND edit = GetDlgItem(winapi::FindDialog("MAINDIALOG"), IDC_PASSWORD);
            SetWindowTextA(edit, password.c_str());
          },
          "put the password in")
      .Click(IDC_WRITE_DISK)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{kWritten});
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, DiskWithFiles());
}

}  // namespace
