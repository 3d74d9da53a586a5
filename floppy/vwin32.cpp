// The VWIN32 channel of the FloppyIO layer: DOS and BIOS disk services of
// Windows 95/98/Me through DeviceIoControl on \\.\VWIN32.
#include "error_mode.h"
#include "floppy_io.h"

namespace {

// Null or INVALID_HANDLE_VALUE: no channel. Starting out null keeps the
// module's state out of the program's initialised data.
HANDLE vwinHandle = nullptr;
DWORD vwinLastError = 0;
// The VWIN32 module's own copy of the version record, for its platform test.
OSVERSIONINFOA vwinVersion;

constexpr DWORD kUsePacket = 0xFFFFFFFF;
constexpr DWORD kExtendedAbsoluteDiskIo = 0x7305;
constexpr DWORD kExtendedWriteFlag = 1;

bool HandleOpen() {
  return vwinHandle != nullptr && vwinHandle != INVALID_HANDLE_VALUE;
}

bool ChannelOpen() {
  if (HandleOpen()) return true;
  if (vwinVersion.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS) {
    vwinLastError = kVwinNotWin9x;
    return false;
  }
  vwinHandle = CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (vwinHandle == INVALID_HANDLE_VALUE) vwinLastError = kVwinOpenFailed;
  return vwinLastError == 0;
}

bool CarrySet(const DIOC_REGISTERS &registers) {
  return (registers.reg_Flags & kCarryFlag) != 0;
}

DISKIO PacketOf(DWORD startSector, WORD count, const BYTE *data) {
  DISKIO packet;
  packet.dwStartSector = startSector;
  packet.wSectors = count;
  packet.dwBuffer = reinterpret_cast<DWORD_PTR>(data);
  return packet;
}

// INT 21h 7305h; SI bit 0 chooses between writing (1) and reading (0).
bool ExtendedAbsoluteIo(BYTE dosDrive, DISKIO &packet, DWORD direction) {
  DIOC_REGISTERS registers = {};
  registers.reg_EAX = kExtendedAbsoluteDiskIo;
  registers.reg_EBX = reinterpret_cast<DWORD_PTR>(&packet);
  registers.reg_ECX = kUsePacket;
  registers.reg_EDX = dosDrive;
  registers.reg_ESI = direction;
  return VwinCall(VWIN32_DIOC_DOS_DRIVEINFO, registers) && !CarrySet(registers);
}

// INT 25h (read) or INT 26h (write) on the drive index; a DOS failure leaves
// its code from AL in VwinLastError.
bool AbsoluteIo(DWORD controlCode, BYTE dosDrive, DISKIO &packet) {
  DIOC_REGISTERS registers = {};
  registers.reg_EAX = static_cast<DWORD>(dosDrive - 1);
  registers.reg_EBX = reinterpret_cast<DWORD_PTR>(&packet);
  registers.reg_ECX = kUsePacket;
  if (!VwinCall(controlCode, registers)) return false;
  if (CarrySet(registers)) {
    vwinLastError = kVwinInt26Error + (registers.reg_EAX & 0xFF);
    return false;
  }
  return true;
}

}  // namespace

void VwinStartup() {
  vwinVersion = OSVERSIONINFOA();
  vwinVersion.dwOSVersionInfoSize = sizeof vwinVersion;
  if (!GetVersionExA(&vwinVersion)) vwinVersion.dwPlatformId = VER_PLATFORM_WIN32s;
}

DWORD VwinLastError() {
  return vwinLastError;
}

void SetVwinLastError(DWORD value) {
  vwinLastError = value;
}

bool VwinCall(DWORD controlCode, DIOC_REGISTERS &registers) {
  // DOS reaches the disk for most services; an empty drive must fail the
  // call, not ask the user.
  TErrorModeScope errorMode;
  vwinLastError = 0;
  if (controlCode == VWIN32_DIOC_CLOSE) {
    if (HandleOpen()) CloseHandle(vwinHandle);
    vwinHandle = nullptr;
    return true;
  }
  if (!ChannelOpen()) return false;
  DWORD returned = 0;
  if (!DeviceIoControl(vwinHandle, controlCode, &registers, sizeof registers, &registers,
                       sizeof registers, &returned, nullptr)) {
    vwinLastError = kVwinDeviceIoFailed;
    return false;
  }
  return true;
}

void VwinResetDisk() {
  DIOC_REGISTERS registers = {};  // AH 00h: reset; DL 00h: the first floppy drive
  VwinCall(VWIN32_DIOC_DOS_INT13, registers);
}

bool VwinAbsoluteWrite(BYTE dosDrive, DWORD startSector, WORD count, const BYTE *data) {
  DISKIO packet = PacketOf(startSector, count, data);
  if (HasFat32Services && ExtendedAbsoluteIo(dosDrive, packet, kExtendedWriteFlag)) return true;
  return AbsoluteIo(VWIN32_DIOC_DOS_INT26, dosDrive, packet);
}

bool VwinAbsoluteRead(BYTE dosDrive, DWORD startSector, WORD count, BYTE *data) {
  DISKIO packet = PacketOf(startSector, count, data);
  if (HasFat32Services && ExtendedAbsoluteIo(dosDrive, packet, 0)) return true;
  return AbsoluteIo(VWIN32_DIOC_DOS_INT25, dosDrive, packet);
}
