// Writes an unpacked disk image to the disk in a drive, track by track,
// asking its caller through a callback at every decision.
#ifndef DISKARNO_FLOPPY_IMAGE_WRITER_H
#define DISKARNO_FLOPPY_IMAGE_WRITER_H

#include <windows.h>

#include "media.h"

struct TWriteStatus {
  char DriveLetter;
  TDiskGeometry Geometry;
  LONG Cylinder;
  LONG Head;
  BYTE Success;
  DWORD Error;
};

// Events.
constexpr int kEventDriveReady = 0;
constexpr int kEventDriveFailed = 1;
constexpr int kEventWriteTrack = 2;
constexpr int kEventTrackFailed = 3;
// Actions.
constexpr LONG kActionContinue = 0;
constexpr LONG kActionStop = 1;
constexpr LONG kActionRetry = 2;

typedef void (*TWriteCallback)(ULONG_PTR userData, int event, TWriteStatus &status, LONG &action);

// True when the writing ran to its end (skipped tracks included); false when
// it was stopped or did not get past the medium query or the size check,
// with the reason in the last error where one exists.
bool WriteImage(char driveLetter, const BYTE *image, LONG imageSize, ULONG_PTR userData,
                TWriteCallback callback);

#endif
