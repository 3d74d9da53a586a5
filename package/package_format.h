// The package appended to the program: where it starts, its 57-byte header,
// its checksum, and the header reader.
#ifndef DISKARNO_PACKAGE_PACKAGE_FORMAT_H
#define DISKARNO_PACKAGE_PACKAGE_FORMAT_H

#include <windows.h>

#include <cstddef>
#include <string>

#include "media.h"

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
constexpr DWORD kMaxDescriptionLength = 32;
// The payload stays plain up to here in a protected package: the header and
// the first 16 payload bytes.
constexpr DWORD kEncipheredFrom = kPackageHeaderSize + 16;
constexpr DWORD kNoPackageOffset = 0xFFFFFFFFu;
// How much of the headers the offset is looked for in: the first page of the
// running module, and as much of a file.
constexpr size_t kPeHeaderWindow = 4096;

// The image-file error category (no category name is registered for it).
constexpr DWORD kErrorInvalidImageFile = 0xFF070001;
constexpr DWORD kErrorInvalidHeader = 0xFF070002;
constexpr DWORD kErrorInvalidImageData = 0xFF070003;
constexpr DWORD kErrorBufferTooSmall = 0xFF070004;

// The end of the last section's raw data, from PE headers of the given size
// (bounds-checked: headers from any file). kNoPackageOffset when they are
// not PE headers; 0 for a program without sections.
DWORD GetPackageOffsetFromHeaders(const BYTE *headers, size_t size);
// The same for the running program, from its own headers in memory.
DWORD GetPackageOffset();
// The same for a file; kNoPackageOffset with the last error set when the
// file can't be read, or 0xFF070001 when it is no PE file.
DWORD GetPackageOffsetOfFile(const char *path);

// CRC-32 with the register started at 0 and not inverted at the end; a
// result of 0 is given as 1. A length of 0 or less gives 1.
DWORD PackageCrc(const void *data, LONG length);
// Whether PackageCrc may fold with carry-less multiplication where the
// processor has it (the default); off, every byte goes through the tables.
void SetPackageCrcFolding(bool allowed);

// Reads the header of the package appended to the running program. The
// result is the header's Protected flag. The outputs are first set to "",
// 0, the package offset, 0 and -1, and filled only from a header with the
// right magic; otherwise the last error holds the reason (0xFF070001 when
// the system gave none).
bool ReadPackageHeader(std::string &description, DWORD &passwordCheck, DWORD &packageOffset,
                       TMediaType &mediaType, LONG &imageSize);
// The same for any file.
bool ReadPackageHeaderOfFile(const char *path, std::string &description, DWORD &passwordCheck,
                             DWORD &packageOffset, TMediaType &mediaType, LONG &imageSize);

// Reads the 57-byte header at packageOffset of the file (offsets of 2 GiB
// and more are refused). True only for a whole header with the magic
// "CDSK"; otherwise the last error holds the system's code or 0xFF070001.
bool ReadHeaderRecordOfFile(const char *path, DWORD packageOffset, TPackageHeader &header);
// The header's description, at most 32 characters whatever its length byte.
std::string DescriptionOf(const TPackageHeader &header);

// The running program's own file name (up to 260 characters).
std::string OwnFileName();

#endif
