// Formatting tracks on both Windows families; see track_formatter.h.
#include "track_formatter.h"

#include <windows.h>
// windows.h first: the system's winioctl.h relies on it.
#include <winioctl.h>

#include <cstring>

#include "error_mode.h"
#include "floppy_io.h"
#include "medium_query.h"

namespace {

constexpr int kMediaTypeRecords = 10;
constexpr DWORD kDosGenericIoctl = 0x440D;
constexpr DWORD kSetDeviceParams = 0x0840;
constexpr DWORD kFormatTrack = 0x0842;
constexpr DWORD kLargestTrack = 36;
// 440Dh CL=40h special functions: the BPB is the medium's from now on, and
// every sector of the layout has the same size.
constexpr BYTE kCurrentBpbSameSizes = 0x05;

// The device-parameter block with room for the longest track layout.
struct TDeviceParamsBlock {
  DEVICEPARAMS params;
  WORD layout[2 * kLargestTrack];
};

bool GenericIoctl(DWORD function, BYTE dosDrive, void *block) {
  DIOC_REGISTERS registers = {};
  registers.reg_EAX = kDosGenericIoctl;
  registers.reg_EBX = dosDrive;
  registers.reg_ECX = function;
  registers.reg_EDX = reinterpret_cast<DWORD_PTR>(block);
  if (!VwinCall(VWIN32_DIOC_DOS_IOCTL, registers)) {
    SetLastError(ERROR_GEN_FAILURE);
    return false;
  }
  if (registers.reg_Flags & kCarryFlag) {
    // DOS's extended error codes 19 to 31 are Win32's.
    SetLastError(registers.reg_EAX & 0xFFFF);
    return false;
  }
  return true;
}

// Tells DOS the medium to lay out: the drive's own parameters with the
// geometry's BPB and a track of sectors 1 to n of its sector size.
bool SetFormatParameters(BYTE dosDrive, const TDiskGeometry &geometry, const TFormatBpb &bpb) {
  BYTE own[kDeviceParamsSize] = {};
  if (!VwinGetDeviceParams(dosDrive, own)) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  TDeviceParamsBlock block = {};
  memcpy(&block.params, own, sizeof(DEVICEPARAMS) - sizeof(WORD));
  DEVICEPARAMS &params = block.params;
  const DWORD sectors = static_cast<DWORD>(geometry.Cylinders) * geometry.TracksPerCylinder *
                        geometry.SectorsPerTrack;
  params.dpSpecFunc = kCurrentBpbSameSizes;
  // 0: the drive's own medium; 1: another one (a 720 KB disk in a 1.44 MB drive).
  params.dpMediaType = static_cast<BYTE>(params.dpCylinders == geometry.Cylinders &&
                                                 params.dpSecPerTrack == geometry.SectorsPerTrack
                                             ? 0
                                             : 1);
  params.dpCylinders = static_cast<WORD>(geometry.Cylinders);
  params.dpBytesPerSec = static_cast<WORD>(geometry.BytesPerSector);
  params.dpSecPerClust = bpb.sectorsPerCluster;
  params.dpResSectors = 1;
  params.dpFATs = 2;
  params.dpRootDirEnts = bpb.rootEntries;
  params.dpSectors = static_cast<WORD>(sectors);
  params.dpMedia = bpb.media;
  params.dpFATsecs = bpb.sectorsPerFat;
  params.dpSecPerTrack = static_cast<WORD>(geometry.SectorsPerTrack);
  params.dpHeads = static_cast<WORD>(geometry.TracksPerCylinder);
  params.dpHiddenSecs = 0;
  params.dpHugeSectors = 0;
  params.dpTrackLayoutCount = static_cast<WORD>(geometry.SectorsPerTrack);
  for (DWORD sector = 0; sector < geometry.SectorsPerTrack && sector < kLargestTrack; ++sector) {
    block.layout[2 * sector] = static_cast<WORD>(sector + 1);
    block.layout[2 * sector + 1] = static_cast<WORD>(geometry.BytesPerSector);
  }
  return GenericIoctl(kSetDeviceParams, dosDrive, &block);
}

bool VwinFormatTrack(BYTE dosDrive, const TDiskGeometry &geometry, const TFormatBpb &bpb,
                     DWORD cylinder, DWORD head) {
  if (cylinder == 0 && head == 0 && !SetFormatParameters(dosDrive, geometry, bpb)) return false;
  FVBLOCK block = {0, static_cast<WORD>(head), static_cast<WORD>(cylinder), 1};
  return GenericIoctl(kFormatTrack, dosDrive, &block);
}

bool NtFormatTrack(BYTE driveIndex, const TDiskGeometry &geometry, DWORD cylinder, DWORD head) {
  FORMAT_PARAMETERS format = {};
  format.MediaType = static_cast<MEDIA_TYPE>(LOBYTE(geometry.MediaType));
  format.StartCylinderNumber = format.EndCylinderNumber = cylinder;
  format.StartHeadNumber = format.EndHeadNumber = head;
  BAD_TRACK_NUMBER bad[4] = {};
  return NtRequest(
      driveIndex, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
      NtControlRequest(IOCTL_DISK_FORMAT_TRACKS, &format, sizeof format, bad, sizeof bad));
}

// The drive's media types as the NT floppy driver lists them.
bool NtMediaTypes(BYTE driveIndex, TDiskGeometry *records, DWORD &count) {
  DWORD size = kMediaTypeRecords * sizeof(TDiskGeometry);
  memset(records, 0, size);
  bool ok = NtRequest(driveIndex, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      NtControlRequest(IOCTL_STORAGE_GET_MEDIA_TYPES, nullptr, 0, records, size));
  NtRelease();
  count = 0;
  while (ok && count < kMediaTypeRecords && records[count].BytesPerSector != 0) ++count;
  return ok;
}

}  // namespace

