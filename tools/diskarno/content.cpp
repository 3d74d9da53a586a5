// The FAT root reader: the boot sector's fields, the first FAT's free
// entries, and the root folder's entries.
#include "content.h"

#include <vector>

namespace {

unsigned Get16(const unsigned char *bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8;
}
unsigned long Get32(const unsigned char *bytes, size_t at) {
  return Get16(bytes, at) | static_cast<unsigned long>(Get16(bytes, at + 2)) << 16;
}

bool PowerOfTwo(unsigned value) {
  return value != 0 && (value & (value - 1)) == 0;
}

// "." and "..": names of folders inside a folder, never files of their own.
bool DotEntry(const unsigned char *entry) {
  if (entry[0] != '.') return false;
  for (size_t n = entry[1] == '.' ? 2 : 1; n < 11; ++n)
    if (entry[n] != ' ') return false;
  return true;
}

}  // namespace

TFatVerdict LookAtFatRoot(const unsigned char *start, size_t size, int64_t diskSize,
                          size_t &needed) {
  needed = 512;
  if (size < needed) return TFatVerdict::NeedMore;
  const unsigned bytesPerSector = Get16(start, 11);
  const unsigned sectorsPerCluster = start[13];
  const unsigned reserved = Get16(start, 14);
  const unsigned fats = start[16];
  const unsigned rootEntries = Get16(start, 17);
  const unsigned sectorsPerFat = Get16(start, 22);
  const unsigned long totalSectors = Get16(start, 19) ? Get16(start, 19) : Get32(start, 32);
  const unsigned media = start[21];
  const bool bootSector = bytesPerSector >= 512 && bytesPerSector <= 4096 &&
                          PowerOfTwo(bytesPerSector) && PowerOfTwo(sectorsPerCluster) &&
                          reserved >= 1 && fats >= 1 && fats <= 2 && rootEntries > 0 &&
                          sectorsPerFat > 0 && totalSectors > 0 && (media == 0xF0 || media >= 0xF8);
  if (!bootSector) return TFatVerdict::NotFat;
  const int64_t fatAt = static_cast<int64_t>(reserved) * bytesPerSector;
  const int64_t fatBytes = static_cast<int64_t>(sectorsPerFat) * bytesPerSector;
  const int64_t rootAt = fatAt + fats * fatBytes;
  const int64_t rootBytes = static_cast<int64_t>(rootEntries) * 32;
  if (rootAt + rootBytes > diskSize) return TFatVerdict::NotFat;
  needed = static_cast<size_t>(rootAt + rootBytes);
  if (size < needed) return TFatVerdict::NeedMore;
  // The first FAT starts with the medium byte of the boot sector.
  if (start[fatAt] != media) return TFatVerdict::NotFat;

  // Entries 0 and 1 of the first FAT are the medium byte and end marks: 3
  // bytes of FAT12, 4 of FAT16. Every entry after them must be free.
  const unsigned long rootSectors = static_cast<unsigned long>(rootBytes + bytesPerSector - 1) /
                                    bytesPerSector;
  const unsigned long metaSectors = static_cast<unsigned long>(rootAt / bytesPerSector) +
                                    rootSectors;
  const unsigned long clusters =
      totalSectors > metaSectors ? (totalSectors - metaSectors) / sectorsPerCluster : 0;
  const int64_t firstFree = clusters < 4085 ? 3 : 4;
  for (int64_t at = fatAt + firstFree; at < fatAt + fatBytes; ++at)
    if (start[at] != 0) return TFatVerdict::HoldsFiles;

  for (int64_t at = rootAt; at < rootAt + rootBytes; at += 32) {
    const unsigned char *entry = start + at;
    const unsigned char attributes = entry[11];
    if (entry[0] == 0x00) break;                                // no entries follow
    if (entry[0] == 0xE5 || attributes == 0x0F) continue;       // deleted; long-name part
    if ((attributes & 0x08) && !(attributes & 0x10)) continue;  // the volume label
    if (DotEntry(entry)) continue;
    return TFatVerdict::HoldsFiles;
  }
  return TFatVerdict::Empty;
}

bool AllBytesSame(TDiskBytes &bytes, int64_t from, int64_t to, bool &same, std::string &error) {
  constexpr int64_t kPiece = 64 * 1024;
  std::vector<unsigned char> piece;
  unsigned char first = 0;
  same = true;
  for (int64_t at = from; at < to && same; at += kPiece) {
    piece.resize(static_cast<size_t>(to - at < kPiece ? to - at : kPiece));
    if (!bytes.Read(at, piece.data(), piece.size(), error)) return false;
    if (at == from) first = piece[0];
    for (unsigned char byte : piece) same = same && byte == first;
  }
  return true;
}

TContent FatContent(const std::string &what, TFatVerdict verdict,
                    const unsigned char *bootSector, int64_t diskSize, TDiskBytes &bytes) {
  TContent content;
  content.what = what + (verdict == TFatVerdict::Empty ? " without files" : " with files");
  const unsigned long totalSectors =
      Get16(bootSector, 19) ? Get16(bootSector, 19) : Get32(bootSector, 32);
  const int64_t end = static_cast<int64_t>(totalSectors) * Get16(bootSector, 11);
  bool same = true;
  std::string error;
  if (end < diskSize && !AllBytesSame(bytes, end, diskSize, same, error)) {
    content.what += ", and data after it that can't be read (" + error + ")";
    return content;
  }
  if (!same) {
    content.what += ", and " + std::to_string(diskSize - end) + " bytes of other data after it";
    return content;
  }
  if (verdict == TFatVerdict::Empty) content.kind = TContentKind::EmptyFat;
  return content;
}
