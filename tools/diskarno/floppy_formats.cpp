// The formats format knows and the FAT12 file system it writes after one.
#include "floppy_formats.h"

#include <cstring>

namespace {

// Cylinders, heads and sectors of the PC's floppy formats, smallest first
// (those of a media type agree with the program's StandardFloppyGeometry);
// the FAT12 parameters are the ones mformat (mtools 4) picks for each size
// format lays out.
const TFloppyFormat kFormats[] = {
    {160, 40, 1, 8, kMediaF5_160, false, 0, 0, 0, 0},
    {180, 40, 1, 9, kMediaF5_180, false, 0, 0, 0, 0},
    {320, 40, 2, 8, kMediaF5_320, false, 0, 0, 0, 0},
    {360, 40, 2, 9, kMediaF5_360, true, 2, 112, 0xFD, 2},
    {720, 80, 2, 9, kMediaF3_720, true, 2, 112, 0xF9, 3},
    {1200, 80, 2, 15, kMediaF5_1Pt2, true, 1, 224, 0xF9, 7},
    {1440, 80, 2, 18, kMediaF3_1Pt44, true, 1, 224, 0xF0, 9},
    {1680, 80, 2, 21, kMediaF3_1Pt44, true, 1, 224, 0xF0, 10},  // DMF
    {2880, 80, 2, 36, kMediaF3_2Pt88, true, 2, 240, 0xF0, 9},
};
constexpr size_t kFormatCount = sizeof kFormats / sizeof kFormats[0];

constexpr size_t kSector = 512;
constexpr size_t kDirectoryEntry = 32;

// The loader in the boot sector: says that the disk can't start the PC,
// waits for a key and asks the BIOS for the next boot device (INT 19h).
// It runs at 0000:7C3E; the message follows it at 7C61.
const BYTE kLoader[] = {
    0xFA,              // cli
    0x31, 0xC0,        // xor ax, ax
    0x8E, 0xD8,        // mov ds, ax
    0x8E, 0xD0,        // mov ss, ax
    0xBC, 0x00, 0x7C,  // mov sp, 7C00h
    0xFB,              // sti
    0xFC,              // cld
    0xBE, 0x61, 0x7C,  // mov si, message
    0xAC,              // next: lodsb
    0x08, 0xC0,        // or al, al
    0x74, 0x09,        // jz key
    0xB4, 0x0E,        // mov ah, 0Eh (teletype output)
    0xBB, 0x07, 0x00,  // mov bx, 7
    0xCD, 0x10,        // int 10h
    0xEB, 0xF2,        // jmp next
    0x31, 0xC0,        // key: xor ax, ax
    0xCD, 0x16,        // int 16h
    0xCD, 0x19,        // int 19h
};
const char kLoaderMessage[] =
    "This disk can't start the PC.\r\nInsert a system disk and press a key.\r\n";

void Put16(BYTE *at, unsigned value) {
  at[0] = static_cast<BYTE>(value);
  at[1] = static_cast<BYTE>(value >> 8);
}

void Put32(BYTE *at, DWORD value) {
  Put16(at, value & 0xFFFF);
  Put16(at + 2, value >> 16);
}

DWORD RootSectors(const TFloppyFormat &format) {
  return static_cast<DWORD>((format.rootEntries * kDirectoryEntry + kSector - 1) / kSector);
}

void WriteBootSector(const TFloppyFormat &format, const std::string &label, DWORD serial,
                     BYTE *sector) {
  static const BYTE kJump[] = {0xEB, 0x3C, 0x90};
  memcpy(sector, kJump, sizeof kJump);
  memcpy(sector + 3, "DISKARNO", 8);
  Put16(sector + 11, kSector);
  sector[13] = format.sectorsPerCluster;
  Put16(sector + 14, 1);  // reserved sectors: the boot sector
  sector[16] = 2;         // FATs
  Put16(sector + 17, format.rootEntries);
  Put16(sector + 19, format.cylinders * format.heads * format.sectors);
  sector[21] = format.mediaDescriptor;
  Put16(sector + 22, format.sectorsPerFat);
  Put16(sector + 24, format.sectors);
  Put16(sector + 26, format.heads);
  Put32(sector + 28, 0);  // hidden sectors
  Put32(sector + 32, 0);  // the total fits the 16-bit field
  sector[36] = 0x00;      // drive number: the first floppy drive
  sector[37] = 0;
  sector[38] = 0x29;  // the extended fields follow
  Put32(sector + 39, serial);
  const std::string name = label.empty() ? "NO NAME" : label;
  memset(sector + 43, ' ', 11);
  memcpy(sector + 43, name.data(), name.size());
  memcpy(sector + 54, "FAT12   ", 8);
  memcpy(sector + 62, kLoader, sizeof kLoader);
  memcpy(sector + 62 + sizeof kLoader, kLoaderMessage, sizeof kLoaderMessage);
  sector[510] = 0x55;
  sector[511] = 0xAA;
}

// The label's folder entry, with its time stamps as DOS keeps them.
void WriteLabelEntry(const std::string &label, time_t when, BYTE *entry) {
  memset(entry, ' ', 11);
  memcpy(entry, label.c_str(), label.size());
  entry[11] = 0x08;  // volume label
  const struct tm *local = localtime(&when);
  unsigned time = 0, date = (1 << 5) | 1;  // 1 January 1980 where the clock can't say
  if (local && local->tm_year >= 80) {
    time = static_cast<unsigned>(local->tm_hour << 11 | local->tm_min << 5 | local->tm_sec / 2);
    date = static_cast<unsigned>((local->tm_year - 80) << 9 | (local->tm_mon + 1) << 5 |
                                 local->tm_mday);
  }
  Put16(entry + 14, time);  // created
  Put16(entry + 16, date);
  Put16(entry + 18, date);  // last opened
  Put16(entry + 22, time);  // written
  Put16(entry + 24, date);
}

bool ForbiddenInLabel(unsigned char c) {
  return c < 0x20 || c >= 0x7F || strchr("\"*+,./:;<=>?[\\]|", c) != nullptr;
}

}  // namespace

