// The checks of "Write disk" before anything is written: password, drive,
// files on the disk, the medium, the disk type, and unpacking.
#include <gtest/gtest.h>

#include "resource.h"
#include "support/fat_image.h"
#include "support/program_scenario.h"

using namespace testing_support;

namespace {

const char kWritten[] = "Information|The disk has been written.";

class ProgramMainDialog : public ProgramScenario {
 protected:
  // A protected package of a disk with files, and drive A: with an empty disk.
  void SetUpProtected(TPackageOptions options = TPackageOptions()) {
    if (options.password.empty()) options.password = "secret";
    UseProgram(MakeProgram(DiskWithFiles(), options));
    sim::Pc().AddFloppyDrive('A');
    sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
  }
  static bool DiskUntouched() {
    return sim::Pc().MediumIn('A')->bytes == EmptyDisk144() &&
           sim::Pc().Count(sim::Call::Open) == 0;
  }
  static std::vector<std::string> Captions() { return winapi::UiValues("MAINDIALOG", 0, "text"); }
};

TEST_F(ProgramMainDialog, WrongPasswordSelectsTheTextAndLeavesTheDrive) {
  SetUpProtected();
  user.Type("wrong")
      .Click(IDC_WRITE_DISK)
      .Answer("Error", IDOK)
      .Do([] {
        HWND dialog = winapi::FindDialog("MAINDIALOG");
        HWND edit = GetDlgItem(dialog, IDC_PASSWORD);
        EXPECT_EQ(GetFocus(), edit);
        int start, end;
        winapi::EditSelection(edit, start, end);
        EXPECT_EQ(start, 0);
        EXPECT_EQ(end, 5);
        EXPECT_TRUE(DiskUntouched());
      })
      .Type("secret")  // replaces the selected text
      .Press(VK_RETURN)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(Boxes(), (std::vector<std::string>{"Error|Invalid password", kWritten}));
  EXPECT_EQ(winapi::MessageBoxes()[0].Owner, "MAINDIALOG");
  EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x10u);
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, DiskWithFiles());
}

TEST_F(ProgramMainDialog, AnEmptyPasswordIsTestedLikeAnyOther) {
  SetUpProtected();
  user.Click(IDC_WRITE_DISK).Answer("Error", IDOK).Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Error|Invalid password"});
  EXPECT_TRUE(DiskUntouched());
}

TEST_F(ProgramMainDialog, UnprotectedPackageHasNoPasswordField) {
  UseProgram(MakeProgram(DiskWithFiles()));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
  user.Do([] {
        HWND dialog = winapi::FindDialog("MAINDIALOG");
        EXPECT_EQ(GetDlgItem(dialog, IDC_PASSWORD), nullptr);
        EXPECT_EQ(GetDlgItem(dialog, IDC_PASSWORD_LABEL), nullptr);
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_DRIVE));
      })
      .Press(VK_RETURN)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_EQ(Boxes(), std::vector<std::string>{kWritten});
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, DiskWithFiles());
}

// A password check of 0 takes no password: the typed text is not tested,
// and the empty password that goes to the unpacker does not open the
// enciphered package.
TEST_F(ProgramMainDialog, PasswordCheckZeroIgnoresTheTypedText) {
  TPackageOptions options;
  options.passwordCheck = 0;
  SetUpProtected(options);
  user.Type("secret")
      .Click(IDC_WRITE_DISK)
      .Answer("Error", IDOK)
      .Do([] { EXPECT_NE(GetDlgItem(winapi::FindDialog("MAINDIALOG"), IDC_PASSWORD), nullptr); })
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(winapi::MessageBoxes().size(), 1u);
  EXPECT_NE(winapi::MessageBoxes()[0].Text.find("Invalid header in compressed image file"),
            std::string::npos);
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, EmptyDisk144());
}

TEST_F(ProgramMainDialog, FilesOnTheDiskAskBeforeOverwriting) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy144(DiskWithFiles()));
  const std::string question =
      "Confirmation|There seem to be some files on the floppy disk.\r\nOverwrite them ?";
  user.Click(IDC_WRITE_DISK)
      .Answer("Confirmation", IDNO)
      .Do([] {
        EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, DiskWithFiles());
        EXPECT_EQ(sim::Pc().Count(sim::Call::Open), 0u);
        EXPECT_EQ(Captions(), std::vector<std::string>()) << "nothing was unpacked";
      })
      .Click(IDC_WRITE_DISK)
      .Answer("Confirmation", IDYES)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(Boxes(), (std::vector<std::string>{question, question, kWritten}));
  EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x24u);
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, EmptyDisk144());
}

TEST_F(ProgramMainDialog, NoMediumIsNotReady) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().AddFloppyDrive('B');
  user.Select(IDC_DRIVE, 1).Click(IDC_WRITE_DISK).Answer("Error", IDOK).Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(Boxes(), std::vector<std::string>{"Error|Drive B: is not ready."});
  EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x10u);
}

