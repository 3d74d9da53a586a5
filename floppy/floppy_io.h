// The FloppyIO layer: raw writes to drives A: and B: on both Windows
// families, through the locked volume \\.\A: on the NT family and through
// the \\.\VWIN32 device on Windows 95/98/Me. One process-wide channel per
// family, opened on demand and kept between track writes.
#ifndef DISKARNO_FLOPPY_FLOPPY_IO_H
#define DISKARNO_FLOPPY_FLOPPY_IO_H

#include <windows.h>

#include "media.h"

constexpr DWORD kErrorFloppyCategory = 0xF0270000;
constexpr DWORD kErrorReadBufferSize = 0xF0270001;
constexpr DWORD kErrorWriteBufferSize = 0xF0270002;
constexpr DWORD kErrorNotFloppyDrive = 0xF0270003;
constexpr DWORD kErrorTrackPosition = 0xF0270004;
constexpr DWORD kErrorInvalidMediaType = 0xF0270005;

// VwinLastError values.
constexpr DWORD kVwinDeviceIoFailed = 0x100000;
constexpr DWORD kVwinNotWin9x = 0x200000;
constexpr DWORD kVwinOpenFailed = 0x300000;
constexpr DWORD kVwinInt26Error = 0x10000;  // + the DOS error code in AL

// VWIN32 control codes.
constexpr DWORD VWIN32_DIOC_CLOSE = 0;
constexpr DWORD VWIN32_DIOC_DOS_IOCTL = 1;
constexpr DWORD VWIN32_DIOC_DOS_INT25 = 2;
constexpr DWORD VWIN32_DIOC_DOS_INT26 = 3;
constexpr DWORD VWIN32_DIOC_DOS_INT13 = 4;
constexpr DWORD VWIN32_DIOC_DOS_DRIVEINFO = 6;

constexpr DWORD kCarryFlag = 1;

// The VWIN32 register block. The registers that carry an address are
// pointer-sized so that the record keeps its documented 28 bytes on 32-bit
// Windows and still carries whole addresses in the 64-bit builds.
struct DIOC_REGISTERS {
  DWORD_PTR reg_EBX;
  DWORD_PTR reg_EDX;
  DWORD reg_ECX;
  DWORD reg_EAX;
  DWORD reg_EDI;
  DWORD_PTR reg_ESI;
  DWORD reg_Flags;
};

// The DOS disk transfer packet of INT 26h and INT 21h 7305h.
#pragma pack(push, 1)
struct DISKIO {
  DWORD dwStartSector;
  WORD wSectors;
  DWORD_PTR dwBuffer;
};
#pragma pack(pop)

// The documented sizes wherever an address is 32 bits: the 32-bit program,
// and the 32-bit Linux build of the tests.
static_assert(sizeof(void *) != 4 || sizeof(DIOC_REGISTERS) == 28,
              "the VWIN32 register block is 28 bytes");
static_assert(sizeof(void *) != 4 || sizeof(DISKIO) == 10, "the DISKIO packet is 10 bytes");

// Set at start-up from the version record.
extern bool IsNtPlatform;
extern bool HasFat32Services;

// True with the index (0 for A, 1 for B) for 'A', 'B', 'a', 'b'; otherwise
// false with 0xF0270003.
bool CheckFloppyDrive(char letter, BYTE &driveIndex);

// Writes count sectors from firstSector (0-based) of the track at
// (cylinder, head); size must be count x bytes per sector. False with a
// FloppyIO code or the system's code.
bool WriteTrack(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
                DWORD firstSector, DWORD count, const BYTE *data, const DWORD &size);

// Reads count sectors from firstSector (0-based) of the track at
// (cylinder, head) into data; size must be count x bytes per sector. The
// same channels, checks and retries as WriteTrack; built into the tool only
// (floppy/track_reader.cpp). False with a FloppyIO code (0xF0270001 for a
// wrong size) or the system's code.
bool ReadTrack(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
               DWORD firstSector, DWORD count, BYTE *data, const DWORD &size);

// Gives back whatever channel is open. Harmless when nothing is.
void ReleaseDrive();

// The checks of every track request, in this order: the drive letter, the
// track position, the sector run within the track, the buffer size (else
// sizeError). True with the drive index and the run's byte offset.
bool CheckTrackRequest(char letter, const TDiskGeometry &geometry, DWORD cylinder, DWORD head,
                       DWORD firstSector, DWORD count, DWORD size, DWORD sizeError,
                       BYTE &driveIndex, DWORD &offset);

// NT channel. A request is a positioned write, a device-control request, or
// the volume's length.
enum class TNtRequestKind { Write, Control, Length };
struct TNtRequest {
  TNtRequestKind Kind;
  DWORD Offset;       // write: byte offset on the volume
  const void *Data;   // write: the bytes
  DWORD Length;       // write: their count
  DWORD ControlCode;  // device control
  void *InBuffer;
  DWORD InSize;
  void *OutBuffer;
  DWORD OutSize;
  LONGLONG *VolumeLength;  // length: receives the volume's size in bytes
};
TNtRequest NtWriteRequest(DWORD offset, const void *data, DWORD length);
TNtRequest NtControlRequest(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize);
TNtRequest NtLengthRequest(LONGLONG *volumeLength);
// Makes the channel the open, locked volume of the drive with that access
// and share mode, reusing it when it matches. False with the open's or the
// lock's code; the channel is then empty. The caller runs it under
// TErrorModeScope.
bool NtAcquire(BYTE driveIndex, DWORD access, DWORD shareMode);
HANDLE NtHandle();
// Opens and locks the volume unless the open channel matches drive, access
// and share mode, then performs the request. The channel stays open and
// locked afterwards, whatever the outcome.
bool NtRequest(BYTE driveIndex, DWORD access, DWORD shareMode, const TNtRequest &request);
// Flushes (a channel opened for writing), unlocks and closes the volume,
// then forgets the channel. The last error stays as it was.
void NtRelease();

// VWIN32 channel. Code 0 closes the channel and returns true. Otherwise true
// when the transport worked; the caller tests the carry flag.
bool VwinCall(DWORD controlCode, DIOC_REGISTERS &registers);
void VwinResetDisk();
bool VwinAbsoluteWrite(BYTE dosDrive, DWORD startSector, WORD count, const BYTE *data);
bool VwinAbsoluteRead(BYTE dosDrive, DWORD startSector, WORD count, BYTE *data);
// One DOS transfer of a sector run; false with VwinLastError set.
typedef bool (*TVwinTransfer)(BYTE dosDrive, DWORD startSector, WORD count, BYTE *data);
// Up to two attempts, with a disk-system reset after each failed one (the
// last too). Clears the last error first; on false, kept is the
// VwinLastError of the last attempt.
bool VwinTransferRetried(TVwinTransfer transfer, BYTE dosDrive, DWORD startSector, WORD count,
                         BYTE *data, DWORD &kept);
DWORD VwinLastError();
void SetVwinLastError(DWORD value);
// Takes the VWIN32 module's own copy of the version record.
void VwinStartup();

// Start-up registers the FloppyIO texts and reads the platform; shutdown
// gives back both channels.
void FloppyIoStartup();
void FloppyIoShutdown();

#endif