const TFloppyFormat *FloppyFormatOf(int kilobytes) {
  for (const TFloppyFormat &format : kFormats)
    if (format.kilobytes == kilobytes && format.laidOut) return &format;
  return nullptr;
}

const TFloppyFormat *FloppyFormatOfSize(int64_t bytes) {
  for (const TFloppyFormat &format : kFormats)
    if (CapacityOf(format) == bytes) return &format;
  return nullptr;
}

const TFloppyFormat *LargestFloppyFormatWithin(int64_t bytes) {
  for (size_t n = kFormatCount; n-- > 0;)
    if (CapacityOf(kFormats[n]) <= bytes) return &kFormats[n];
  return nullptr;
}

std::string FloppyFormatList() {
  std::vector<std::string> laidOut;
  for (const TFloppyFormat &format : kFormats)
    if (format.laidOut) laidOut.push_back(std::to_string(format.kilobytes));
  std::string list;
  for (size_t n = 0; n < laidOut.size(); ++n)
    list += (n == 0 ? "" : n + 1 == laidOut.size() ? " and " : ", ") + laidOut[n];
  return list;
}

TDiskGeometry GeometryOf(const TFloppyFormat &format) {
  return {format.cylinders, format.mediaType, format.heads, format.sectors, kSector};
}

bool FatLabel(const std::string &text, std::string &label, std::string &why) {
  label.clear();
  if (text.empty() || text.size() > 11) {
    why = "a FAT label has 1 to 11 characters";
    return false;
  }
  if (text[0] == ' ') {
    why = "a FAT label can't start with a blank";
    return false;
  }
  for (char c : text) {
    const unsigned char code = static_cast<unsigned char>(c);
    if (ForbiddenInLabel(code)) {
      why = code < 0x20 || code >= 0x7F ? std::string("a FAT label holds ASCII characters only")
                                        : "a FAT label can't hold \"" + std::string(1, c) + "\"";
      return false;
    }
    label += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  }
  return true;
}

std::vector<BYTE> EmptyFatImage(const TFloppyFormat &format, const std::string &label, DWORD serial,
                                time_t when) {
  std::vector<BYTE> image(static_cast<size_t>(CapacityOf(format)), kFormatFill);
  const size_t fatSize = static_cast<size_t>(format.sectorsPerFat) * kSector;
  const size_t root = kSector + 2 * fatSize;
  // The boot sector, the FATs and the root folder start out zero.
  memset(image.data(), 0, root + RootSectors(format) * kSector);
  WriteBootSector(format, label, serial, image.data());
  for (size_t fat = kSector; fat < root; fat += fatSize) {
    // Clusters 0 and 1: the media descriptor and the end-of-chain mark.
    image[fat] = format.mediaDescriptor;
    image[fat + 1] = 0xFF;
    image[fat + 2] = 0xFF;
  }
  if (!label.empty()) WriteLabelEntry(label, when, image.data() + root);
  return image;
}

DWORD SystemTracks(const TFloppyFormat &format) {
  DWORD sectors = 1 + 2u * format.sectorsPerFat + RootSectors(format);
  return (sectors + format.sectors - 1) / format.sectors;
}
