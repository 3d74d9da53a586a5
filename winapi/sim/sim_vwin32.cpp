// The \\.\VWIN32 device of the simulated Windows 95/98/Me: DOS and BIOS disk
// services run from a register block, with the carry flag and AX as DOS
// leaves them.
#include <cstring>
#include <memory>

#include "kernel_object.h"
#include "sim_internal.h"

namespace sim {

namespace {

constexpr DWORD kCarry = 1;

struct DosAnswer {
  bool carry;
  DWORD ax;
};

constexpr DosAnswer kDone = {false, 0};

DosAnswer DosError(DWORD ax) {
  return DosAnswer{true, ax};
}

// INT 25h and 26h report the DOS driver error in AL and the BIOS status in AH.
DWORD Int26Code(DWORD error) {
  switch (error) {
    case ERROR_WRITE_PROTECT:
      return 0x0300;
    case ERROR_BAD_COMMAND:
      return 0x0103;  // AL 03h: unknown command
    case ERROR_NOT_READY:
      return 0x8002;
    case ERROR_CRC:
      return 0x1004;
    case ERROR_SECTOR_NOT_FOUND:
      return 0x0408;
    case ERROR_WRITE_FAULT:
      return 0x200A;
    case ERROR_WRONG_DISK:
      return 0x000F;  // AL 0Fh: invalid disk change
    default:
      return 0x200C;  // general failure
  }
}

// INT 21h answers DOS extended error codes, which Win32 codes 19 to 31 and 34
// share.
DWORD ExtendedCode(DWORD error) {
  return (error >= ERROR_WRITE_PROTECT && error <= ERROR_GEN_FAILURE) || error == ERROR_WRONG_DISK
             ? error
             : ERROR_GEN_FAILURE;
}

void Put16(BYTE *block, size_t at, DWORD value) {
  block[at] = static_cast<BYTE>(value);
  block[at + 1] = static_cast<BYTE>(value >> 8);
}

void Put32(BYTE *block, size_t at, DWORD value) {
  Put16(block, at, value & 0xFFFF);
  Put16(block, at + 2, value >> 16);
}

struct DefaultBpb {
  DWORD sectorsPerCluster, rootEntries, mediaDescriptor, sectorsPerFat;
};

DefaultBpb BpbOf(const DISK_GEOMETRY &geometry) {
  switch (geometry.SectorsPerTrack) {
    case 9:
      return geometry.Cylinders.QuadPart == 40 ? DefaultBpb{2, 112, 0xFD, 2}
                                               : DefaultBpb{2, 112, 0xF9, 3};
    case 15:
      return {1, 224, 0xF9, 7};
    case 36:
      return {2, 240, 0xF0, 9};
    default:
      return {1, 224, 0xF0, 9};
  }
}

// The Get Device Parameters block for the drive's default medium: 38 bytes
// in the standard form, the FAT32 parameter block up to byte 60 in the
// extended one.
void FillDeviceParams(const Drive &drive, bool extended, BYTE *block) {
  const DISK_GEOMETRY &g = drive.dosGeometry;
  DefaultBpb bpb = BpbOf(g);
  DWORD totalSectors =
      static_cast<DWORD>(g.Cylinders.QuadPart) * g.TracksPerCylinder * g.SectorsPerTrack;
  block[1] = drive.dosDeviceType;
  Put16(block, 2, 0);  // removable, no door lock
  Put16(block, 4, static_cast<DWORD>(g.Cylinders.QuadPart));
  block[6] = 0;
  Put16(block, 7, g.BytesPerSector);
  block[9] = static_cast<BYTE>(bpb.sectorsPerCluster);
  Put16(block, 10, 1);
  block[12] = 2;
  Put16(block, 13, bpb.rootEntries);
  Put16(block, 15, totalSectors);
  block[17] = static_cast<BYTE>(bpb.mediaDescriptor);
  Put16(block, 18, bpb.sectorsPerFat);
  Put16(block, 20, g.SectorsPerTrack);
  Put16(block, 22, g.TracksPerCylinder);
  Put32(block, 24, 0);
  Put32(block, 28, 0);
  if (!extended) {
    memset(block + 32, 0, 6);
    return;
  }
  Put32(block, 32, bpb.sectorsPerFat);
  Put16(block, 36, 0);
  Put16(block, 38, 0);
  Put32(block, 40, 0);
  Put16(block, 44, 0xFFFF);
  Put16(block, 46, 0xFFFF);
  memset(block + 48, 0, 12);
}

class Vwin32 : public winapi::KernelObject {
 public:
  explicit Vwin32(std::string path) : path_(std::move(path)) {}
  ~Vwin32() override {
    DeviceCall call = NewCall(Call::Close, 0);
    call.ok = true;
    Pc().Record(call);
  }

