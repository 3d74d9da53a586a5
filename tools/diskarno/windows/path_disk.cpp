// Image files on Windows, read and written track by track like a disk.
// Floppy drives go through the FloppyIO layer (floppy_disk.cpp) instead.
#include "disk.h"
#include "files.h"

namespace {

class TFileDisk : public TTrackFile {
 public:
  TFileDisk(const std::string &name, const TDiskGeometry &geometry, int64_t leftOut, HANDLE file)
      : TTrackFile(name, geometry, leftOut), file_(file) {}
  ~TFileDisk() override { Release(); }

  TStatus Flush() override {
    if (FlushFileBuffers(file_)) return TStatus::Done();
    return TStatus::Failed(FailureText(GetLastError()));
  }

  void Release() override {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }

 private:
  TStatus Transfer(int64_t offset, BYTE *data, size_t bytes, bool write) override {
    const DWORD size = static_cast<DWORD>(bytes);
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD moved = 0;
    bool ok = SetFilePointerEx(file_, at, nullptr, FILE_BEGIN) &&
              (write ? WriteFile(file_, data, size, &moved, nullptr)
                     : ReadFile(file_, data, size, &moved, nullptr));
    if (ok && moved == size) return TStatus::Done();
    return TStatus::Failed(ok ? std::string("the disk ends before this track")
                              : FailureText(GetLastError()));
  }

  HANDLE file_;
};

}  // namespace

bool IsBlockDevice(const std::string &) {
  return false;
}

TStatus OpenPathDisk(const std::string &path, TDiskUse use, bool force,
                     std::unique_ptr<TDisk> &disk) {
  DWORD access = Writes(use) ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return TStatus::Refused("can't open " + path + ": " + FailureText(GetLastError()));
  LARGE_INTEGER size;
  TDiskGeometry geometry = {};
  int64_t leftOut = 0;
  TStatus sized =
      GetFileSizeEx(file, &size)
          ? FloppyGeometryOfSize(path, size.QuadPart, force && use != TDiskUse::Format, geometry,
                                 leftOut)
          : TStatus::Refused("can't open " + path + ": " + FailureText(GetLastError()));
  if (!sized.Ok()) {
    CloseHandle(file);
    return sized;
  }
  disk.reset(new TFileDisk(path, geometry, leftOut, file));
  return TStatus::Done();
}

TStatus ReadImageInput(const std::string &path, bool, uint64_t limit, std::vector<BYTE> &bytes,
                       uint64_t &size) {
  return ReadWholeFile(path, limit, bytes, size);
}
