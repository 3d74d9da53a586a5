// The simulated machine: platform, drives, media, faults and the call log,
// with the kernel32 and shell32 functions that read them.
#include "sim_pc.h"

#include <shellapi.h>

#include <algorithm>
#include <cctype>
#include <cstring>

#include "kernel_object.h"
#include "sim_internal.h"

namespace sim {

namespace {

char Upper(char letter) {
  return static_cast<char>(toupper(static_cast<unsigned char>(letter)));
}

struct DriveModel {
  std::vector<DISK_GEOMETRY> supported;
  BYTE dosDeviceType;
  DISK_GEOMETRY dosGeometry;
};

DriveModel ModelOf(FloppyKind kind) {
  const DISK_GEOMETRY g360 = Geometry(F5_360_512, 40, 2, 9, 512);
  const DISK_GEOMETRY g12 = Geometry(F5_1Pt2_512, 80, 2, 15, 512);
  const DISK_GEOMETRY g720 = Geometry(F3_720_512, 80, 2, 9, 512);
  const DISK_GEOMETRY g144 = Geometry(F3_1Pt44_512, 80, 2, 18, 512);
  const DISK_GEOMETRY g288 = Geometry(F3_2Pt88_512, 80, 2, 36, 512);
  switch (kind) {
    case FloppyKind::F5_360:
      return {{g360}, 0, g360};
    case FloppyKind::F5_1Pt2:
      return {{g360, g12}, 1, g12};
    case FloppyKind::F3_720:
      return {{g720}, 2, g720};
    case FloppyKind::F3_2Pt88:
      return {{g720, g144, g288}, 9, g288};
    case FloppyKind::F3_1Pt44:
      break;
  }
  return {{g720, g144}, 7, g144};
}

}  // namespace

DISK_GEOMETRY Geometry(DWORD mediaType, int64_t cylinders, DWORD heads, DWORD sectors,
                       DWORD bytesPerSector) {
  DISK_GEOMETRY geometry = {};
  geometry.Cylinders.QuadPart = cylinders;
  geometry.MediaType = static_cast<MEDIA_TYPE>(mediaType);
  geometry.TracksPerCylinder = heads;
  geometry.SectorsPerTrack = sectors;
  geometry.BytesPerSector = bytesPerSector;
  return geometry;
}

Medium MakeMedium(DWORD mediaType, int64_t cylinders, DWORD heads, DWORD sectors,
                  DWORD bytesPerSector, std::vector<unsigned char> bytes) {
  Medium medium;
  medium.geometry = Geometry(mediaType, cylinders, heads, sectors, bytesPerSector);
  bytes.resize(static_cast<size_t>(cylinders) * heads * sectors * bytesPerSector, 0);
  medium.bytes = std::move(bytes);
  return medium;
}

Medium Floppy144(std::vector<unsigned char> bytes) {
  return MakeMedium(F3_1Pt44_512, 80, 2, 18, 512, std::move(bytes));
}

Medium Floppy720(std::vector<unsigned char> bytes) {
  return MakeMedium(F3_720_512, 80, 2, 9, 512, std::move(bytes));
}

Machine::Machine() {
  Reset();
  winapi::SetDeviceOpener(OpenDevice);
}

Machine &Pc() {
  static Machine machine;
  return machine;
}

void Machine::Reset() {
  SetWindowsNt();
  versionQueryFails_ = false;
  // Fresh containers: a reset machine holds no heap block.
  drives_ = std::vector<Drive>();
  errorMode_ = 0;
  log_ = std::vector<DeviceCall>();
  criticalErrorBoxes_ = 0;
  ioctlFaultError_ = 0;
  ioctlFaultsLeft_ = 0;
  liveIcons_ = std::vector<uintptr_t>();
}

void Machine::SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build) {
  platformId_ = platformId;
  version_ = OSVERSIONINFOA{};
  version_.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
  version_.dwMajorVersion = major;
  version_.dwMinorVersion = minor;
  version_.dwBuildNumber = build;
  version_.dwPlatformId = platformId;
}