  BOOL Control(DWORD code, void *in, DWORD inSize, void *out, DWORD outSize,
               DWORD *returned) override {
    DeviceCall call = NewCall(KindOf(code), code);
    DWORD fault = 0;
    if (Pc().TakeDeviceIoControlFault(fault)) return Finish(call, fault);
    if (!in || !out || inSize < sizeof(DiocRegisters) || outSize < sizeof(DiocRegisters)) {
      call.contractViolation = true;
      return Finish(call, ERROR_INVALID_PARAMETER);
    }
    DiocRegisters registers;
    memcpy(&registers, in, sizeof registers);
    DosAnswer answer = Run(code, registers, call);
    registers.reg_Flags =
        answer.carry ? (registers.reg_Flags | kCarry) : (registers.reg_Flags & ~kCarry);
    if (answer.carry) registers.reg_EAX = (registers.reg_EAX & 0xFFFF0000) | (answer.ax & 0xFFFF);
    if (!answer.carry && call.kind != Call::DosIoctl)
      registers.reg_EAX &= 0xFFFF0000;  // the write and reset services clear AX
    memcpy(out, &registers, sizeof registers);
    *returned = sizeof registers;
    call.carry = answer.carry;
    call.ax = registers.reg_EAX & 0xFFFF;
    return Finish(call, 0);
  }

 private:
  static Call KindOf(DWORD code) {
    switch (code) {
      case 1:
        return Call::DosIoctl;
      case 2:
        return Call::AbsoluteRead;
      case 3:
        return Call::AbsoluteWrite;
      case 4:
        return Call::DiskReset;
      case 6:
        return Call::ExtendedWrite;
      default:
        return Call::VwinOther;
    }
  }

  DeviceCall NewCall(Call kind, DWORD code) const {
    DeviceCall call = StartCall(kind, path_);
    call.code = code;
    return call;
  }

  static BOOL Finish(DeviceCall &call, DWORD error) { return FinishCall(call, error); }

  static DosAnswer Run(DWORD code, DiocRegisters &registers, DeviceCall &call) {
    switch (code) {
      case 1:
        return DosIoctl(registers, call);
      case 2:
        return AbsoluteIo(registers, call, false);
      case 3:
        return AbsoluteIo(registers, call, true);
      case 4:
        return DiskReset(registers, call);
      case 6:
        return ExtendedIo(registers, call);
      default:
        return DosError(0x0001);
    }
  }

  static Drive *FloppyOfDosNumber(DWORD number) {
    if (number < 1 || number > 26) return nullptr;
    Drive *drive = Pc().FindDrive(static_cast<char>('A' + number - 1));
    return drive && drive->isFloppy ? drive : nullptr;
  }

