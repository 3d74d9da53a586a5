// The package appended to the program: where it starts, its 57-byte header,
// its checksum, and the header reader.
#ifndef DISKARNO_PACKAGE_PACKAGE_FORMAT_H
#define DISKARNO_PACKAGE_PACKAGE_FORMAT_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "heap.h"
#include "media.h"
#include "own_file.h"

// Integers are little-endian, and nothing is aligned.
#pragma pack(push, 1)
struct TPackageHeader {
  char Magic[4];        // "CDSK"
  BYTE Version;         // 1
  BYTE Protected;       // 0 = plain payload
  DWORD PasswordCheck;  // PackageCrc of the password; 0 when unprotected
  DWORD DataCrc;        // PackageCrc of the plain payload; 0 = none stored
  LONG ImageSize;       // bytes of the inflated image
  DWORD PackedSize;     // payload bytes; not consulted when reading
  BYTE Reserved;
  BYTE DescriptionLength;  // 0 to 32
  char Description[32];
  BYTE MediaType;  // a TMediaType; 0 = none
};
#pragma pack(pop)
static_assert(sizeof(TPackageHeader) == 57, "the package header is 57 bytes");

constexpr DWORD kPackageHeaderSize = 57;
constexpr BYTE kPackageVersion = 1;
// The payload stays plain up to here in a protected package: the header and
// the first 16 payload bytes.
constexpr DWORD kEncipheredFrom = kPackageHeaderSize + 16;
constexpr DWORD kNoPackageOffset = 0xFFFFFFFFu;
// How much of the headers the offset is looked for in: the first page of the
// running module, and as much of a file.
constexpr size_t kPeHeaderWindow = 4096;

// The limits of a package, each tested by the function below it.
constexpr LONG kSmallestImageSize = 58;
constexpr uint64_t kLargestImageSize = 0x7FFFFFFF;  // ImageSize is a signed 32-bit number
inline bool ImageSizeAllowed(int64_t bytes) {
  return bytes >= kSmallestImageSize && static_cast<uint64_t>(bytes) <= kLargestImageSize;
}
// The most bytes a zlib stream of this length inflates to: deflate makes at
// most 1032 bytes of one (a 258-byte match in two bits).
constexpr uint64_t LargestInflation(uint64_t streamLength) {
  return streamLength * 1032;
}
constexpr size_t kMaxDescriptionLength = 32;
inline bool DescriptionAllowed(size_t length) {
  return length <= kMaxDescriptionLength;
}
// What the program's password field takes.
constexpr size_t kLargestPasswordLength = 254;
inline bool PasswordAllowed(size_t length) {
  return length <= kLargestPasswordLength;
}

// The image-file error category (no category name is registered for it).
constexpr DWORD kErrorInvalidImageFile = 0xFF070001;
constexpr DWORD kErrorInvalidHeader = 0xFF070002;
constexpr DWORD kErrorInvalidImageData = 0xFF070003;
constexpr DWORD kErrorBufferTooSmall = 0xFF070004;
// The payload inflates to more or fewer bytes than the header's image size;
// the program shows it as kErrorInvalidImageData, the tool names it.
constexpr DWORD kErrorImageSizeMismatch = 0xFF070005;

// The end of the last section's raw data, from PE headers of the given size
// (bounds-checked: headers from any file). kNoPackageOffset when they are
// not PE headers; 0 for a program without sections.
DWORD GetPackageOffsetFromHeaders(const BYTE *headers, size_t size);
// The same for the running program, from its own headers in memory.
DWORD GetPackageOffset();

// CRC-32 with the register started at 0 and not inverted at the end; a
// result of 0 is given as 1. A length of 0 or less gives 1.
DWORD PackageCrc(const void *data, LONG length);
// Whether PackageCrc may fold with carry-less multiplication where the
// processor has it (the default); off, every byte goes through the tables.
void SetPackageCrcFolding(bool allowed);

// A package as found in a file: where it starts, its header, and its bytes
// once asked for. The file stays open from OpenPackage until the bytes are
// read (or the value goes), so that one open serves the whole reading.
struct TPackage {
  DWORD Offset = kNoPackageOffset;  // none: the file is no PE program
  TPackageHeader Header = {};       // all zero unless a header with the magic was read
  char Description[kMaxDescriptionLength + 1] = {};  // the header's, ended by a zero
  TPackageFile File;
  // After ReadPackageBytes: the package (header and payload) at the end of
  // Block, Size bytes long.
  THeapBlock Block;
  DWORD Size = 0;

  // Only a header with the right magic is kept.
  bool HasHeader() const { return Header.Magic[0] != 0; }
  BYTE *Bytes() const { return Block.Data() + Block.Size() - Size; }
  BYTE *Payload() const { return Bytes() + kPackageHeaderSize; }
  DWORD PayloadLength() const { return Size - kPackageHeaderSize; }
};

// Opens a file and reads its package's offset (from the file's PE headers)
// and header. True only for a whole header with the magic "CDSK"; otherwise
// the last error holds the system's code or 0xFF070001 (offsets of 2 GiB
// and more are refused), and Offset says whether the file is a PE program
// at all.
bool OpenPackage(const char *path, TPackage &package);
// The same for the running program's own file, the offset taken from its
// headers in memory.
bool OpenOwnPackage(TPackage &package);
// Reads the whole package (header and payload, to the end of the file) of
// an opened package in one request into the end of a new Block of
// max(room, package size) + min(margin, room, package size) bytes, and
// closes the file. A package shorter than its header, or of 2 GiB or more,
// fails with 0xFF070001; on failure Block is empty.
bool ReadPackageBytes(TPackage &package, size_t room, size_t margin);

// The one rule for a package the program takes at start-up, and every verb
// of the tool with it: a header with the magic, a media type that names a
// medium (1 to 14), and an image of the allowed size. The version, the
// checksums and the payload are tested when the image is unpacked.
bool PackageUsable(const TPackageHeader &header);
// Whether the header can be unpacked at all: version 1, and a password
// check in a protected package (no password has the check 0).
bool HeaderUnpackable(const TPackageHeader &header);
// Whether a package asks for a password: protected, with a password check.
// A protected package whose check is 0 takes none, and can't be unpacked.
inline bool PasswordNeeded(bool isProtected, DWORD passwordCheck) {
  return isProtected && passwordCheck != 0;
}
inline bool PasswordNeeded(const TPackageHeader &header) {
  return PasswordNeeded(header.Protected != 0, header.PasswordCheck);
}

#endif