bool CanFormat(char letter, const TDiskGeometry &geometry, const TFormatBpb &bpb,
               bool &supported) {
  supported = false;
  BYTE driveIndex;
  if (!CheckFloppyDrive(letter, driveIndex)) return false;
  TErrorModeScope errorMode;
  if (IsNtPlatform) {
    TDiskGeometry records[kMediaTypeRecords];
    DWORD count = 0;
    if (!NtMediaTypes(driveIndex, records, count)) return false;
    for (DWORD n = 0; n < count; ++n)
      supported = supported || (LOBYTE(records[n].MediaType) == LOBYTE(geometry.MediaType) &&
                                GeometryCapacity(records[n]) == GeometryCapacity(geometry));
    return true;
  }
  const BYTE dosDrive = static_cast<BYTE>(driveIndex + 1);
  FVBLOCK check = {kFormatCheckOnly, 0, 0, 1};
  bool asked =
      SetFormatParameters(dosDrive, geometry, bpb) && GenericIoctl(kFormatTrack, dosDrive, &check);
  ReleaseDrive();
  if (!asked) return false;
  if (check.fvSpecFunc == kFormatNoDisk) {
    SetLastError(ERROR_NOT_READY);
    return false;
  }
  supported = check.fvSpecFunc == kFormatSupported;
  return true;
}

bool LargestFormat(char letter, TDiskGeometry &geometry) {
  BYTE driveIndex;
  if (!CheckFloppyDrive(letter, driveIndex)) return false;
  TErrorModeScope errorMode;
  if (IsNtPlatform) {
    TDiskGeometry records[kMediaTypeRecords];
    DWORD count = 0;
    if (!NtMediaTypes(driveIndex, records, count) || count == 0) return false;
    geometry = records[0];
    for (DWORD n = 1; n < count; ++n)
      if (GeometryCapacity(records[n]) > GeometryCapacity(geometry)) geometry = records[n];
    return true;
  }
  // DOS describes the drive's own medium, its largest.
  BYTE block[kDeviceParamsSize] = {};
  bool ok = VwinGetDeviceParams(static_cast<BYTE>(driveIndex + 1), block);
  ReleaseDrive();
  if (!ok) return false;
  const DEVICEPARAMS &params = *reinterpret_cast<const DEVICEPARAMS *>(block);
  geometry = TDiskGeometry();
  geometry.Cylinders = params.dpCylinders;
  geometry.TracksPerCylinder = params.dpHeads;
  geometry.SectorsPerTrack = params.dpSecPerTrack;
  geometry.BytesPerSector = params.dpBytesPerSec;
  return true;
}

bool FormatTrack(char letter, const TDiskGeometry &geometry, const TFormatBpb &bpb,
                 DWORD cylinder, DWORD head) {
  BYTE driveIndex;
  if (!CheckFloppyDrive(letter, driveIndex)) return false;
  if (IsNtPlatform) return NtFormatTrack(driveIndex, geometry, cylinder, head);
  TErrorModeScope errorMode;
  return VwinFormatTrack(static_cast<BYTE>(driveIndex + 1), geometry, bpb, cylinder, head);
}