void Machine::SetWindowsNt(DWORD major, DWORD minor, DWORD build) {
  SetVersion(VER_PLATFORM_WIN32_NT, major, minor, build);
}

void Machine::SetWindows9x(DWORD major, DWORD minor, DWORD build) {
  SetVersion(VER_PLATFORM_WIN32_WINDOWS, major, minor,
             (major << 24) | (minor << 16) | (build & 0xFFFF));
}

bool Machine::HasFat32Services() const {
  return platformId_ == VER_PLATFORM_WIN32_WINDOWS && (version_.dwBuildNumber & 0xFFFF) >= 1081;
}

Drive &Machine::AddDrive(char letter, UINT type, const std::string &displayName) {
  letter = Upper(letter);
  drives_.erase(std::remove_if(drives_.begin(), drives_.end(),
                               [letter](const Drive &d) { return d.letter == letter; }),
                drives_.end());
  Drive drive;
  drive.letter = letter;
  drive.type = type;
  drive.displayName = displayName;
  drives_.push_back(drive);
  std::sort(drives_.begin(), drives_.end(),
            [](const Drive &a, const Drive &b) { return a.letter < b.letter; });
  return *FindDrive(letter);
}

Drive &Machine::AddFloppyDrive(char letter, FloppyKind kind) {
  letter = Upper(letter);
  std::string name = std::string("3\xBD Floppy (") + letter + ":)";
  Drive &drive = AddDrive(letter, DRIVE_REMOVABLE, name);
  DriveModel model = ModelOf(kind);
  drive.isFloppy = true;
  drive.supported = model.supported;
  drive.dosDeviceType = model.dosDeviceType;
  drive.dosGeometry = model.dosGeometry;
  return drive;
}

Drive *Machine::FindDrive(char letter) {
  letter = Upper(letter);
  for (Drive &drive : drives_)
    if (drive.letter == letter) return &drive;
  return nullptr;
}

void Machine::InsertMedium(char letter, Medium medium) {
  Drive *drive = FindDrive(letter);
  if (!drive) drive = &AddFloppyDrive(letter);
  drive->medium = std::move(medium);
  drive->goodWrites = 0;
}

void Machine::RemoveMedium(char letter) {
  Drive *drive = FindDrive(letter);
  if (!drive || !drive->medium) return;
  drive->removedMedium = std::move(drive->medium);
  drive->medium.reset();
}

Medium *Machine::RemovedMedium(char letter) {
  Drive *drive = FindDrive(letter);
  return drive && drive->removedMedium ? &*drive->removedMedium : nullptr;
}

Medium *Machine::MediumIn(char letter) {
  Drive *drive = FindDrive(letter);
  return drive && drive->medium ? &*drive->medium : nullptr;
}

void Machine::SetWriteProtected(char letter, bool on) {
  if (Medium *medium = MediumIn(letter)) medium->writeProtected = on;
}

void Machine::SetFilesOpen(char letter, bool on) {
  if (Drive *drive = FindDrive(letter)) drive->filesOpen = on;
}

void Machine::FailVolumeOpen(char letter, DWORD error) {
  if (Drive *drive = FindDrive(letter)) drive->volumeOpenError = error;
}

void Machine::SetVolumeDriver(char letter, VolumeDriver driver) {
  if (Drive *drive = FindDrive(letter)) drive->volumeDriver = driver;
}

void Machine::RemoveMediumAfterWrites(char letter, int writes) {
  if (Drive *drive = FindDrive(letter)) {
    drive->removeMediumAfterWrites = writes;
    drive->goodWrites = 0;
  }
}

void Machine::FailTrack(char letter, int64_t cylinder, DWORD head, int times, DWORD error) {
  if (Drive *drive = FindDrive(letter))
    drive->trackFaults.push_back(TrackFault{cylinder, head, times, error});
}

void Machine::FailDeviceIoControl(DWORD error, int times) {
  ioctlFaultError_ = error;
  ioctlFaultsLeft_ = times;
}

bool Machine::TakeDeviceIoControlFault(DWORD &error) {
  if (ioctlFaultsLeft_ == 0) return false;
  if (ioctlFaultsLeft_ > 0) --ioctlFaultsLeft_;
  error = ioctlFaultError_;
  return true;
}

