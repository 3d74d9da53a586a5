// The simulated PC behind the Win32 stand-in in tests: the platform family
// and version, drive letters with their types and shell names, floppy drives
// with media, the NT volume devices (\\.\A:, \\.\B:), the \\.\VWIN32 device,
// the process error mode, fault switches and a log of every device call.
//
// One machine per process, reached through sim::Pc(). A test typically does:
//
//   sim::Pc().Reset();                       // NT (Windows XP), no drives
//   sim::Pc().SetWindows98();                // or SetWindows95(), SetWindowsNt()
//   sim::Pc().AddFloppyDrive('A');           // a 1.44 MB drive, empty
//   sim::Pc().AddDrive('C', DRIVE_FIXED, "Local Disk (C:)");
//   sim::Pc().InsertMedium('A', sim::Floppy144(imageBytes));
//   ... run product code ...
//   EXPECT_EQ(sim::Pc().MediumIn('A')->bytes, expected);
//   EXPECT_EQ(sim::Pc().Count(sim::Call::Lock), 1u);
//
// A medium's file-system view (label, free space, root folder) is read from
// its bytes (FAT12/FAT16 boot sector and root folder) at every query, unless
// the test sets Medium::fileSystem explicitly.
#ifndef DISKARNO_WINAPI_SIM_SIM_PC_H
#define DISKARNO_WINAPI_SIM_SIM_PC_H

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#ifndef ERROR_BAD_COMMAND
#define ERROR_BAD_COMMAND 22L
#endif
#ifndef ERROR_NO_MORE_FILES
#define ERROR_NO_MORE_FILES 18L
#endif
#ifndef ERROR_NOT_LOCKED
#define ERROR_NOT_LOCKED 158L
#endif
#ifndef ERROR_UNRECOGNIZED_MEDIA
#define ERROR_UNRECOGNIZED_MEDIA 1785L
#endif

