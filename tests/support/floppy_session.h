// A test session on the simulated PC with the FloppyIO layer started, and
// the checks that every floppy test ends with: no handle left open, the
// process error mode as it was, no critical-error box of the system's, no
// heap block left, no broken device contract.
#ifndef DISKARNO_TESTS_SUPPORT_FLOPPY_SESSION_H
#define DISKARNO_TESTS_SUPPORT_FLOPPY_SESSION_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image_writer.h"
#include "sim_pc.h"

namespace testing_support {

// Windows XP; 95 (no FAT32 services); 98 and Me (FAT32 services).
enum class TPlatform { Nt, Win95, Win98, WinMe };
constexpr TPlatform kEveryPlatform[] = {TPlatform::Nt, TPlatform::Win95, TPlatform::Win98,
                                        TPlatform::WinMe};

// Makes the simulated PC run that Windows.
void SetPlatform(TPlatform platform);
// "Nt", "Win95", "Win98", "WinMe": names for parameterised tests.
std::string PlatformName(const ::testing::TestParamInfo<TPlatform> &info);

class FloppySession : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // Sets the platform, then starts the error table and the FloppyIO layer.
  void Start(TPlatform platform);
  // The process error mode the test starts with and must end with.
  void UseErrorMode(UINT mode);

 private:
  UINT errorMode_ = 0;
  size_t handlesBefore_ = 0;
  size_t heapBlocksBefore_ = 0;
  bool started_ = false;
};

// One event of WriteImage as the callback saw it.
struct TEvent {
  int Event;
  LONG Cylinder;
  LONG Head;
  BYTE Success;
  DWORD Error;
};

// A WriteImage callback that records every event and answers from a script
// per event (the preset stands once a script runs out).
struct TWriterScript {
  std::vector<TEvent> Events;
  std::vector<LONG> Answers[4];
  size_t Used[4] = {};
  // Called at event 0, for example to change the geometry.
  void (*OnReady)(TWriteStatus &status) = nullptr;
  // Called at every event 1, for example to insert a medium.
  void (*OnDriveFailed)() = nullptr;

  static void Callback(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action);
  ULONG_PTR UserData() { return reinterpret_cast<ULONG_PTR>(this); }
  std::vector<int> EventKinds() const;
  size_t Count(int event) const;
};

}  // namespace testing_support

#endif
