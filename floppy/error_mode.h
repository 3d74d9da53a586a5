// Calls that can touch an empty or removed medium run inside one of these:
// the system then shows no critical-error box of its own ("There is no disk
// in the drive"), and the caller's error mode comes back afterwards.
#ifndef DISKARNO_FLOPPY_ERROR_MODE_H
#define DISKARNO_FLOPPY_ERROR_MODE_H

#include <windows.h>

class TErrorModeScope {
 public:
  TErrorModeScope() : previous_(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
  ~TErrorModeScope() { SetErrorMode(previous_); }
  TErrorModeScope(const TErrorModeScope &) = delete;
  TErrorModeScope &operator=(const TErrorModeScope &) = delete;

 private:
  UINT previous_;
};

#endif
