// Where the package starts, the one open of a package file, and the rule
// for a package the program takes.
#include "package_format.h"

#include <cstring>

#include "heap.h"
#include "last_error.h"

namespace {

constexpr size_t kNewHeaderField = 60;  // the DOS header's offset of "PE\0\0"
constexpr size_t kSignatureSize = 4;
constexpr size_t kFileHeaderSize = 20;
constexpr size_t kSectionCountField = 2;   // in the file header
constexpr size_t kOptionalSizeField = 16;  // in the file header
constexpr size_t kSectionEntrySize = 40;
constexpr size_t kRawSizeField = 16;      // in a section entry
constexpr size_t kRawPositionField = 20;  // in a section entry
constexpr DWORD kLargestOffset = 0x7FFFFFFF;

DWORD ReadDword(const BYTE *bytes) {
  return static_cast<DWORD>(bytes[0]) | static_cast<DWORD>(bytes[1]) << 8 |
         static_cast<DWORD>(bytes[2]) << 16 | static_cast<DWORD>(bytes[3]) << 24;
}

WORD ReadWord(const BYTE *bytes) {
  return static_cast<WORD>(bytes[0] | bytes[1] << 8);
}


// Reads the header at the package's offset from its open file.
bool ReadHeader(TPackage &package) {
  TPackageHeader header;
  if (package.Offset > kLargestOffset) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  if (!package.File.ReadAt(package.Offset, &header, kPackageHeaderSize)) return false;
  if (memcmp(header.Magic, "CDSK", sizeof header.Magic) != 0) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  package.Header = header;
  // A length byte above 32 takes no characters from beyond the field.
  size_t length = header.DescriptionLength;
  if (length > kMaxDescriptionLength) length = kMaxDescriptionLength;
  memcpy(package.Description, header.Description, length);
  package.Description[length] = '\0';
  return true;
}

}  // namespace

DWORD GetPackageOffsetFromHeaders(const BYTE *headers, size_t size) {
  if (!headers || size < kNewHeaderField + 4 || headers[0] != 'M' || headers[1] != 'Z')
    return kNoPackageOffset;
  size_t signature = ReadDword(headers + kNewHeaderField);
  if (signature > size || size - signature < kSignatureSize + kFileHeaderSize)
    return kNoPackageOffset;
  const BYTE *fileHeader = headers + signature + kSignatureSize;
  if (memcmp(headers + signature, "PE\0\0", kSignatureSize) != 0) return kNoPackageOffset;
  size_t sections = ReadWord(fileHeader + kSectionCountField);
  // The optional header's own size: 224 bytes in a 32-bit program, 240 in a
  // 64-bit one.
  size_t table =
      signature + kSignatureSize + kFileHeaderSize + ReadWord(fileHeader + kOptionalSizeField);
  if (table > size || (size - table) / kSectionEntrySize < sections) return kNoPackageOffset;
  uint64_t end = 0;
  for (size_t index = 0; index < sections; ++index) {
    const BYTE *entry = headers + table + index * kSectionEntrySize;
    uint64_t sectionEnd = static_cast<uint64_t>(ReadDword(entry + kRawPositionField)) +
                          ReadDword(entry + kRawSizeField);
    if (sectionEnd > end) end = sectionEnd;
  }
  return end < kNoPackageOffset ? static_cast<DWORD>(end) : kNoPackageOffset;
}

DWORD GetPackageOffset() {
  // The loader maps at least the first page of the image: the headers.
  const BYTE *base = reinterpret_cast<const BYTE *>(GetModuleHandleA(nullptr));
  return GetPackageOffsetFromHeaders(base, kPeHeaderWindow);
}

bool OpenPackage(const char *path, TPackage &package) {
  if (!package.File.Open(path)) return false;
  // On the heap: a frame this large would need a stack probe.
  THeapBlock headers(kPeHeaderWindow);
  DWORD read = 0;
  if (!package.File.ReadStart(headers.Data(), kPeHeaderWindow, read)) return false;
  package.Offset = GetPackageOffsetFromHeaders(headers.Data(), read);
  if (package.Offset == kNoPackageOffset) {
    SetLastError(kErrorInvalidImageFile);
    return false;
  }
  return ReadHeader(package);
}

bool OpenOwnPackage(TPackage &package) {
  char path[MAX_PATH + 1] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  package.Offset = GetPackageOffset();
  return package.File.Open(path) && ReadHeader(package);
}

bool ReadPackageBytes(TPackage &package, size_t room, size_t margin) {
  int64_t fileSize = package.File.Size();
  if (fileSize < 0) return false;
  if (package.Offset > kLargestOffset ||
      fileSize < static_cast<int64_t>(package.Offset) + kPackageHeaderSize ||
      fileSize - package.Offset > static_cast<int64_t>(kLargestOffset)) {
    SetLastError(kErrorInvalidImageFile);
    return false;
  }
  DWORD size = static_cast<DWORD>(fileSize - package.Offset);
  // The margin is never larger than either size, so the block never holds
  // more than both together. Each is below 2 GiB: the sum can't wrap.
  if (margin > size) margin = size;
  if (margin > room) margin = room;
  package.Block.Allocate((room > size ? room : size) + margin);
  bool read = package.File.ReadAt(package.Offset, package.Block.Data() + package.Block.Size() - size,
                                  size);
  package.File.Close();
  if (read) {
    package.Size = size;
    return true;
  }
  TLastErrorKeeper keeper;
  package.Block.Release();
  return false;
}

bool PackageUsable(const TPackageHeader &header) {
  return memcmp(header.Magic, "CDSK", sizeof header.Magic) == 0 &&
         header.MediaType != kMediaUnknown && header.MediaType < kMediaTypeCount &&
         ImageSizeAllowed(header.ImageSize);
}

bool HeaderUnpackable(const TPackageHeader &header) {
  return header.Version == kPackageVersion && (!header.Protected || header.PasswordCheck != 0);
}
