// The FloppyIO layer: drive letters, track writes on both families, release
// of the channels, start-up and shutdown.
#include "floppy_io.h"

#include "app_errors.h"
#include "last_error.h"

bool IsNtPlatform = false;
bool HasFat32Services = false;

namespace {

constexpr DWORD kFat32Build = 1081;
constexpr int kVwinAttempts = 2;
// INT 26h codes 0 (write-protect violation) and 3 both mean a protected disk.
constexpr DWORD kInt26WriteProtect = kVwinInt26Error + 0;
constexpr DWORD kInt26UnknownCommand = kVwinInt26Error + 3;

// A geometry without sectors or without bytes holds no track at all (and
// the 95/98/Me path divides by the sector size).
bool TrackPositionValid(const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
                        DWORD firstSector) {
  return static_cast<int64_t>(cylinder) < geometry.Cylinders && head < geometry.TracksPerCylinder &&
         firstSector < geometry.SectorsPerTrack && geometry.BytesPerSector != 0;
}

// The byte offset of the sector run on the volume; false when it does not fit
// the 32-bit offsets and sector numbers that both device paths use.
bool TrackOffset(const TDiskGeometry &geometry, DWORD cylinder, DWORD head, DWORD firstSector,
                 DWORD count, DWORD &offset) {
  uint64_t sector = (static_cast<uint64_t>(geometry.TracksPerCylinder) * cylinder + head) *
                        geometry.SectorsPerTrack +
                    firstSector;
  uint64_t end = (sector + count) * geometry.BytesPerSector;
  if (end > 0xFFFFFFFFu || count > 0xFFFF) return false;
  offset = static_cast<DWORD>(sector * geometry.BytesPerSector);
  return true;
}

bool AbsoluteWriteAttempt(BYTE dosDrive, DWORD startSector, WORD count, BYTE *data) {
  return VwinAbsoluteWrite(dosDrive, startSector, count, data);
}

// Inlined into WriteTrack: the program then carries no copy of its own for
// the tool's reads (the exported wrappers below are left out of it).
__attribute__((always_inline)) inline bool CheckRequest(char letter, const TDiskGeometry &geometry,
                                                        DWORD cylinder, DWORD head,
                                                        DWORD firstSector, DWORD count, DWORD size,
                                                        DWORD sizeError, BYTE &driveIndex,
                                                        DWORD &offset) {
  if (!CheckFloppyDrive(letter, driveIndex)) return false;
  if (!TrackPositionValid(geometry, cylinder, head, firstSector)) {
    SetLastError(kErrorTrackPosition);
    return false;
  }
  if (static_cast<uint64_t>(firstSector) + count > geometry.SectorsPerTrack) {
    SetErrorIfNone(kErrorTrackPosition);
    return false;
  }
  if (size != static_cast<uint64_t>(geometry.BytesPerSector) * count) {
    SetLastError(sizeError);
    return false;
  }
  if (!TrackOffset(geometry, cylinder, head, firstSector, count, offset)) {
    SetLastError(kErrorTrackPosition);
    return false;
  }
  return true;
}

__attribute__((always_inline)) inline bool TransferRetried(TVwinTransfer transfer, BYTE dosDrive,
                                                           DWORD startSector, WORD count,
                                                           BYTE *data, DWORD &kept) {
  // Only this transfer's own failures count: a code left by earlier work (a
  // track the user ignored, say) must not stand for this disk's answer.
  SetLastError(NO_ERROR);
  kept = 0;
  for (int attempt = 0; attempt < kVwinAttempts; ++attempt) {
    if (transfer(dosDrive, startSector, count, data)) return true;
    kept = VwinLastError();
    VwinResetDisk();
  }
  return false;
}

}  // namespace

bool CheckTrackRequest(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
                       DWORD firstSector, DWORD count, DWORD size, DWORD sizeError,
                       BYTE &driveIndex, DWORD &offset) {
  return CheckRequest(letter, geometry, cylinder, head, firstSector, count, size, sizeError,
                      driveIndex, offset);
}

bool VwinTransferRetried(TVwinTransfer transfer, BYTE dosDrive, DWORD startSector, WORD count,
                         BYTE *data, DWORD &kept) {
  return TransferRetried(transfer, dosDrive, startSector, count, data, kept);
}

bool CheckFloppyDrive(char letter, BYTE &driveIndex) {
  switch (letter) {
    case 'A':
    case 'a':
      driveIndex = 0;
      return true;
    case 'B':
    case 'b':
      driveIndex = 1;
      return true;
    default:
      SetLastError(kErrorNotFloppyDrive);
      return false;
  }
}

bool WriteTrack(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
                DWORD firstSector, DWORD count, const BYTE *data, const DWORD &size) {
  BYTE driveIndex;
  DWORD offset;
  if (!CheckRequest(letter, geometry, cylinder, head, firstSector, count, size,
                    kErrorWriteBufferSize, driveIndex, offset))
    return false;
  if (IsNtPlatform)
    return NtRequest(driveIndex, GENERIC_WRITE, FILE_SHARE_WRITE,
                     NtWriteRequest(offset, data, size));
  DWORD kept;
  if (TransferRetried(AbsoluteWriteAttempt, static_cast<BYTE>(driveIndex + 1),
                      offset / geometry.BytesPerSector, static_cast<WORD>(count),
                      const_cast<BYTE *>(data), kept))
    return true;
  // A code already set (a failed DeviceIoControl) says more than the DOS one.
  SetErrorIfNone(kept == kInt26WriteProtect || kept == kInt26UnknownCommand ? ERROR_WRITE_PROTECT
                                                                            : ERROR_NOT_READY);
  return false;
}

void ReleaseDrive() {
  if (IsNtPlatform) {
    NtRelease();
    return;
  }
  TLastErrorKeeper keeper;
  DIOC_REGISTERS registers = {};
  VwinCall(VWIN32_DIOC_CLOSE, registers);
}

void FloppyIoStartup() {
  RegisterError(kErrorFloppyCategory, "FloppyIO");
  RegisterError(kErrorReadBufferSize, "Invalid size of read buffer.");
  RegisterError(kErrorWriteBufferSize, "Invalid size of write buffer.");
  RegisterError(kErrorNotFloppyDrive, "The specified drive is not a floppy drive");
  RegisterError(kErrorTrackPosition, "Invalid track position");
  RegisterError(kErrorInvalidMediaType, "Invalid media type");

  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  IsNtPlatform = false;
  HasFat32Services = false;
  if (GetVersionExA(&version)) {
    IsNtPlatform = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
    HasFat32Services = version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS &&
                       (version.dwBuildNumber & 0xFFFF) >= kFat32Build;
  }
  VwinStartup();
}

void FloppyIoShutdown() {
  NtRelease();
  DIOC_REGISTERS registers = {};
  VwinCall(VWIN32_DIOC_CLOSE, registers);
}
