// The track transfer read, write, verify and pack share: whole disks moved
// track by track with the live status line, a stop between two tracks on a
// signal, and the verify pass.
#ifndef DISKARNO_TOOLS_DISKARNO_TRANSFER_H
#define DISKARNO_TOOLS_DISKARNO_TRANSFER_H

#include <functional>
#include <string>
#include <vector>

#include "context.h"
#include "disk.h"
#include "status.h"

// A run of sectors of one track that can't be read, and the system's text.
struct TBadSectors {
  DWORD track;
  DWORD first;  // 0-based
  DWORD count;
  std::string error;
};
// "sectors 3 to 5 of track 6 (cylinder 2, head 1)"; a whole track by its
// name alone.
std::string BadSectorsName(const TDiskGeometry &geometry, const TBadSectors &bad);

// Reads the track into data. A failed read is tried once more, then sector
// by sector, so that only the sectors that fail are left zeros; their runs
// go to bad. False when any sector failed, or at once when a read found the
// disk changed (disk.Changed(); then nothing more goes to bad).
bool RescueTrack(TDisk &disk, DWORD track, BYTE *data, std::vector<TBadSectors> &bad);

// Opens drive and reads it whole, every track as RescueTrack reads it. A
// sector that can't be read stops the read (Failed) unless keepGoing: then
// it stays zeros and its run goes to bad. A disk changed during the run
// stops it whatever keepGoing says. Bytes of a device past the
// largest floppy format (--force) are said to be left out. unwritten ends
// the message of a stopped or failed read ("x.img not written").
struct TReadRequest {
  std::string drive;
  bool force = false;
  bool quiet = false;
  bool keepGoing = false;
  std::string unwritten;
};
TStatus ReadDrive(const TReadRequest &request, TToolContext &context, std::vector<BYTE> &image,
                  std::vector<TBadSectors> &bad, TDiskGeometry &geometry);

// Refused unless the image of path (size bytes) fits the disk in whole
// tracks.
TStatus ImageFits(const TDisk &disk, const std::string &path, size_t size);

// Writes the first count tracks of image onto the disk and flushes them.
// Stopped says how many tracks the disk now holds.
TStatus WriteWholeTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                         TToolContext &context);

// Reads the first count tracks back as RescueTrack reads them and compares
// them with image, saying every run of sectors that can't be read and every
// track whose readable sectors differ; differ ends the closing count line
// ("differ"). whenStopped ends the message of a stopped pass.
TStatus VerifyTracks(TDisk &disk, const std::vector<BYTE> &image, DWORD count, bool quiet,
                     const std::string &whenStopped, const std::string &differ,
                     TToolContext &context);

// One pass over tracks 0 to count - 1 with the status line ("Formatting
// track 3/160, 1 %") and a stop between two tracks; step does each track,
// and its failure ends the pass. A stopped pass's message ends with
// whenStopped.
TStatus TrackPass(DWORD count, bool quiet, const char *doing, TToolContext &context,
                  const std::function<TStatus(DWORD track)> &step, const std::string &whenStopped);

#endif
