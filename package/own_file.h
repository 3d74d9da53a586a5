// Opening and closing the file that carries a package, keeping the first
// failure's last error across the close.
#ifndef DISKARNO_PACKAGE_OWN_FILE_H
#define DISKARNO_PACKAGE_OWN_FILE_H

#include <windows.h>

#include <cstdint>

// A file opened for reading, shared for reading and writing with others. The
// handle is closed when the object goes, and the close leaves the thread's
// last error as it found it.
class TPackageFile {
 public:
  TPackageFile() = default;
  TPackageFile(const TPackageFile &) = delete;
  TPackageFile &operator=(const TPackageFile &) = delete;
  ~TPackageFile() { Close(); }

  // Opens the file (closing any file open before); false with the system's
  // code as the last error.
  bool Open(const char *path);
  bool Valid() const { return handle_ != INVALID_HANDLE_VALUE; }
  // The file's size in bytes, or -1 with the last error set.
  int64_t Size() const;
  // Seeks to offset and reads exactly count bytes in one request. A short
  // read that the system reports as success fails with 0xFF070001.
  bool ReadAt(DWORD offset, void *buffer, DWORD count);
  // Reads at most count bytes from the start; read receives how many came.
  bool ReadStart(void *buffer, DWORD count, DWORD &read);
  void Close();

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

#endif
