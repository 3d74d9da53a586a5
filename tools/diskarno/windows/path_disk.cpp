// Image files on Windows, read and written track by track like a disk.
// Floppy drives go through the FloppyIO layer (floppy_disk.cpp) instead.
#include "disk.h"
#include "files.h"

namespace {

class TFileDisk : public TTrackFile {
 public:
  TFileDisk(const std::string &name, const TDiskGeometry &geometry, HANDLE file)
      : TTrackFile(name, geometry), file_(file) {}
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
  TStatus Transfer(DWORD track, BYTE *data, bool write) override {
    DWORD size = TrackSize();
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(track) * size;
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
  DWORD access = use != TDiskUse::Read ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return TStatus::Refused("can't open " + path + ": " + FailureText(GetLastError()));
  LARGE_INTEGER size;
  TDiskGeometry geometry = {};
  // A format takes an image of any format it lays out (the 1.68 MB DMF one too).
  const TFloppyFormat *format = use == TDiskUse::Format && GetFileSizeEx(file, &size)
                                    ? FloppyFormatOfSize(size.QuadPart)
                                    : nullptr;
  if (format) geometry = GeometryOf(*format);
  if (!GetFileSizeEx(file, &size) || !(format || StandardFloppyGeometry(size.QuadPart, geometry) ||
                                       (force && LargestFloppyGeometry(size.QuadPart, geometry)))) {
    CloseHandle(file);
    return TStatus::Refused(path + " has no floppy's size");
  }
  disk.reset(new TFileDisk(path, geometry, file));
  return TStatus::Done();
}
