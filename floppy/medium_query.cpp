// QueryMedium: the medium in a floppy drive, its geometry and capacity, on
// both Windows families.
#include "medium_query.h"

#include <windows.h>
// windows.h first: the system's winioctl.h relies on it.
#include <winioctl.h>

#include <cstring>

#include "error_mode.h"
#include "floppy_io.h"
#include "utils.h"

namespace {

constexpr int kMediaTypeRecords = 10;
constexpr int kVwinQueryAttempts = 2;
constexpr DWORD kDosGetDeviceParams = 0x440D;
constexpr DWORD kCategoryDisk = 0x0860;
constexpr DWORD kCategoryFat32Disk = 0x4860;
constexpr size_t kStandardParamsSize = 44;
constexpr DWORD kLargest720Capacity = 737280;
constexpr DWORD kVolumeNameSize = 80;

// Offsets in the device-parameter block.
constexpr size_t kDeviceTypeAt = 1;
constexpr size_t kCylindersAt = 4;
constexpr size_t kBytesPerSectorAt = 7;
constexpr size_t kSectorsPerTrackAt = 20;
constexpr size_t kHeadsAt = 22;
constexpr size_t kFsInfoSectorAt = 44;
constexpr size_t kBackupBootSectorAt = 46;

// DOS device types 0 to 9 as media types; 10 and above are unknown.
constexpr TMediaType kDeviceTypeMedia[] = {
    kMediaF5_360, kMediaF5_1Pt2, kMediaF3_720,   kMediaRemovable, kMediaRemovable,
    kMediaFixed,  kMediaUnknown, kMediaF3_1Pt44, kMediaRemovable, kMediaF3_2Pt88};

bool WritableMediaType(DWORD mediaType) {
  BYTE type = LOBYTE(mediaType);
  return (type >= kMediaF5_1Pt2 && type <= kMediaF5_160) || type == kMediaF3_120M;
}

WORD Read16(const BYTE *block, size_t at) {
  return static_cast<WORD>(block[at] | block[at + 1] << 8);
}

void Write16(BYTE *block, size_t at, WORD value) {
  block[at] = LOBYTE(value);
  block[at + 1] = static_cast<BYTE>(value >> 8);
}

std::string RootPath(char letter) {
  std::string root(1, letter);
  return root + ":\\";
}

// The label of the disk, or empty when the volume query fails.
bool ReadVolumeLabel(char letter, std::string &label) {
  TErrorModeScope errorMode;  // the drive may be empty
  char name[kVolumeNameSize + 1] = {};
  DWORD maxComponent = 0;
  DWORD flags = 0;
  if (!GetVolumeInformationA(RootPath(letter).c_str(), name, kVolumeNameSize, nullptr,
                             &maxComponent, &flags, nullptr, 0)) {
    label.clear();
    return false;
  }
  label = TextOfBuffer(name, kVolumeNameSize);
  return true;
}

// The supported geometry to show when the drive holds no medium: the first
// 1.44 MB record, else the first record.
void PickSupportedGeometry(const BYTE *records, TDiskGeometry &geometry) {
  const BYTE *chosen = records;
  for (int i = 0; i < kMediaTypeRecords; ++i) {
    TDiskGeometry record;
    memcpy(&record, records + i * sizeof record, sizeof record);
    if (LOBYTE(record.MediaType) == kMediaF3_1Pt44) {
      chosen = records + i * sizeof record;
      break;
    }
  }
  memcpy(&geometry, chosen, sizeof geometry);
}

// A volume driver without the geometry request (Wine's, for one) fails it
// with one of these; a real floppy driver answers, or fails with
// ERROR_NOT_READY when the drive is empty.
bool DriverLacksGeometryRequest(DWORD error) {
  return error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED;
}

// The geometry of the standard floppy format that the volume's length names;
// false (geometry untouched) for a length of no standard format.
bool GeometryFromVolumeLength(BYTE driveIndex, TDiskGeometry &geometry) {
  LONGLONG length = 0;
  TDiskGeometry standard;
  if (!NtRequest(driveIndex, GENERIC_READ, FILE_SHARE_WRITE, NtLengthRequest(&length)) ||
      !StandardFloppyGeometry(length, standard))
    return false;
  geometry = standard;
  return true;
}

bool NtQuery(BYTE driveIndex, char letter, std::string &label, bool &mediumPresent,
             TDiskGeometry &geometry) {
  mediumPresent = false;
  bool ok = NtRequest(
      driveIndex, GENERIC_READ, FILE_SHARE_WRITE,
      NtControlRequest(IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &geometry, sizeof geometry));
  if (!ok && DriverLacksGeometryRequest(GetLastError()))
    ok = GeometryFromVolumeLength(driveIndex, geometry);
  if (ok) {
    mediumPresent = true;
  } else {
    BYTE records[kMediaTypeRecords * sizeof(TDiskGeometry)] = {};
    ok = NtRequest(
        driveIndex, GENERIC_READ, FILE_SHARE_WRITE,
        NtControlRequest(IOCTL_STORAGE_GET_MEDIA_TYPES, nullptr, 0, records, sizeof records));
    NtRelease();
    if (ok) PickSupportedGeometry(records, geometry);
  }
  NtRelease();
  if (ok) ReadVolumeLabel(letter, label);
  return ok;
}

void GeometryFromParams(const BYTE *block, TDiskGeometry &geometry) {
  BYTE deviceType = block[kDeviceTypeAt];
  geometry.Cylinders = Read16(block, kCylindersAt);
  geometry.TracksPerCylinder = Read16(block, kHeadsAt);
  geometry.SectorsPerTrack = Read16(block, kSectorsPerTrackAt);
  geometry.BytesPerSector = Read16(block, kBytesPerSectorAt);
  geometry.MediaType =
      deviceType < sizeof kDeviceTypeMedia ? kDeviceTypeMedia[deviceType] : kMediaUnknown;
}

// With special functions 0 DOS describes the drive's default medium; a
// file system of at most 737,280 bytes says the disk is a 720 KB one.
void Correct720(char letter, TDiskGeometry &geometry) {
  TErrorModeScope errorMode;  // the drive may be empty
  DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
  if (!GetDiskFreeSpaceA(RootPath(letter).c_str(), &sectorsPerCluster, &bytesPerSector,
                         &freeClusters, &totalClusters))
    return;
  if (sectorsPerCluster * bytesPerSector * totalClusters > kLargest720Capacity) return;
  geometry.MediaType = kMediaF3_720;
  geometry.Cylinders = 80;
  geometry.TracksPerCylinder = 2;
  geometry.SectorsPerTrack = 9;
  geometry.BytesPerSector = 512;
}

bool VwinQuery(BYTE driveIndex, char letter, std::string &label, bool &mediumPresent,
               TDiskGeometry &geometry) {
  BYTE block[kDeviceParamsSize];
  bool ok = false;
  for (int attempt = 0; attempt < kVwinQueryAttempts && !ok; ++attempt) {
    memset(block, 0, sizeof block);
    ok = VwinGetDeviceParams(static_cast<BYTE>(driveIndex + 1), block);
    if (!ok) VwinResetDisk();
  }
  if (!ok) return false;
  GeometryFromParams(block, geometry);
  DIOC_REGISTERS registers = {};
  VwinCall(VWIN32_DIOC_CLOSE, registers);
  Correct720(letter, geometry);
  // Only this query's own outcome tells whether a disk is there: an older
  // ERROR_NOT_READY in the slot must not hide a disk inserted since.
  mediumPresent = ReadVolumeLabel(letter, label) || GetLastError() != ERROR_NOT_READY;
  return true;
}

bool DeviceParamsRequest(DWORD category, BYTE dosDrive, BYTE *block, DIOC_REGISTERS &registers) {
  registers = DIOC_REGISTERS();
  registers.reg_EAX = kDosGetDeviceParams;
  registers.reg_EBX = dosDrive;
  registers.reg_ECX = category;
  registers.reg_EDX = reinterpret_cast<DWORD_PTR>(block);
  return VwinCall(VWIN32_DIOC_DOS_IOCTL, registers);
}

// The standard answer ends at byte 44; the FAT32 fields after it get the
// values that mean "no FAT32 volume".
void WidenStandardParams(const BYTE *scratch, BYTE *block) {
  memcpy(block, scratch, kStandardParamsSize);
  memset(block + 32, 0, kDeviceParamsSize - 32);
  Write16(block, kFsInfoSectorAt, 0xFFFF);
  Write16(block, kBackupBootSectorAt, 0xFFFF);
}

}  // namespace

