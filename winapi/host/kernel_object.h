// The stand-in's handle table: every HANDLE names a KernelObject. The host
// half uses it for files; the simulated PC adds devices and searches.
#ifndef DISKARNO_WINAPI_HOST_KERNEL_OBJECT_H
#define DISKARNO_WINAPI_HOST_KERNEL_OBJECT_H

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace winapi {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Each operation fails with ERROR_INVALID_FUNCTION unless the object has it.
  virtual BOOL Read(void *buffer, DWORD size, DWORD *read);
  virtual BOOL Write(const void *buffer, DWORD size, DWORD *written);
  virtual BOOL Seek(int64_t distance, DWORD method, int64_t *position);
  virtual BOOL Size(int64_t *size);
  virtual BOOL Flush();
  virtual BOOL Control(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize,
                       DWORD *returned);
  virtual BOOL FindNext(WIN32_FIND_DATAA *data);
};

// Takes ownership and returns the new handle (never NULL or INVALID_HANDLE_VALUE).
HANDLE RegisterObject(std::unique_ptr<KernelObject> object);
// The object behind a handle, or nullptr (last error ERROR_INVALID_HANDLE).
KernelObject *LookupObject(HANDLE handle);
// Handles open now; tests assert that none leak.
size_t OpenHandleCount();

// A device path (\\.\NAME) goes to this opener when one is set. It returns
// INVALID_HANDLE_VALUE with the last error set when it refuses.
using DeviceOpener = std::function<HANDLE(const std::string &path, DWORD access, DWORD share,
                                          DWORD creation, DWORD flags)>;
void SetDeviceOpener(DeviceOpener opener);

// Maps a POSIX errno value to the Win32 code the system would report.
DWORD ErrorFromErrno(int error);

}  // namespace winapi

#endif
