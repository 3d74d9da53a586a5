// What the simulated PC's source files share among themselves.
#ifndef DISKARNO_WINAPI_SIM_SIM_INTERNAL_H
#define DISKARNO_WINAPI_SIM_SIM_INTERNAL_H

#include <string>

#include "sim_pc.h"

namespace sim {

// The drive named by a root path "X:\" (or "X:"), or nullptr.
Drive *DriveOfRoot(const char *rootPath);

// The device opener behind CreateFileA("\\.\NAME").
HANDLE OpenDevice(const std::string &path, DWORD access, DWORD share, DWORD creation, DWORD flags);
HANDLE OpenVolume(const std::string &path, char letter, DWORD access, DWORD share, DWORD creation,
                  DWORD flags);
HANDLE OpenVwin32(const std::string &path, DWORD access, DWORD share, DWORD creation, DWORD flags);

// Applies the drive's faults to a write of `length` bytes at byte `offset`
// of its medium. Returns 0 when the write may land, else the Win32 code it
// fails with. A landing write counts towards the removal of the medium.
DWORD CheckWrite(Drive &drive, int64_t offset, int64_t length);
// The same for a read: no medium, a sector outside it, a bad track; write
// protection does not stop a read.
DWORD CheckRead(Drive &drive, int64_t offset, int64_t length);
// Counts a good write; the medium leaves when the fault says so.
void CountGoodWrite(Drive &drive);
// Lays out the track at (cylinder, head) for a medium of layout's
// geometry, every byte 0xF6; a medium of another geometry takes the
// layout's first (its bytes cut or filled to the new size). 0, or the Win32
// code it fails with: no medium, write protection, a bad track.
DWORD FormatMediumTrack(Drive &drive, const DISK_GEOMETRY &layout, int64_t cylinder, DWORD head);
// Whether the drive lays out media of that geometry (its media-types list).
bool DriveFormats(const Drive &drive, const DISK_GEOMETRY &layout);

// Sets the last error and returns FALSE.
BOOL Fail(DWORD error);

// A device call of `kind` on `device`, stamped with the current error mode.
DeviceCall StartCall(Call kind, const std::string &device);
// The same for an open of `device`, with the arguments CreateFileA got.
DeviceCall StartOpenCall(const std::string &device, DWORD access, DWORD share, DWORD creation,
                         DWORD flags);

// Logs a device call with its outcome (`error` 0 is success), sets the last
// error on failure, and returns what the API function returns.
BOOL FinishCall(DeviceCall &call, DWORD error);

}  // namespace sim

#endif
