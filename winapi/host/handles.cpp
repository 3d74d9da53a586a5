// The handle table shared by files, devices and searches.
#include "kernel_object.h"

#include <cerrno>
#include <map>
#include <utility>

namespace winapi {

namespace {

struct HandleTable {
  std::map<uintptr_t, std::unique_ptr<KernelObject>> objects;
  uintptr_t next = 0x100;
};

HandleTable &Table() {
  static HandleTable table;
  return table;
}

BOOL Unsupported() {
  SetLastError(ERROR_INVALID_FUNCTION);
  return FALSE;
}

}  // namespace

BOOL KernelObject::Read(void *, DWORD, DWORD *) { return Unsupported(); }
BOOL KernelObject::Write(const void *, DWORD, DWORD *) { return Unsupported(); }
BOOL KernelObject::Seek(int64_t, DWORD, int64_t *) { return Unsupported(); }
BOOL KernelObject::Size(int64_t *) { return Unsupported(); }
BOOL KernelObject::Flush() { return Unsupported(); }
BOOL KernelObject::Control(DWORD, void *, DWORD, void *, DWORD, DWORD *) { return Unsupported(); }
BOOL KernelObject::FindNext(WIN32_FIND_DATAA *) { return Unsupported(); }

HANDLE RegisterObject(std::unique_ptr<KernelObject> object) {
  HandleTable &table = Table();
  uintptr_t value = table.next;
  table.next += 4;
  table.objects.emplace(value, std::move(object));
  return reinterpret_cast<HANDLE>(value);
}

KernelObject *LookupObject(HANDLE handle) {
  auto &objects = Table().objects;
  auto found = objects.find(reinterpret_cast<uintptr_t>(handle));
  if (found == objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return found->second.get();
}

size_t OpenHandleCount() { return Table().objects.size(); }

namespace {

// The one table between errno values and Win32 codes, read both ways: an
// errno gives its first code, a code its first errno.
struct ErrnoCode {
  int error;
  DWORD code;
};
const ErrnoCode kErrnoCodes[] = {
    {ENOENT, ERROR_FILE_NOT_FOUND},  {ENOENT, ERROR_PATH_NOT_FOUND},
    {ENOTDIR, ERROR_PATH_NOT_FOUND}, {EACCES, ERROR_ACCESS_DENIED},
    {EPERM, ERROR_ACCESS_DENIED},    {EISDIR, ERROR_ACCESS_DENIED},
    {EROFS, ERROR_WRITE_PROTECT},    {EEXIST, ERROR_FILE_EXISTS},
    {EEXIST, ERROR_ALREADY_EXISTS},  {ENOSPC, ERROR_DISK_FULL},
    {ENOMEM, ERROR_NOT_ENOUGH_MEMORY}, {EBADF, ERROR_INVALID_HANDLE},
    {EINVAL, ERROR_INVALID_PARAMETER}, {EIO, ERROR_GEN_FAILURE},
    {EBUSY, ERROR_SHARING_VIOLATION},
};

}  // namespace

DWORD ErrorFromErrno(int error) {
  for (const ErrnoCode &entry : kErrnoCodes)
    if (entry.error == error) return entry.code;
  return ERROR_GEN_FAILURE;
}

int ErrnoFromError(DWORD code) {
  for (const ErrnoCode &entry : kErrnoCodes)
    if (entry.code == code) return entry.error;
  return 0;
}

}  // namespace winapi

extern "C" BOOL WINAPI CloseHandle(HANDLE object) {
  auto &objects = winapi::Table().objects;
  auto found = objects.find(reinterpret_cast<uintptr_t>(object));
  if (found == objects.end()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  objects.erase(found);
  return TRUE;
}

extern "C" BOOL WINAPI FindClose(HANDLE find) { return CloseHandle(find); }
