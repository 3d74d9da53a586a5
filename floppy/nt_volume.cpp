// The NT channel of the FloppyIO layer: the volume \\.\A: or \\.\B:, opened
// with one access and share mode, locked, and kept between requests.
#include <windows.h>
// windows.h first: the system's winioctl.h relies on it.
#include <winioctl.h>

#include "error_mode.h"
#include "floppy_io.h"
#include "last_error.h"

namespace {

constexpr BYTE kNoDrive = 0xFF;
constexpr DWORD kNoMode = 0x7FFFFFFF;

struct TNtChannel {
  BYTE DriveIndex = kNoDrive;
  HANDLE Handle = INVALID_HANDLE_VALUE;
  DWORD Access = kNoMode;
  DWORD ShareMode = kNoMode;
};

TNtChannel channel;

bool ChannelMatches(BYTE driveIndex, DWORD access, DWORD shareMode) {
  return channel.Handle != INVALID_HANDLE_VALUE && channel.DriveIndex == driveIndex &&
         channel.Access == access && channel.ShareMode == shareMode;
}

bool OpenChannel(BYTE driveIndex, DWORD access, DWORD shareMode) {
  NtRelease();
  char path[] = "\\\\.\\A:";
  path[4] = static_cast<char>('A' + driveIndex);
  HANDLE handle = CreateFileA(path, access, shareMode, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  channel.Handle = handle;
  channel.Access = access;
  DWORD returned = 0;
  if (!DeviceIoControl(handle, FSCTL_LOCK_VOLUME, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    // A volume lock fails while files on the disk are open; that is the
    // reason to report, and the release keeps it.
    NtRelease();
    return false;
  }
  channel.DriveIndex = driveIndex;
  channel.ShareMode = shareMode;
  return true;
}

bool PositionedWrite(const TNtRequest &request) {
  // SetFilePointer reports success by clearing the last error; a short
  // write then still needs a code of its own.
  if (SetFilePointer(channel.Handle, static_cast<LONG>(request.Offset), nullptr, FILE_BEGIN) !=
      request.Offset) {
    if (GetLastError() == 0) SetLastError(ERROR_SECTOR_NOT_FOUND);
    return false;
  }
  DWORD written = 0;
  if (!WriteFile(channel.Handle, request.Data, request.Length, &written, nullptr)) return false;
  if (written != request.Length) {
    if (GetLastError() == 0) SetLastError(ERROR_WRITE_FAULT);
    return false;
  }
  return true;
}

bool DeviceControl(const TNtRequest &request) {
  DWORD returned = 0;
  return DeviceIoControl(channel.Handle, request.ControlCode, request.InBuffer, request.InSize,
                         request.OutBuffer, request.OutSize, &returned, nullptr) != FALSE;
}

// The disk driver's length answer, or the size of the volume as a file
// where the driver has no such request.
bool VolumeLength(const TNtRequest &request) {
  GET_LENGTH_INFORMATION info = {};
  DWORD returned = 0;
  if (DeviceIoControl(channel.Handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info,
                      &returned, nullptr) &&
      returned >= sizeof info) {
    *request.VolumeLength = info.Length.QuadPart;
    return true;
  }
  // GetFileSize rather than GetFileSizeEx, which Windows 98 and NT 4 lack.
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD low = GetFileSize(channel.Handle, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *request.VolumeLength = static_cast<LONGLONG>((static_cast<ULONGLONG>(high) << 32) | low);
  return true;
}

}  // namespace

TNtRequest NtWriteRequest(DWORD offset, const void *data, DWORD length) {
  TNtRequest request = {};
  request.Kind = TNtRequestKind::Write;
  request.Offset = offset;
  request.Data = data;
  request.Length = length;
  return request;
}

TNtRequest NtControlRequest(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize) {
  TNtRequest request = {};
  request.Kind = TNtRequestKind::Control;
  request.ControlCode = code;
  request.InBuffer = in;
  request.InSize = inSize;
  request.OutBuffer = out;
  request.OutSize = outSize;
  return request;
}

TNtRequest NtLengthRequest(LONGLONG *volumeLength) {
  TNtRequest request = {};
  request.Kind = TNtRequestKind::Length;
  request.VolumeLength = volumeLength;
  return request;
}

bool NtAcquire(BYTE driveIndex, DWORD access, DWORD shareMode) {
  return ChannelMatches(driveIndex, access, shareMode) ||
         OpenChannel(driveIndex, access, shareMode);
}

HANDLE NtHandle() {
  return channel.Handle;
}

bool NtRequest(BYTE driveIndex, DWORD access, DWORD shareMode, const TNtRequest &request) {
  TErrorModeScope errorMode;
  if (!NtAcquire(driveIndex, access, shareMode)) return false;
  switch (request.Kind) {
    case TNtRequestKind::Write:
      return PositionedWrite(request);
    case TNtRequestKind::Length:
      return VolumeLength(request);
    default:
      return DeviceControl(request);
  }
}

void NtRelease() {
  if (channel.Handle != INVALID_HANDLE_VALUE) {
    TLastErrorKeeper keeper;
    // The disk may have left the drive: the flush must fail quietly.
    TErrorModeScope errorMode;
    // What WriteFile reported written must be on the disk before the lock
    // is given up; a read handle has nothing to flush.
    if (channel.Access & GENERIC_WRITE) FlushFileBuffers(channel.Handle);
    DWORD returned = 0;
    DeviceIoControl(channel.Handle, FSCTL_UNLOCK_VOLUME, nullptr, 0, nullptr, 0, &returned,
                    nullptr);
    CloseHandle(channel.Handle);
  }
  channel = TNtChannel();
}