TEST_F(ProgramMainDialog, DiskTypeWarningForAnotherCapacity) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().InsertMedium('A', sim::Floppy720(MakeFatImage(737280, {})));
  const std::string warning =
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?";
  user.Click(IDC_WRITE_DISK)
      .Answer("Warning", IDNO)
      .Do([] { EXPECT_TRUE(Captions().empty()) << "nothing was unpacked"; })
      .Click(IDC_WRITE_DISK)
      .Answer("Warning", IDYES)
      .Answer("Information", IDOK)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(Boxes(), (std::vector<std::string>{warning, warning, kWritten}));
  EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x34u);
  // Yes went on: the 720 KB disk takes what fits of the image.
  ASSERT_FALSE(Captions().empty());
  EXPECT_EQ(Captions().back(), "Create a disk");
  TBytes expected(EmptyDisk144().begin(), EmptyDisk144().begin() + 737280);
  EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, expected);
}

// The capacity check lets the image through (at once for the 120 MB
// drive, after the disk-type warning for a 2.88 MB disk); the writing dialog
// then finds no 3.5-inch 720 KB or 1.44 MB medium and says so once, without
// a second, generic error, and writes nothing.
TEST_F(ProgramMainDialog, A120MegabyteDriveTakesA144ImageButNotTheWriter) {
  const std::string typeWarning =
      "Warning|This file has been created for a different floppy disk type.\r\n"
      "Do you still want to write the disk ?";
  const std::string wrongMedium =
      "Error|In drive A: no 3.5\" 720 KB or 1.44 MB medium could be found.";
  struct Case {
    const char *name;
    sim::FloppyKind drive;
    sim::Medium medium;
    std::vector<std::string> boxes;
  };
  const Case cases[] = {
      {"LS-120", sim::FloppyKind::F3_1Pt44, sim::MakeMedium(13, 963, 8, 32, 512), {wrongMedium}},
      {"2.88 MB",
       sim::FloppyKind::F3_2Pt88,
       sim::MakeMedium(3, 80, 2, 36, 512),
       {typeWarning, wrongMedium}},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    UseProgram(MakeProgram(EmptyDisk144()));
    sim::Pc().AddFloppyDrive('A', c.drive);
    sim::Pc().InsertMedium('A', c.medium);
    user.Click(IDC_WRITE_DISK);
    if (c.boxes.size() > 1) user.Answer("Warning", IDYES);
    user.Answer("Error", IDOK).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(Boxes(), c.boxes);
    EXPECT_EQ(winapi::MessageBoxes().back().Owner, "DLGWRITE");
    EXPECT_EQ(winapi::MessageBoxes().back().Flags, 0x10u);
    EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
    EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, c.medium.bytes);
  }
}

TEST_F(ProgramMainDialog, UnpackingFailuresShowTheirTextAndChangeTheCaption) {
  // More failures and their texts: RefusedPackagesAtStartOrOnWriteDisk.
  TPackageOptions badChecksum, badStream;
  badChecksum.dataCrc = 0x12345678;
  badStream.payload = TBytes(5000, 0x55);
  const std::vector<std::pair<TPackageOptions, std::string>> cases = {
      {badChecksum, "Invalid data in image file"},
      {badStream, "[ZLib]"},
  };
  for (const auto &failure : cases) {
    SCOPED_TRACE(failure.second);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    UseProgram(MakeProgram(EmptyDisk144(), failure.first));
    sim::Pc().AddFloppyDrive('A');
    sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
    user.Click(IDC_WRITE_DISK).Answer("Error", IDOK).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    ASSERT_EQ(winapi::MessageBoxes().size(), 1u);
    EXPECT_NE(winapi::MessageBoxes()[0].Text.find(failure.second), std::string::npos)
        << winapi::MessageBoxes()[0].Text;
    EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x10u);
    std::vector<std::string> captions = Captions();
    ASSERT_FALSE(captions.empty());
    EXPECT_EQ(captions.front(), "Loading...");
    EXPECT_EQ(captions.back(), "Create a disk");
    EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
  }
}

TEST_F(ProgramMainDialog, NoRemovableDriveKeepsWriteDiskDisabled) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
  user.Do([] {
        HWND dialog = winapi::FindDialog("MAINDIALOG");
        EXPECT_TRUE(winapi::ComboItems(GetDlgItem(dialog, IDC_DRIVE)).empty());
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_WRITE_DISK)));
      })
      .Click(IDC_WRITE_DISK)
      .Press(VK_RETURN)
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(Captions().empty());
}

TEST_F(ProgramMainDialog, ADriveOtherThanAOrBDoesNothing) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().AddDrive('E', DRIVE_REMOVABLE, "Removable Disk (E:)");
  user.Select(IDC_DRIVE, 1).Click(IDC_WRITE_DISK).Press(VK_RETURN).Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(Captions().empty());
  EXPECT_TRUE(sim::Pc().Log().empty());
}

}  // namespace