std::vector<DeviceCall> Machine::Calls(Call kind) const {
  std::vector<DeviceCall> calls;
  for (const DeviceCall &call : log_)
    if (call.kind == kind) calls.push_back(call);
  return calls;
}

size_t Machine::Count(Call kind) const {
  return static_cast<size_t>(std::count_if(
      log_.begin(), log_.end(), [kind](const DeviceCall &call) { return call.kind == kind; }));
}

size_t Machine::ContractViolations() const {
  return static_cast<size_t>(std::count_if(
      log_.begin(), log_.end(), [](const DeviceCall &call) { return call.contractViolation; }));
}

void Machine::CriticalError() {
  if (!(errorMode_ & SEM_FAILCRITICALERRORS)) ++criticalErrorBoxes_;
}

HICON Machine::NewIcon() {
  liveIcons_.push_back(nextIcon_);
  return reinterpret_cast<HICON>(nextIcon_++);
}

bool Machine::DestroyIconHandle(HICON icon) {
  auto found = std::find(liveIcons_.begin(), liveIcons_.end(), reinterpret_cast<uintptr_t>(icon));
  if (found == liveIcons_.end()) return false;
  liveIcons_.erase(found);
  return true;
}

DWORD Machine::LogicalDrives() const {
  DWORD mask = 0;
  for (const Drive &drive : drives_)
    if (drive.letter >= 'A' && drive.letter <= 'Z') mask |= 1u << (drive.letter - 'A');
  return mask;
}

Drive *DriveOfRoot(const char *rootPath) {
  if (!rootPath || !isalpha(static_cast<unsigned char>(rootPath[0])) || rootPath[1] != ':')
    return nullptr;
  if (rootPath[2] != '\0' && !(rootPath[2] == '\\' && rootPath[3] == '\0')) return nullptr;
  return Pc().FindDrive(rootPath[0]);
}

}  // namespace sim

using sim::Pc;

extern "C" BOOL WINAPI GetVersionExA(LPOSVERSIONINFOA info) {
  if (!info || info->dwOSVersionInfoSize != sizeof(OSVERSIONINFOA) || Pc().VersionQueryFails()) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  *info = Pc().Version();
  return TRUE;
}

extern "C" UINT WINAPI SetErrorMode(UINT mode) {
  UINT previous = Pc().ErrorMode();
  Pc().SetErrorModeValue(mode);
  return previous;
}

extern "C" DWORD WINAPI GetLogicalDrives(void) {
  return Pc().LogicalDrives();
}

extern "C" UINT WINAPI GetDriveTypeA(LPCSTR rootPath) {
  sim::Drive *drive = sim::DriveOfRoot(rootPath);
  return drive ? drive->type : DRIVE_NO_ROOT_DIR;
}

extern "C" DWORD_PTR WINAPI SHGetFileInfoA(LPCSTR path, DWORD, SHFILEINFOA *info, UINT infoSize,
                                           UINT flags) {
  sim::Drive *drive = sim::DriveOfRoot(path);
  if (!drive || drive->shellInfoFails || !info || infoSize < sizeof(SHFILEINFOA)) return 0;
  if (flags & SHGFI_DISPLAYNAME) {
    size_t length = std::min(drive->displayName.size(), sizeof info->szDisplayName - 1);
    memcpy(info->szDisplayName, drive->displayName.data(), length);
    info->szDisplayName[length] = '\0';
  }
  if (flags & SHGFI_ICON) info->hIcon = Pc().NewIcon();
  if (flags & SHGFI_SYSICONINDEX) {
    info->iIcon = drive->isFloppy ? 6 : 8;
    static char systemImageList;  // any nonzero handle
    return reinterpret_cast<DWORD_PTR>(&systemImageList);
  }
  return 1;
}

extern "C" BOOL WINAPI DestroyIcon(HICON icon) {
  if (Pc().DestroyIconHandle(icon)) return TRUE;
  SetLastError(ERROR_INVALID_HANDLE);
  return FALSE;
}
