// ReadTrack: a run of sectors from one track, through the same channels as
// WriteTrack. Only the diskarno tool reads disks; the program never links
// this file.
#include <windows.h>

#include <cstring>

#include "error_mode.h"
#include "floppy_io.h"
#include "heap.h"

namespace {

// DOS reports disk failures as critical-error codes 0 to 12 (in AL of INT
// 25h); Win32 gives them the codes 19 (ERROR_WRITE_PROTECT) to 31
// (ERROR_GEN_FAILURE) in the same order.
constexpr DWORD kLastDosCriticalError = 12;
// DOS 3 and later: the disk in the drive is not the one DOS expected.
constexpr DWORD kDosInvalidDiskChange = 15;

bool AbsoluteReadAttempt(BYTE dosDrive, DWORD startSector, WORD count, BYTE *data) {
  return VwinAbsoluteRead(dosDrive, startSector, count, data);
}

DWORD SystemCodeOfDosRead(DWORD kept) {
  if (kept >= kVwinInt26Error && kept - kVwinInt26Error <= kLastDosCriticalError)
    return ERROR_WRITE_PROTECT + (kept - kVwinInt26Error);
  if (kept == kVwinInt26Error + kDosInvalidDiskChange) return ERROR_WRONG_DISK;
  return ERROR_NOT_READY;
}

bool VwinReadTrack(BYTE driveIndex, DWORD startSector, DWORD count, BYTE *data) {
  DWORD kept;
  if (VwinTransferRetried(AbsoluteReadAttempt, static_cast<BYTE>(driveIndex + 1), startSector,
                          static_cast<WORD>(count), data, kept))
    return true;
  // A code already set (a failed DeviceIoControl) says more than the DOS one.
  if (GetLastError() == 0) SetLastError(SystemCodeOfDosRead(kept));
  return false;
}

bool PositionedRead(DWORD offset, BYTE *data, DWORD size) {
  HANDLE volume = NtHandle();
  if (SetFilePointer(volume, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != offset) {
    if (GetLastError() == 0) SetLastError(ERROR_SECTOR_NOT_FOUND);
    return false;
  }
  DWORD read = 0;
  if (!ReadFile(volume, data, size, &read, nullptr)) return false;
  if (read != size) {
    // The volume ended inside the track.
    SetLastError(ERROR_READ_FAULT);
    return false;
  }
  return true;
}

// Unbuffered volume reads want a buffer aligned to the sector size; a
// caller's buffer that is not gets an aligned bounce block.
bool NtReadTrack(BYTE driveIndex, DWORD offset, DWORD bytesPerSector, BYTE *data, DWORD size) {
  TErrorModeScope errorMode;
  if (!NtAcquire(driveIndex, GENERIC_READ, FILE_SHARE_WRITE)) return false;
  if (reinterpret_cast<ULONG_PTR>(data) % bytesPerSector == 0)
    return PositionedRead(offset, data, size);
  THeapBlock bounce(static_cast<size_t>(size) + bytesPerSector);
  BYTE *aligned = bounce.Data() +
                  (bytesPerSector - reinterpret_cast<ULONG_PTR>(bounce.Data()) % bytesPerSector) %
                      bytesPerSector;
  if (!PositionedRead(offset, aligned, size)) return false;
  memcpy(data, aligned, size);
  return true;
}

}  // namespace

bool ReadTrack(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
               DWORD firstSector, DWORD count, BYTE *data, const DWORD &size) {
  BYTE driveIndex;
  DWORD offset;
  if (!CheckTrackRequest(letter, geometry, cylinder, head, firstSector, count, size,
                         kErrorReadBufferSize, driveIndex, offset))
    return false;
  if (IsNtPlatform) return NtReadTrack(driveIndex, offset, geometry.BytesPerSector, data, size);
  return VwinReadTrack(driveIndex, offset / geometry.BytesPerSector, count, data);
}