namespace sim {

// The VWIN32 register block as the device reads it: the address-carrying
// registers are pointer-sized, as in the product's DIOC_REGISTERS.
struct DiocRegisters {
  DWORD_PTR reg_EBX;
  DWORD_PTR reg_EDX;
  DWORD reg_ECX;
  DWORD reg_EAX;
  DWORD reg_EDI;
  DWORD_PTR reg_ESI;
  DWORD reg_Flags;
};

#pragma pack(push, 1)
struct DiskIoPacket {
  DWORD startSector;
  WORD sectors;
  DWORD_PTR buffer;
};
#pragma pack(pop)

// As the 32-bit device reads them, in a 32-bit build.
static_assert(sizeof(void *) != 4 || sizeof(DiocRegisters) == 28, "28-byte register block");
static_assert(sizeof(void *) != 4 || sizeof(DiskIoPacket) == 10, "10-byte DISKIO packet");

// One entry of a folder: "NAME.EXT" in the root, "SUB\NAME.EXT" below it.
struct FileEntry {
  std::string path;
  DWORD attributes = FILE_ATTRIBUTE_ARCHIVE;
  DWORD size = 0;
};

// What the file system of a medium tells GetDiskFreeSpaceA,
// GetVolumeInformationA and FindFirstFileA.
struct FileSystem {
  std::string label;
  DWORD serialNumber = 0x1234ABCD;
  DWORD sectorsPerCluster = 1;
  DWORD bytesPerSector = 512;
  DWORD freeClusters = 0;
  DWORD totalClusters = 0;
  std::vector<FileEntry> entries;
};

struct Medium {
  DISK_GEOMETRY geometry = {};
  std::vector<unsigned char> bytes;  // the whole disk, cylinder by cylinder
  bool writeProtected = false;
  // Unset: read from the bytes at every query (none there = unformatted).
  std::optional<FileSystem> fileSystem;
};

// A disk of the given geometry; the bytes are cut or zero-filled to its size.
Medium MakeMedium(DWORD mediaType, int64_t cylinders, DWORD heads, DWORD sectors,
                  DWORD bytesPerSector, std::vector<unsigned char> bytes = {});
Medium Floppy144(std::vector<unsigned char> bytes = {});  // 80 x 2 x 18 x 512
Medium Floppy720(std::vector<unsigned char> bytes = {});  // 80 x 2 x 9 x 512

// The file-system view of FAT12/FAT16 bytes, or nothing when the boot sector
// holds no usable parameter block.
std::optional<FileSystem> ReadFatFileSystem(const std::vector<unsigned char> &bytes);

enum class FloppyKind { F5_360, F5_1Pt2, F3_720, F3_1Pt44, F3_2Pt88 };

// Who answers the NT volume's requests: a Windows floppy driver, or Wine's
// volume over an image file (no geometry or length request, a media-types
// answer of another record layout; the size of the file as the volume's).
enum class VolumeDriver { Windows, Wine };

struct TrackFault {
  int64_t cylinder;
  DWORD head;
  int remaining;  // device requests (reads and writes) still to fail
  DWORD error;    // Win32 code; the VWIN32 device answers its DOS equivalent
};

struct Drive {
  char letter = 0;
  UINT type = DRIVE_NO_ROOT_DIR;
  std::string displayName;  // SHGetFileInfoA's SHGFI_DISPLAYNAME answer
  bool shellInfoFails = false;
  bool isFloppy = false;
  VolumeDriver volumeDriver = VolumeDriver::Windows;
  // Floppy drives: what IOCTL_STORAGE_GET_MEDIA_TYPES lists (24-byte records).
  std::vector<DISK_GEOMETRY> supported;
  // Floppy drives: what INT 21h 440Dh reports (the drive's default medium).
  BYTE dosDeviceType = 7;
  DISK_GEOMETRY dosGeometry = {};
  std::optional<Medium> medium;
  std::optional<Medium> removedMedium;  // the last medium taken out
  // What INT 21h 440Dh CL=40h last set for a format: the medium's geometry.
  std::optional<DISK_GEOMETRY> dosFormatLayout;
  // Faults.
  bool filesOpen = false;            // FSCTL_LOCK_VOLUME fails with ERROR_ACCESS_DENIED
  DWORD volumeOpenError = 0;         // nonzero: CreateFileA of \\.\X: fails with it
  int removeMediumAfterWrites = -1;  // the medium leaves after this many good writes
  DWORD shortWriteBytes = 0;         // a volume write reports this many bytes fewer written
  int64_t seekSkew = 0;              // SetFilePointer on the volume lands this far off
  // A volume read across the end of the medium's bytes returns those before
  // it, as the end of a volume or image file does, instead of failing.
  bool shortReadAtEnd = false;
  std::vector<TrackFault> trackFaults;
  // State.
  const void *lockOwner = nullptr;
  int goodWrites = 0;
};

enum class Call {
  Open,           // CreateFileA of a device
  Close,          // its CloseHandle
  Lock,           // FSCTL_LOCK_VOLUME
  Unlock,         // FSCTL_UNLOCK_VOLUME
  GetGeometry,    // IOCTL_DISK_GET_DRIVE_GEOMETRY
  GetMediaTypes,  // IOCTL_STORAGE_GET_MEDIA_TYPES
  OtherControl,   // any other control code on a volume
  SetPointer,     // SetFilePointer on a volume (offset = new position)
  Write,          // WriteFile on a volume
  Read,           // ReadFile on a volume
  Flush,          // FlushFileBuffers on a volume
  GetSize,        // GetFileSizeEx / GetFileSize on a volume
  DosIoctl,       // VWIN32 code 1: INT 21h 440Dh (code = CX)
  ExtendedWrite,  // VWIN32 code 6: INT 21h 7305h
  AbsoluteWrite,  // VWIN32 code 3: INT 26h
  ExtendedRead,   // VWIN32 code 6: INT 21h 7305h with SI bit 0 clear
  AbsoluteRead,   // VWIN32 code 2: INT 25h
  DiskReset,      // VWIN32 code 4: INT 13h
  FormatTrack,    // IOCTL_DISK_FORMAT_TRACKS, or INT 21h 440Dh CL=42h (offset: the track's)
  VwinOther,      // VWIN32, any other control code or function
};

struct DeviceCall {
  Call kind;
  std::string device;                                    // "\\.\A:" or "\\.\VWIN32"
  char drive = 0;                                        // the drive addressed, when there is one
  DWORD access = 0, share = 0, creation = 0, flags = 0;  // Open
  DWORD code = 0;      // control code (volumes), CX (440Dh), VWIN32 control code otherwise
  int64_t offset = 0;  // byte offset of a read or write, or a new file pointer
  DWORD length = 0;    // bytes of a read or write
  DWORD startSector = 0, sectors = 0;  // VWIN32 reads and writes
  bool ok = false;                     // what DeviceIoControl / WriteFile / ... returned
  DWORD error = 0;                     // the Win32 code when !ok
  bool carry = false;                  // VWIN32: the carry flag handed back
  DWORD ax = 0;                        // VWIN32: AX handed back
  UINT errorMode = 0;                  // the process error mode during the call
  bool contractViolation = false;      // the caller broke the device's contract
};

class Machine {
 public:
  Machine();
  // A Windows XP machine without drives, faults or log; error mode 0.
  void Reset();

