// WriteImage: an unpacked disk image onto the disk in a drive, track by
// track, with every decision left to the caller's callback.
#include "image_writer.h"

#include <string>

#include "floppy_io.h"
#include "medium_query.h"

namespace {

// The image-file category's "Buffer too small": the image holds not even
// one track.
constexpr DWORD kErrorImageTooSmall = 0xFF070004;

LONG Raise(TWriteCallback callback, ULONG_PTR userData, int event, TWriteStatus &status,
           LONG preset) {
  LONG action = preset;
  if (callback) callback(userData, event, status, action);
  return action;
}

// Queries until a medium is found or the callback stops; capacity is what
// the successful query reported.
bool WaitForMedium(TWriteStatus &status, ULONG_PTR userData, TWriteCallback callback,
                   int64_t &capacity) {
  for (;;) {
    std::string label;
    bool mediumPresent = false;
    if (QueryMedium(status.DriveLetter, label, capacity, mediumPresent, status.Geometry) &&
        mediumPresent) {
      status.Success = 1;
      return true;
    }
    status.Success = 0;
    status.Error = GetLastError();
    if (Raise(callback, userData, kEventDriveFailed, status, kActionStop) == kActionStop) {
      ReleaseDrive();
      return false;
    }
  }
}

// Whether the geometry (as the callback left it) has a track at all and the
// image, cut to the capacity, holds one whole: otherwise nothing would be
// written, and that must not pass for a written disk.
bool HoldsWholeTrack(const TDiskGeometry &geometry, LONG imageSize) {
  uint64_t trackSize = static_cast<uint64_t>(geometry.SectorsPerTrack) * geometry.BytesPerSector;
  return geometry.Cylinders > 0 && geometry.TracksPerCylinder > 0 && trackSize > 0 &&
         imageSize >= 0 && trackSize <= static_cast<uint64_t>(imageSize);
}

enum class TTrackOutcome { Written, Skipped, Stop };

// Writes one track, raising event 2 before each attempt and event 3 after
// each failure, until it is written, skipped or the callback stops.
TTrackOutcome WriteOneTrack(TWriteStatus &status, ULONG_PTR userData, TWriteCallback callback,
                            const BYTE *data, DWORD trackSize) {
  for (;;) {
    if (Raise(callback, userData, kEventWriteTrack, status, kActionContinue) == kActionStop) {
      ReleaseDrive();
      return TTrackOutcome::Stop;
    }
    const TDiskGeometry &geometry = status.Geometry;
    DWORD size = trackSize;
    bool written =
        WriteTrack(status.DriveLetter, geometry, static_cast<DWORD>(status.Cylinder),
                   static_cast<DWORD>(status.Head), 0, geometry.SectorsPerTrack, data, size);
    if (written && geometry.SectorsPerTrack * geometry.BytesPerSector == trackSize) {
      status.Success = 1;
      return TTrackOutcome::Written;
    }
    status.Error = GetLastError();
    ReleaseDrive();
    status.Success = 0;
    LONG action = Raise(callback, userData, kEventTrackFailed, status, kActionStop);
    if (action == kActionStop) return TTrackOutcome::Stop;
    if (action == kActionContinue) return TTrackOutcome::Skipped;
  }
}

}  // namespace

bool WriteImage(char driveLetter, const BYTE *image, LONG imageSize, ULONG_PTR userData,
                TWriteCallback callback) {
  TWriteStatus status = {};
  status.DriveLetter = driveLetter;
  int64_t capacity = 0;
  if (!WaitForMedium(status, userData, callback, capacity)) return false;
  if (Raise(callback, userData, kEventDriveReady, status, kActionContinue) == kActionStop)
    return false;

  const DWORD trackSize = status.Geometry.SectorsPerTrack * status.Geometry.BytesPerSector;
  if (static_cast<int64_t>(imageSize) > capacity)
    imageSize = static_cast<LONG>(static_cast<DWORD>(capacity));
  if (!HoldsWholeTrack(status.Geometry, imageSize)) {
    SetLastError(kErrorImageTooSmall);
    return false;
  }

  for (status.Cylinder = 0; status.Cylinder != status.Geometry.Cylinders; ++status.Cylinder) {
    for (status.Head = 0; static_cast<DWORD>(status.Head) < status.Geometry.TracksPerCylinder;
         ++status.Head) {
      // In 64 bits: a geometry that the callback changed must not wrap the
      // offset back into the image.
      int64_t offset =
          static_cast<int64_t>(trackSize) *
          (status.Head + static_cast<int64_t>(status.Geometry.TracksPerCylinder) * status.Cylinder);
      if (offset > static_cast<int64_t>(imageSize) - trackSize) {
        // The image ends before the disk does: what was written must still
        // reach the disk and the volume be given back.
        ReleaseDrive();
        return true;
      }
      if (WriteOneTrack(status, userData, callback, image + offset, trackSize) ==
          TTrackOutcome::Stop)
        return false;
    }
  }
  ReleaseDrive();
  return true;
}
