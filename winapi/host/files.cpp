// Files over POSIX: CreateFileA on a path, ReadFile, WriteFile, SetFilePointer,
// GetFileSize, and the device paths that the simulated PC may take over.
#include "host_control.h"
#include "kernel_object.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace winapi {

namespace {

DeviceOpener &Opener() {
  static DeviceOpener opener;
  return opener;
}

size_t flushes = 0;

class PosixFile : public KernelObject {
 public:
  PosixFile(int descriptor, DWORD access, bool deleteOnClose, std::string path)
      : descriptor_(descriptor), access_(access), deleteOnClose_(deleteOnClose),
        path_(std::move(path)) {}
  ~PosixFile() override {
    close(descriptor_);
    if (deleteOnClose_) unlink(path_.c_str());
  }

  BOOL Read(void *buffer, DWORD size, DWORD *read) override {
    if (!(access_ & GENERIC_READ)) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    while (done < size) {
      ssize_t got = ::read(descriptor_, static_cast<char *>(buffer) + done, size - done);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Fail(ErrorFromErrno(errno));
      if (got == 0) break;
      done += static_cast<DWORD>(got);
    }
    if (read) *read = done;
    return TRUE;
  }

  BOOL Write(const void *buffer, DWORD size, DWORD *written) override {
    if (!(access_ & GENERIC_WRITE)) return Fail(ERROR_ACCESS_DENIED);
    DWORD done = 0;
    while (done < size) {
      ssize_t put = ::write(descriptor_, static_cast<const char *>(buffer) + done, size - done);
      if (put < 0 && errno == EINTR) continue;
      if (put < 0) return Fail(ErrorFromErrno(errno));
      done += static_cast<DWORD>(put);
    }
    if (written) *written = done;
    return TRUE;
  }

  BOOL Seek(int64_t distance, DWORD method, int64_t *position) override {
    int whence = method == FILE_BEGIN ? SEEK_SET : method == FILE_CURRENT ? SEEK_CUR : SEEK_END;
    off_t current = lseek(descriptor_, 0, SEEK_CUR);
    off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? current : SizeNow();
    if (base + distance < 0) return Fail(131);  // ERROR_NEGATIVE_SEEK
    off_t result = lseek(descriptor_, static_cast<off_t>(distance), whence);
    if (result < 0) return Fail(ErrorFromErrno(errno));
    if (position) *position = result;
    return TRUE;
  }

  BOOL Size(int64_t *size) override {
    struct stat info;
    if (fstat(descriptor_, &info) != 0) return Fail(ErrorFromErrno(errno));
    *size = info.st_size;
    return TRUE;
  }

  BOOL Flush() override {
    if (fsync(descriptor_) != 0 && errno != EINVAL) return Fail(ErrorFromErrno(errno));
    return TRUE;
  }

 private:
  static BOOL Fail(DWORD code) {
    SetLastError(code);
    return FALSE;
  }
  off_t SizeNow() const {
    struct stat info;
    return fstat(descriptor_, &info) == 0 ? info.st_size : 0;
  }

  int descriptor_;
  DWORD access_;
  bool deleteOnClose_;
  std::string path_;
};

}  // namespace

void SetDeviceOpener(DeviceOpener opener) { Opener() = std::move(opener); }

size_t FlushCount() { return flushes; }

}  // namespace winapi

using winapi::KernelObject;
using winapi::LookupObject;

extern "C" HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD access, DWORD shareMode,
                                     LPSECURITY_ATTRIBUTES, DWORD creation, DWORD flags,
                                     HANDLE) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  std::string path(fileName);
  if (path.rfind("\\\\.\\", 0) == 0) {
    if (winapi::Opener()) return winapi::Opener()(path, access, shareMode, creation, flags);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  int mode = (access & GENERIC_WRITE) ? ((access & GENERIC_READ) ? O_RDWR : O_WRONLY) : O_RDONLY;
  switch (creation) {
    case CREATE_NEW:
      mode |= O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS:
      mode |= O_CREAT | O_TRUNC;
      break;
    case OPEN_ALWAYS:
      mode |= O_CREAT;
      break;
    case TRUNCATE_EXISTING:
      mode |= O_TRUNC;
      break;
    case OPEN_EXISTING:
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return INVALID_HANDLE_VALUE;
  }
  int descriptor = open(fileName, mode | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    SetLastError(winapi::ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  struct stat info;
  if (fstat(descriptor, &info) == 0 && S_ISDIR(info.st_mode)) {
    close(descriptor);
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  bool deleteOnClose = (flags & FILE_FLAG_DELETE_ON_CLOSE) != 0;
  return winapi::RegisterObject(
      std::make_unique<winapi::PosixFile>(descriptor, access, deleteOnClose, path));
}

extern "C" BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                                LPOVERLAPPED) {
  if (read) *read = 0;
  KernelObject *object = LookupObject(file);
  return object ? object->Read(buffer, toRead, read) : FALSE;
}

extern "C" BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                 LPOVERLAPPED) {
  if (written) *written = 0;
  KernelObject *object = LookupObject(file);
  return object ? object->Write(buffer, toWrite, written) : FALSE;
}

extern "C" DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, PLONG distanceHigh,
                                       DWORD method) {
  KernelObject *object = LookupObject(file);
  if (!object) return INVALID_SET_FILE_POINTER;
  int64_t move = distanceHigh
                     ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                            static_cast<uint32_t>(distance))
                     : static_cast<int64_t>(distance);
  int64_t position = 0;
  if (!object->Seek(move, method, &position)) return INVALID_SET_FILE_POINTER;
  if (distanceHigh) *distanceHigh = static_cast<LONG>(position >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(position);
}

extern "C" DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh) {
  KernelObject *object = LookupObject(file);
  int64_t size = 0;
  if (!object || !object->Size(&size)) return INVALID_FILE_SIZE;
  if (sizeHigh) *sizeHigh = static_cast<DWORD>(static_cast<uint64_t>(size) >> 32);
  SetLastError(NO_ERROR);
  return static_cast<DWORD>(size);
}

extern "C" BOOL WINAPI GetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
  KernelObject *object = LookupObject(file);
  int64_t value = 0;
  if (!object || !object->Size(&value)) return FALSE;
  size->QuadPart = value;
  return TRUE;
}

extern "C" BOOL WINAPI FlushFileBuffers(HANDLE file) {
  KernelObject *object = LookupObject(file);
  if (!object || !object->Flush()) return FALSE;
  ++winapi::flushes;
  return TRUE;
}

extern "C" BOOL WINAPI DeleteFileA(LPCSTR fileName) {
  if (unlink(fileName) != 0) {
    SetLastError(winapi::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}

extern "C" BOOL WINAPI MoveFileExA(LPCSTR existing, LPCSTR target, DWORD flags) {
  struct stat info;
  if (!(flags & MOVEFILE_REPLACE_EXISTING) && stat(target, &info) == 0) {
    SetLastError(ERROR_ALREADY_EXISTS);
    return FALSE;
  }
  if (rename(existing, target) != 0) {
    SetLastError(winapi::ErrorFromErrno(errno));
    return FALSE;
  }
  return TRUE;
}