  // Platform family and version (GetVersionExA).
  void SetWindowsNt(DWORD major = 5, DWORD minor = 1, DWORD build = 2600);
  // build: the low 16 bits; the high word gets major and minor as 9x does.
  void SetWindows9x(DWORD major, DWORD minor, DWORD build);
  void SetWindows95() { SetWindows9x(4, 0, 950); }    // no FAT32 services
  void SetWindows98() { SetWindows9x(4, 10, 2222); }  // FAT32 services
  void SetWindowsMe() { SetWindows9x(4, 90, 3000); }
  void FailVersionQuery(bool fail) { versionQueryFails_ = fail; }
  bool VersionQueryFails() const { return versionQueryFails_; }
  bool IsNt() const { return platformId_ == VER_PLATFORM_WIN32_NT; }
  bool HasFat32Services() const;
  const OSVERSIONINFOA &Version() const { return version_; }
  DWORD PlatformId() const { return platformId_; }

  // Drives. A returned reference holds until the next drive is added; a
  // drive added again under the same letter replaces the old one.
  Drive &AddDrive(char letter, UINT type, const std::string &displayName);
  Drive &AddFloppyDrive(char letter, FloppyKind kind = FloppyKind::F3_1Pt44);
  Drive *FindDrive(char letter);  // nullptr when the letter is not there
  // Adds a 1.44 MB floppy drive first when the letter has no drive.
  void InsertMedium(char letter, Medium medium);
  void RemoveMedium(char letter);
  Medium *MediumIn(char letter);  // nullptr when the drive is empty
  // The medium last taken out of the drive (by RemoveMedium or a fault).
  Medium *RemovedMedium(char letter);

  // Faults.
  void SetWriteProtected(char letter, bool on);
  void SetFilesOpen(char letter, bool on);
  void FailVolumeOpen(char letter, DWORD error);
  void SetVolumeDriver(char letter, VolumeDriver driver);
  void RemoveMediumAfterWrites(char letter, int writes);
  void FailTrack(char letter, int64_t cylinder, DWORD head, int times, DWORD error);
  // The next `times` DeviceIoControl calls on \\.\VWIN32 fail with `error`
  // (times < 0: all of them).
  void FailDeviceIoControl(DWORD error, int times = -1);

  // What the program did.
  UINT ErrorMode() const { return errorMode_; }
  void SetErrorModeValue(UINT mode) { errorMode_ = mode; }
  const std::vector<DeviceCall> &Log() const { return log_; }
  std::vector<DeviceCall> Calls(Call kind) const;
  size_t Count(Call kind) const;
  void ClearLog() { log_.clear(); }
  size_t ContractViolations() const;
  // Boxes the system would have shown ("There is no disk in the drive")
  // because a drive without a medium was touched without
  // SEM_FAILCRITICALERRORS: the file-system queries, a volume's flush and
  // writes, the VWIN32 disk writes.
  int CriticalErrorBoxes() const { return criticalErrorBoxes_; }
  size_t LiveIcons() const { return liveIcons_.size(); }

  // Used by the devices and the API functions.
  void Record(const DeviceCall &call) { log_.push_back(call); }
  // Shows a critical-error box unless the error mode suppresses it.
  void CriticalError();
  bool TakeDeviceIoControlFault(DWORD &error);
  HICON NewIcon();
  bool DestroyIconHandle(HICON icon);
  DWORD LogicalDrives() const;

 private:
  void SetVersion(DWORD platformId, DWORD major, DWORD minor, DWORD build);

  OSVERSIONINFOA version_ = {};
  DWORD platformId_ = VER_PLATFORM_WIN32_NT;
  bool versionQueryFails_ = false;
  std::vector<Drive> drives_;
  UINT errorMode_ = 0;
  std::vector<DeviceCall> log_;
  int criticalErrorBoxes_ = 0;
  DWORD ioctlFaultError_ = 0;
  int ioctlFaultsLeft_ = 0;
  std::vector<uintptr_t> liveIcons_;
  uintptr_t nextIcon_ = 0x5000;
};

Machine &Pc();

// The geometry record of a standard medium.
DISK_GEOMETRY Geometry(DWORD mediaType, int64_t cylinders, DWORD heads, DWORD sectors,
                       DWORD bytesPerSector);

}  // namespace sim

#endif
