// Formatting floppy tracks through the FloppyIO layer's channels: the NT
// volume's format request, DOS's generic IOCTL on Windows 95/98/Me. Only
// the diskarno tool formats disks; the program never links this module.
#ifndef DISKARNO_FLOPPY_TRACK_FORMATTER_H
#define DISKARNO_FLOPPY_TRACK_FORMATTER_H

#include <windows.h>

#include "media.h"

// The parameter block of INT 21h 440Dh CL=40h and CL=60h (set and get
// device parameters), with the BPB in its 31-byte form; the track layout
// (a count, then each sector's number and size) follows it.
#pragma pack(push, 1)
struct DEVICEPARAMS {
  BYTE dpSpecFunc;
  BYTE dpDevType;
  WORD dpDevAttr;
  WORD dpCylinders;
  BYTE dpMediaType;
  WORD dpBytesPerSec;
  BYTE dpSecPerClust;
  WORD dpResSectors;
  BYTE dpFATs;
  WORD dpRootDirEnts;
  WORD dpSectors;
  BYTE dpMedia;
  WORD dpFATsecs;
  WORD dpSecPerTrack;
  WORD dpHeads;
  DWORD dpHiddenSecs;
  DWORD dpHugeSectors;
  BYTE dpReserved[6];
  WORD dpTrackLayoutCount;
};
// The block of INT 21h 440Dh CL=42h (format and verify track).
struct FVBLOCK {
  BYTE fvSpecFunc;
  WORD fvHead;
  WORD fvCylinder;
  WORD fvTracks;
};
#pragma pack(pop)
static_assert(sizeof(DEVICEPARAMS) == 40, "38 bytes and the track layout's count");
static_assert(sizeof(FVBLOCK) == 7, "the format and verify track block is 7 bytes");

// 440Dh CL=42h special functions: bit 0 asks only whether the drive can
// format the layout CL=40h set; DOS answers in fvSpecFunc.
constexpr BYTE kFormatCheckOnly = 0x01;
constexpr BYTE kFormatSupported = 0;
constexpr BYTE kFormatNoDisk = 3;

// The FAT parameters DOS keeps with a medium it lays out on Windows
// 95/98/Me (440Dh CL=40h); the tool's format table has them for each
// format.
struct TFormatBpb {
  BYTE sectorsPerCluster;
  WORD rootEntries;
  BYTE media;
  WORD sectorsPerFat;
};

// Whether the drive lays out a medium of geometry's media type (NT: one of
// the media types the drive lists) or of its sectors per track and
// cylinders with bpb (95/98/Me: DOS's answer to a format check). False
// with the system's code when the drive can't be asked.
bool CanFormat(char letter, const TDiskGeometry &geometry, const TFormatBpb &bpb,
               bool &supported);

// The geometry of the largest medium the drive formats.
bool LargestFormat(char letter, TDiskGeometry &geometry);

// Lays out the track at (cylinder, head) anew for a medium of geometry,
// every sector filled by the drive: NT: IOCTL_DISK_FORMAT_TRACKS on the
// volume, opened for reading and writing and locked; 95/98/Me: INT 21h
// 440Dh CL=42h, after CL=40h gave DOS the medium and the track layout (at
// cylinder 0, head 0), with bpb. False with the system's code.
bool FormatTrack(char letter, const TDiskGeometry &geometry, const TFormatBpb &bpb,
                 DWORD cylinder, DWORD head);

#endif
