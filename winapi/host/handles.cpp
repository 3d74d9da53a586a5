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

DWORD ErrorFromErrno(int error) {
  switch (error) {
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_WRITE_PROTECT;
    case EEXIST:
      return ERROR_FILE_EXISTS;
    case ENOSPC:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    default:
      return ERROR_GEN_FAILURE;
  }
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
