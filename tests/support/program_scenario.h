// Whole-program scenarios on the simulated PC: a program file with a package
// appended becomes the running module, the scripted user drives the dialogs,
// and ProgramMain runs as WinMain would run it.
//
//   UseProgram(MakeProgram(image, options));
//   sim::Pc().AddFloppyDrive('A');
//   user.Type("secret").Click(IDC_WRITE_DISK).Answer("Information", IDOK).Click(IDC_CLOSE);
//   EXPECT_EQ(RunProgram(), 0);
#ifndef DISKARNO_TESTS_SUPPORT_PROGRAM_SCENARIO_H
#define DISKARNO_TESTS_SUPPORT_PROGRAM_SCENARIO_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "package_builder.h"
#include "sim_pc.h"
#include "sim_user.h"

namespace testing_support {

class ProgramScenario : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Writes the program to a fresh file and makes it the running module.
  void UseProgram(const TBytes &program);
  // Runs the program's entry and checks what every run must leave behind:
  // the script used up without problems, no handle open, no image kept.
  int RunProgram();

  // A formatted, empty 1.44 MB disk, and one holding a few files.
  static const TBytes &EmptyDisk144();
  static const TBytes &DiskWithFiles();

  // The message boxes as "caption|text" lines, in order.
  static std::vector<std::string> Boxes();

  winapi::ScriptedUser user;

 private:
  size_t handlesBefore_ = 0;
  size_t heapBytesBefore_ = 0;
};

}  // namespace testing_support

#endif