bool VwinGetDeviceParams(BYTE dosDrive, BYTE *block) {
  SetVwinLastError(0);
  DIOC_REGISTERS registers;
  if (HasFat32Services && DeviceParamsRequest(kCategoryFat32Disk, dosDrive, block, registers) &&
      !(registers.reg_Flags & kCarryFlag))
    return true;
  BYTE scratch[kDeviceParamsSize] = {};
  if (!DeviceParamsRequest(kCategoryDisk, dosDrive, scratch, registers)) return false;
  if (registers.reg_Flags & kCarryFlag) {
    SetVwinLastError(registers.reg_EAX & 0xFFFF);
    return false;
  }
  WidenStandardParams(scratch, block);
  return true;
}

bool QueryMedium(char letter, std::string &volumeLabel, int64_t &capacity, bool &mediumPresent,
                 TDiskGeometry &geometry) {
  volumeLabel.clear();
  BYTE driveIndex;
  if (!CheckFloppyDrive(letter, driveIndex)) return false;
  char upper = static_cast<char>('A' + driveIndex);
  bool ok = IsNtPlatform ? NtQuery(driveIndex, upper, volumeLabel, mediumPresent, geometry)
                         : VwinQuery(driveIndex, upper, volumeLabel, mediumPresent, geometry);
  ReleaseDrive();
  if (!ok) return false;
  if (!WritableMediaType(geometry.MediaType)) {
    SetLastError(kErrorInvalidMediaType);
    return false;
  }
  capacity = GeometryCapacity(geometry);
  return true;
}
