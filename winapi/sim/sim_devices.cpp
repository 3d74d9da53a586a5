// Device paths of the simulated PC, DeviceIoControl, and the faults that the
// disk devices share.
#include <cctype>
#include <cstring>

#include "kernel_object.h"
#include "sim_internal.h"

namespace sim {

namespace {

std::string UpperPath(std::string path) {
  for (char &c : path) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return path;
}

// The machine exists, and routes device paths, before any test runs.
const bool kMachineReady = (Pc(), true);

}  // namespace

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

DeviceCall StartCall(Call kind, const std::string &device) {
  DeviceCall call;
  call.kind = kind;
  call.device = device;
  call.errorMode = Pc().ErrorMode();
  return call;
}

DeviceCall StartOpenCall(const std::string &device, DWORD access, DWORD share, DWORD creation,
                         DWORD flags) {
  DeviceCall call = StartCall(Call::Open, device);
  call.access = access;
  call.share = share;
  call.creation = creation;
  call.flags = flags;
  return call;
}

BOOL FinishCall(DeviceCall &call, DWORD error) {
  call.ok = error == 0;
  call.error = error;
  Pc().Record(call);
  if (error) SetLastError(error);
  return error == 0;
}

HANDLE OpenDevice(const std::string &path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  (void)kMachineReady;
  std::string name = UpperPath(path.substr(4));
  if (name == "VWIN32") return OpenVwin32(path, access, share, creation, flags);
  if (name.size() == 2 && name[1] == ':' && isalpha(static_cast<unsigned char>(name[0])))
    return OpenVolume(path, name[0], access, share, creation, flags);
  SetLastError(ERROR_FILE_NOT_FOUND);
  return INVALID_HANDLE_VALUE;
}

namespace {

// The first bad-track fault that the request meets, counted down; 0 when none.
DWORD TrackFaultOf(Drive &drive, int64_t offset, int64_t length) {
  const DISK_GEOMETRY &geometry = drive.medium->geometry;
  int64_t trackBytes = static_cast<int64_t>(geometry.SectorsPerTrack) * geometry.BytesPerSector;
  if (trackBytes == 0 || geometry.TracksPerCylinder == 0) return 0;
  int64_t firstTrack = offset / trackBytes;
  int64_t lastTrack = (offset + length - 1) / trackBytes;
  for (TrackFault &fault : drive.trackFaults) {
    int64_t track = fault.cylinder * geometry.TracksPerCylinder + fault.head;
    if (fault.remaining > 0 && track >= firstTrack && track <= lastTrack) {
      --fault.remaining;
      return fault.error;
    }
  }
  return 0;
}

DWORD CheckAccess(Drive &drive, int64_t offset, int64_t length, bool write) {
  if (!drive.medium) {
    Pc().CriticalError();
    return ERROR_NOT_READY;
  }
  Medium &medium = *drive.medium;
  if (write && medium.writeProtected) return ERROR_WRITE_PROTECT;
  if (offset < 0 || length <= 0 || offset + length > static_cast<int64_t>(medium.bytes.size()))
    return ERROR_SECTOR_NOT_FOUND;
  return TrackFaultOf(drive, offset, length);
}

}  // namespace

DWORD CheckWrite(Drive &drive, int64_t offset, int64_t length) {
  return CheckAccess(drive, offset, length, true);
}

DWORD CheckRead(Drive &drive, int64_t offset, int64_t length) {
  return CheckAccess(drive, offset, length, false);
}

bool DriveFormats(const Drive &drive, const DISK_GEOMETRY &layout) {
  for (const DISK_GEOMETRY &supported : drive.supported)
    if (supported.Cylinders.QuadPart == layout.Cylinders.QuadPart &&
        supported.TracksPerCylinder == layout.TracksPerCylinder &&
        supported.SectorsPerTrack == layout.SectorsPerTrack &&
        supported.BytesPerSector == layout.BytesPerSector)
      return true;
  return false;
}

DWORD FormatMediumTrack(Drive &drive, const DISK_GEOMETRY &layout, int64_t cylinder, DWORD head) {
  if (!drive.medium) return ERROR_NOT_READY;
  Medium &medium = *drive.medium;
  if (medium.writeProtected) return ERROR_WRITE_PROTECT;
  if (cylinder < 0 || cylinder >= layout.Cylinders.QuadPart || head >= layout.TracksPerCylinder)
    return ERROR_INVALID_PARAMETER;
  if (memcmp(&medium.geometry, &layout, sizeof layout) != 0) {
    medium.geometry = layout;
    medium.bytes.resize(static_cast<size_t>(layout.Cylinders.QuadPart) * layout.TracksPerCylinder *
                        layout.SectorsPerTrack * layout.BytesPerSector);
  }
  const int64_t trackBytes = static_cast<int64_t>(layout.SectorsPerTrack) * layout.BytesPerSector;
  const int64_t offset = (cylinder * layout.TracksPerCylinder + head) * trackBytes;
  if (DWORD fault = TrackFaultOf(drive, offset, trackBytes)) return fault;
  memset(medium.bytes.data() + offset, 0xF6, static_cast<size_t>(trackBytes));
  return 0;
}

void CountGoodWrite(Drive &drive) {
  ++drive.goodWrites;
  if (drive.removeMediumAfterWrites >= 0 && drive.goodWrites >= drive.removeMediumAfterWrites) {
    Pc().RemoveMedium(drive.letter);
    drive.removeMediumAfterWrites = -1;
  }
}

}  // namespace sim

extern "C" BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID in, DWORD inSize,
                                       LPVOID out, DWORD outSize, LPDWORD returned, LPOVERLAPPED) {
  DWORD ignored = 0;
  if (!returned) returned = &ignored;
  *returned = 0;
  winapi::KernelObject *object = winapi::LookupObject(device);
  return object ? object->Control(code, in, inSize, out, outSize, returned) : FALSE;
}