  // INT 21h 440Dh: CL 60h, get device parameters (category 08h, or 48h on
  // a system with FAT32 services); CL 40h and 42h, set device parameters
  // and format a track (category 08h).
  static DosAnswer DosIoctl(DiocRegisters &registers, DeviceCall &call) {
    DWORD cx = registers.reg_ECX & 0xFFFF;
    call.code = cx;
    call.drive = static_cast<char>('A' + (registers.reg_EBX & 0xFF) - 1);
    if ((registers.reg_EAX & 0xFFFF) != 0x440D) return DosError(0x0001);
    if (cx == 0x0840) return SetDeviceParams(registers);
    if (cx == 0x0842) return FormatTrack(registers, call);
    if ((cx & 0xFF) != 0x60) return DosError(0x0001);
    bool extended = (cx >> 8) == 0x48;
    if (!extended && (cx >> 8) != 0x08) return DosError(0x0001);
    if (extended && !Pc().HasFat32Services()) return DosError(0x0001);
    Drive *drive = FloppyOfDosNumber(registers.reg_EBX & 0xFF);
    if (!drive) return DosError(0x000F);  // invalid drive
    FillDeviceParams(*drive, extended, reinterpret_cast<BYTE *>(registers.reg_EDX));
    return kDone;
  }

  // CL 40h: the parameter block's BPB and track layout (offset 38: the
  // count, then sector number and size pairs) describe the medium a format
  // lays out; the drive keeps it for CL 42h. One of the drive's media, or
  // nothing it can format.
  static DosAnswer SetDeviceParams(DiocRegisters &registers) {
    Drive *drive = FloppyOfDosNumber(registers.reg_EBX & 0xFF);
    if (!drive) return DosError(0x000F);
    const BYTE *block = reinterpret_cast<const BYTE *>(registers.reg_EDX);
    auto word = [block](size_t at) { return static_cast<DWORD>(block[at] | block[at + 1] << 8); };
    DISK_GEOMETRY layout = Geometry(Unknown, word(4), word(22), word(20), word(7));
    if (word(38) != layout.SectorsPerTrack)
      layout.SectorsPerTrack = 0;  // a layout of other sectors
    for (const DISK_GEOMETRY &supported : drive->supported)
      if (supported.Cylinders.QuadPart == layout.Cylinders.QuadPart &&
          supported.TracksPerCylinder == layout.TracksPerCylinder &&
          supported.SectorsPerTrack == layout.SectorsPerTrack)
        layout.MediaType = supported.MediaType;
    drive->dosFormatLayout = layout;
    return kDone;
  }

  // CL 42h: the block at DS:DX holds special functions, head, cylinder.
  // Bit 0 asks only whether the layout of CL 40h can be formatted: the
  // answer goes back in the first byte (0 yes, 2 not this layout, 3 no
  // disk).
  static DosAnswer FormatTrack(DiocRegisters &registers, DeviceCall &call) {
    Drive *drive = FloppyOfDosNumber(registers.reg_EBX & 0xFF);
    if (!drive) return DosError(0x000F);
    BYTE *block = reinterpret_cast<BYTE *>(registers.reg_EDX);
    if (!drive->dosFormatLayout) {
      call.contractViolation = true;  // DOS formats what CL 40h described
      return DosError(0x0001);
    }
    const DISK_GEOMETRY &layout = *drive->dosFormatLayout;
    const bool formats = DriveFormats(*drive, layout);
    if (block[0] & 1) {
      block[0] = !drive->medium ? 3 : formats ? 0 : 2;
      return kDone;
    }
    if (!formats) return DosError(0x0001);
    call.kind = Call::FormatTrack;
    const DWORD head = block[1] | block[2] << 8;
    const DWORD cylinder = block[3] | block[4] << 8;
    call.offset = (static_cast<int64_t>(cylinder) * layout.TracksPerCylinder + head) *
                  layout.SectorsPerTrack * layout.BytesPerSector;
    DWORD error = FormatMediumTrack(*drive, layout, cylinder, head);
    return error ? DosError(ExtendedCode(error)) : kDone;
  }

