// The program from its start to its end: corrupt packages, what the main
// dialog shows, the about box, and the ways out.
#include <gtest/gtest.h>

#include "media.h"
#include "resource.h"
#include "support/fat_image.h"
#include "support/program_scenario.h"

using namespace testing_support;

namespace {

const char kCorrupt[] = "Error|Corrupted file contents, please try to download again.";

class ProgramStart : public ProgramScenario {};

// The packages the program refuses: at start-up with the box and exit code
// 1, or on "Write disk" with the unpacker's error and nothing written. The
// tool's verbs run through the same table (diskarno_test.cpp).
TEST_F(ProgramStart, RefusedPackagesAtStartOrOnWriteDisk) {
  for (const TPackageCase &c : RefusedPackages(EmptyDisk144())) {
    SCOPED_TRACE(c.name);
    winapi::ResetUserInterface();
    sim::Pc().Reset();
    UseProgram(c.program);
    if (c.refusedAtStart) {
      user.Answer("Error", IDOK);
      EXPECT_EQ(RunProgram(), 1);
      EXPECT_EQ(Boxes(), std::vector<std::string>{kCorrupt});
      ASSERT_EQ(winapi::MessageBoxes().size(), 1u);
      EXPECT_EQ(winapi::MessageBoxes()[0].Owner, "") << "the box has no owner";
      EXPECT_EQ(winapi::MessageBoxes()[0].Flags, 0x10u);
      EXPECT_TRUE(winapi::UiEvents().empty()) << "no dialog is made";
      continue;
    }
    sim::Pc().AddFloppyDrive('A');
    sim::Pc().InsertMedium('A', sim::Floppy144(EmptyDisk144()));
    user.Click(IDC_WRITE_DISK).Answer("Error", IDOK).Click(IDC_CLOSE);
    EXPECT_EQ(RunProgram(), 0);
    EXPECT_EQ(Boxes(), std::vector<std::string>{"Error|" + c.writeError});
    EXPECT_EQ(sim::Pc().Count(sim::Call::Write), 0u);
  }
}

TEST_F(ProgramStart, MainDialogNamesTheDiskAndItsMedium) {
  TPackageOptions options;
  options.description = std::string(32, 'D');
  options.password = "secret";
  options.version = 2;  // tested only when the disk is written
  UseProgram(MakeProgram(EmptyDisk144(), options));
  sim::Pc().AddFloppyDrive('A');
  sim::Pc().AddFloppyDrive('B', sim::FloppyKind::F3_720);
  user.Do([] {
        HWND dialog = winapi::FindDialog("MAINDIALOG");
        EXPECT_EQ(winapi::WindowText(dialog), "Create a floppy disk");
        EXPECT_EQ(winapi::WindowText(GetDlgItem(dialog, IDC_DESCRIPTION)),
                  "This program creates the following disk:\n" + std::string(32, 'D') + " (" +
                      MediaTypeNames[kMediaF3_1Pt44] + ")");
        EXPECT_EQ(winapi::ComboItems(GetDlgItem(dialog, IDC_DRIVE)),
                  (std::vector<std::string>{"3\xBD Floppy (A:)", "3\xBD Floppy (B:)"}));
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DRIVE, CB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(SendDlgItemMessageA(dialog, IDC_DRIVE, CB_GETITEMDATA, 1, 0), 'B');
        EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_WRITE_DISK)));
        EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_PASSWORD));
        // Centred on the whole screen, not on the work area.
        RECT rect = winapi::WindowRect(dialog);
        EXPECT_EQ(rect.left, (1024 - (rect.right - rect.left)) / 2);
        EXPECT_EQ(rect.top, (768 - (rect.bottom - rect.top)) / 2);
      })
      .Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ProgramStart, AnEmptyDescriptionStartsWithTheMediumName) {
  TPackageOptions options;
  options.description = "";
  options.mediaType = kMediaF3_720;
  UseProgram(MakeProgram(MakeFatImage(737280, {}), options));
  user.Do([] {
        EXPECT_EQ(winapi::WindowText(GetDlgItem(winapi::FindDialog("MAINDIALOG"), IDC_DESCRIPTION)),
                  std::string("This program creates the following disk:\n (") +
                      MediaTypeNames[kMediaF3_720] + ")");
      })
      .CloseBox();
  EXPECT_EQ(RunProgram(), 0);
}

TEST_F(ProgramStart, AboutBoxNamesTheToolTheProjectItsMakersAndZlib) {
  UseProgram(MakeProgram(EmptyDisk144()));
  user.Click(IDC_ABOUT).Answer("About (version 11-24-2004)", IDOK).CloseBox();
  EXPECT_EQ(RunProgram(), 0);
  ASSERT_EQ(winapi::MessageBoxes().size(), 1u);
  const winapi::TMessageBoxRecord &about = winapi::MessageBoxes()[0];
  EXPECT_EQ(about.Owner, "MAINDIALOG");
  EXPECT_EQ(about.Flags, 0x40u);
  // Three blocks, lines ended by CR LF except the last.
  const std::string &text = about.Text;
  size_t first = text.find("\r\n\r\n"), second = text.find("\r\n\r\n", first + 4);
  ASSERT_NE(second, std::string::npos);
  std::string credits = text.substr(0, first), notice = text.substr(first + 4, second - first - 4),
              zlib = text.substr(second + 4);
  EXPECT_EQ(credits.substr(0, credits.find("\r\n")),
            "Made with diskarno pack, part of Diskarno SFX.");
  EXPECT_EQ(credits.find("://"), std::string::npos);
  EXPECT_NE(credits.find("2026"), std::string::npos);
  EXPECT_EQ(notice,
            "This software contains cryptographic algorithms. If the usage of those\r\n"
            "algorithms is not permitted in your country, you must not use\r\n"
            "this software!");
  EXPECT_NE(zlib.find("zlib"), std::string::npos);
  EXPECT_EQ(zlib.find("\r\n"), std::string::npos);
  EXPECT_NE(text.back(), '\n');
}

TEST_F(ProgramStart, EscapeIsIgnoredAndEveryWayOutEndsWithZero) {
  UseProgram(MakeProgram(EmptyDisk144()));
  sim::Pc().AddFloppyDrive('A');
  user.Press(VK_ESCAPE).Do([] { EXPECT_NE(winapi::FindDialog("MAINDIALOG"), nullptr); }).AltF4();
  EXPECT_EQ(RunProgram(), 0);
  winapi::ResetUserInterface();
  user.CloseBox();
  EXPECT_EQ(RunProgram(), 0);
  winapi::ResetUserInterface();
  user.Click(IDC_CLOSE);
  EXPECT_EQ(RunProgram(), 0);
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace
