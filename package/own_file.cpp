// The package file: one open, exact reads, a close that keeps the last error.
#include "own_file.h"

#include "last_error.h"
#include "package_format.h"

bool TPackageFile::Open(const char *path) {
  Close();
  handle_ = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                        OPEN_EXISTING, 0, nullptr);
  return Valid();
}

int64_t TPackageFile::Size() const {
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(handle_, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return -1;
  return static_cast<int64_t>((static_cast<uint64_t>(high) << 32) | low);
}

bool TPackageFile::ReadAt(DWORD offset, void *buffer, DWORD count) {
  // The offset is below 2 GiB here: larger ones are rejected before any read.
  if (SetFilePointer(handle_, static_cast<LONG>(offset), nullptr, FILE_BEGIN) ==
          INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return false;
  DWORD read = 0;
  SetLastError(NO_ERROR);
  if (!ReadFile(handle_, buffer, count, &read, nullptr)) return false;
  if (read == count) return true;
  // A short read at the end of the file is no system failure, but it must
  // never reach the user as success.
  if (GetLastError() == NO_ERROR) SetLastError(kErrorInvalidImageFile);
  return false;
}

bool TPackageFile::ReadStart(void *buffer, DWORD count, DWORD &read) {
  read = 0;
  if (SetFilePointer(handle_, 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR)
    return false;
  return ReadFile(handle_, buffer, count, &read, nullptr) != FALSE;
}

void TPackageFile::Close() {
  if (handle_ == INVALID_HANDLE_VALUE) return;
  TLastErrorKeeper keeper;
  CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}