  // Reads or writes the sectors of a DISKIO packet on the drive's medium; 0
  // or the Win32 code of the failure.
  static DWORD TransferPacket(Drive &drive, const DiskIoPacket &packet, bool write,
                              DeviceCall &call) {
    call.startSector = packet.startSector;
    call.sectors = packet.sectors;
    if (!drive.medium) return CheckWrite(drive, 0, 0);  // the critical error of a missing disk
    DWORD sector = drive.medium->geometry.BytesPerSector;
    int64_t offset = static_cast<int64_t>(packet.startSector) * sector;
    int64_t length = static_cast<int64_t>(packet.sectors) * sector;
    call.offset = offset;
    call.length = static_cast<DWORD>(length);
    void *buffer = reinterpret_cast<void *>(packet.buffer);
    BYTE *disk = drive.medium->bytes.data();
    if (DWORD error = write ? CheckWrite(drive, offset, length) : CheckRead(drive, offset, length))
      return error;
    if (write) {
      memcpy(disk + offset, buffer, static_cast<size_t>(length));
      CountGoodWrite(drive);
    } else {
      memcpy(buffer, disk + offset, static_cast<size_t>(length));
    }
    return 0;
  }

  // INT 25h (read) or INT 26h (write) with CX = FFFFh: AL = drive (0 = A:),
  // DS:BX = the DISKIO packet.
  static DosAnswer AbsoluteIo(DiocRegisters &registers, DeviceCall &call, bool write) {
    DWORD index = registers.reg_EAX & 0xFF;
    call.drive = static_cast<char>('A' + index);
    Drive *drive = FloppyOfDosNumber(index + 1);
    if (!drive) return DosError(0x0201);  // unknown unit
    if ((registers.reg_ECX & 0xFFFF) != 0xFFFF) {
      call.contractViolation = true;  // the packet form is the only one a FAT16 floppy call uses
      return DosError(0x200C);
    }
    DiskIoPacket packet;
    memcpy(&packet, reinterpret_cast<const void *>(registers.reg_EBX), sizeof packet);
    DWORD error = TransferPacket(*drive, packet, write, call);
    return error ? DosError(Int26Code(error)) : kDone;
  }

  // INT 21h 7305h: DL = drive (1 = A:), SI bit 0 = write, DS:BX = the packet.
  static DosAnswer ExtendedIo(DiocRegisters &registers, DeviceCall &call) {
    bool write = (registers.reg_ESI & 1) != 0;
    if (!write) call.kind = Call::ExtendedRead;
    call.drive = static_cast<char>('A' + (registers.reg_EDX & 0xFF) - 1);
    if ((registers.reg_EAX & 0xFFFF) != 0x7305 || !Pc().HasFat32Services()) return DosError(0x7300);
    if (registers.reg_ECX != 0xFFFFFFFF) return DosError(0x0001);
    Drive *drive = FloppyOfDosNumber(registers.reg_EDX & 0xFF);
    if (!drive) return DosError(0x000F);
    DiskIoPacket packet;
    memcpy(&packet, reinterpret_cast<const void *>(registers.reg_EBX), sizeof packet);
    DWORD error = TransferPacket(*drive, packet, write, call);
    return error ? DosError(ExtendedCode(error)) : kDone;
  }

  // INT 13h AH = 00h: reset the disk system.
  static DosAnswer DiskReset(DiocRegisters &registers, DeviceCall &call) {
    call.drive = static_cast<char>('A' + (registers.reg_EDX & 0xFF));
    if (((registers.reg_EAX >> 8) & 0xFF) != 0) return DosError(0x0100);
    return kDone;
  }

  std::string path_;
};

}  // namespace

HANDLE OpenVwin32(const std::string &path, DWORD access, DWORD share, DWORD creation, DWORD flags) {
  DeviceCall call = StartOpenCall(path, access, share, creation, flags);
  call.ok = !Pc().IsNt();
  call.error = call.ok ? 0 : ERROR_FILE_NOT_FOUND;
  Pc().Record(call);
  if (!call.ok) {
    SetLastError(call.error);
    return INVALID_HANDLE_VALUE;
  }
  return winapi::RegisterObject(std::make_unique<Vwin32>(path));
}

}  // namespace sim
