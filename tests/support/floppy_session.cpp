// The floppy test session and the scripted writer callback.
#include "floppy_session.h"

#include "app_errors.h"
#include "fat_image.h"
#include "floppy_io.h"
#include "host_control.h"
#include "kernel_object.h"

namespace testing_support {

namespace {

// The image helpers and the error table keep a block or two for the whole
// run once used; use them before any session counts heap blocks.
bool WarmUp() {
  AppErrorsStartup();
  FloppyIoStartup();
  FloppyIoShutdown();
  AppErrorsShutdown();
  return !MakeFatImage(737280, {}).empty();
}

}  // namespace

void FloppySession::SetUp() {
  static const bool warmedUp = WarmUp();
  (void)warmedUp;
  sim::Pc().Reset();
  SetLastError(0);
  handlesBefore_ = winapi::OpenHandleCount();
  heapBlocksBefore_ = winapi::GetHeapStats().liveBlocks;
}

void SetPlatform(TPlatform platform) {
  switch (platform) {
    case TPlatform::Nt:
      sim::Pc().SetWindowsNt();
      break;
    case TPlatform::Win95:
      sim::Pc().SetWindows95();
      break;
    case TPlatform::Win98:
      sim::Pc().SetWindows98();
      break;
    case TPlatform::WinMe:
      sim::Pc().SetWindowsMe();
      break;
  }
}

void FloppySession::UseErrorMode(UINT mode) {
  SetErrorMode(mode);
  errorMode_ = mode;
}

void FloppySession::Start(TPlatform platform) {
  if (platform != TPlatform::Nt) SetPlatform(platform);
  AppErrorsStartup();
  FloppyIoStartup();
  started_ = true;
}

void FloppySession::TearDown() {
  if (started_) {
    EXPECT_EQ(winapi::OpenHandleCount(), handlesBefore_) << "a device channel is still open";
    FloppyIoShutdown();
    AppErrorsShutdown();
  }
  EXPECT_EQ(winapi::OpenHandleCount(), handlesBefore_);
  EXPECT_EQ(sim::Pc().ErrorMode(), errorMode_) << "the process error mode was not restored";
  EXPECT_EQ(sim::Pc().CriticalErrorBoxes(), 0) << "the system showed its own critical-error box";
  EXPECT_EQ(sim::Pc().ContractViolations(), 0u) << "the device refused a call";
  EXPECT_EQ(sim::Pc().LiveIcons(), 0u);
  sim::Pc().Reset();  // gives back the machine's own blocks: drives, media, log
  EXPECT_EQ(winapi::GetHeapStats().liveBlocks, heapBlocksBefore_);
}

std::string PlatformName(const ::testing::TestParamInfo<TPlatform> &info) {
  switch (info.param) {
    case TPlatform::Nt:
      return "Nt";
    case TPlatform::Win95:
      return "Win95";
    case TPlatform::Win98:
      return "Win98";
    case TPlatform::WinMe:
      return "WinMe";
  }
  return "?";
}

void TWriterScript::Callback(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action) {
  TWriterScript &script = *reinterpret_cast<TWriterScript *>(userData);
  script.Events.push_back(
      TEvent{event, status.Cylinder, status.Head, status.Success, status.Error});
  if (event == kEventDriveReady && script.OnReady) script.OnReady(status);
  if (event == kEventDriveFailed && script.OnDriveFailed) script.OnDriveFailed();
  std::vector<LONG> &answers = script.Answers[event];
  size_t &used = script.Used[event];
  if (used < answers.size()) action = answers[used++];
}

std::vector<int> TWriterScript::EventKinds() const {
  std::vector<int> kinds;
  for (const TEvent &event : Events) kinds.push_back(event.Event);
  return kinds;
}

size_t TWriterScript::Count(int event) const {
  size_t count = 0;
  for (const TEvent &e : Events)
    if (e.Event == event) ++count;
  return count;
}

}  // namespace testing_support
