// Keeping the error that matters: cleanup after a failure must not replace
// the thread's last error with its own.
#ifndef DISKARNO_COMMON_LAST_ERROR_H
#define DISKARNO_COMMON_LAST_ERROR_H

#include <windows.h>

// Saves the thread's last error when made and puts it back when it goes.
class TLastErrorKeeper {
 public:
  TLastErrorKeeper() : error_(GetLastError()) {}
  ~TLastErrorKeeper() { SetLastError(error_); }
  // Puts back this error instead.
  void Keep(DWORD error) { error_ = error; }
  TLastErrorKeeper(const TLastErrorKeeper &) = delete;
  TLastErrorKeeper &operator=(const TLastErrorKeeper &) = delete;

 private:
  DWORD error_;
};

// Sets the last error to code unless a failure before already set one: a
// failure must never reach the user as "The operation completed
// successfully".
inline void SetErrorIfNone(DWORD code) {
  if (GetLastError() == NO_ERROR) SetLastError(code);
}

#endif
