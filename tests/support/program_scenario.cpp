// The whole-program scenario fixture.
#include "program_scenario.h"

#include <string>

#include "fat_image.h"
#include "host_control.h"
#include "kernel_object.h"
#include "program_state.h"
#include "startup.h"

namespace testing_support {

namespace {

// Records of the dialogs and boxes stay alive after the run; anything the
// size of a disk image does not.
constexpr size_t kHeapSlack = 256 * 1024;

std::string ProgramPath() {
  static int count = 0;
  return TempFolder() + "/program" + std::to_string(++count) + ".exe";
}

}  // namespace

void ProgramScenario::SetUp() {
  ASSERT_TRUE(winapi::LoadResources(DK_BINARY_DIR "/resources/app.res"));
  winapi::ResetUserInterface();
  sim::Pc().Reset();
  SetLastError(0);
  handlesBefore_ = winapi::OpenHandleCount();
}

void ProgramScenario::TearDown() {
  winapi::ResetUserInterface();
}

void ProgramScenario::UseProgram(const TBytes &program) {
  std::string path = ProgramPath();
  ASSERT_TRUE(WriteBytes(path, program));
  ASSERT_TRUE(winapi::SetModuleFile(path));
}

int ProgramScenario::RunProgram() {
  heapBytesBefore_ = winapi::GetHeapStats().liveBytes;
  int exitCode = ProgramMain(GetModuleHandleA(nullptr));
  EXPECT_EQ(winapi::UserProblems(), std::vector<std::string>());
  EXPECT_EQ(winapi::RemainingSteps(), 0u) << "steps of the script were not taken";
  EXPECT_EQ(winapi::OpenHandleCount(), handlesBefore_);
  EXPECT_EQ(Program.Image, nullptr);
  EXPECT_LT(winapi::GetHeapStats().liveBytes, heapBytesBefore_ + kHeapSlack);
  EXPECT_EQ(sim::Pc().ContractViolations(), 0u);
  return exitCode;
}

const TBytes &ProgramScenario::EmptyDisk144() {
  static const TBytes disk = MakeFatImage(1474560, {}, "EMPTY");
  return disk;
}

const TBytes &ProgramScenario::DiskWithFiles() {
  static const TBytes disk = MakeFatImage(
      1474560, {{"README.TXT", "Read me first.\r\n"}, {"SETUP.INI", std::string(40000, 'x')}},
      "DISKARNO");
  return disk;
}

std::vector<std::string> ProgramScenario::Boxes() {
  std::vector<std::string> lines;
  for (const winapi::TMessageBoxRecord &box : winapi::MessageBoxes())
    lines.push_back(box.Caption + "|" + box.Text);
  return lines;
}

}  // namespace testing_support
