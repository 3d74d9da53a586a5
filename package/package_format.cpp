// Where the package starts, its checksum, and the header reader.
#include "package_format.h"

#include <cstring>

#include "heap.h"
#include "own_file.h"

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

void SetErrorIfNone(DWORD code) {
  if (GetLastError() == NO_ERROR) SetLastError(code);
}

bool ReadPackageHeaderAt(const char *path, DWORD offset, std::string &description,
                         DWORD &passwordCheck, DWORD &packageOffset, TMediaType &mediaType,
                         LONG &imageSize) {
  description.clear();
  passwordCheck = 0;
  packageOffset = offset;
  mediaType = kMediaUnknown;
  imageSize = -1;
  TPackageHeader header;
  if (!ReadHeaderRecordOfFile(path, offset, header)) return false;
  description = DescriptionOf(header);
  passwordCheck = header.PasswordCheck;
  mediaType = header.MediaType;
  imageSize = header.ImageSize;
  return header.Protected != 0;
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

DWORD GetPackageOffsetOfFile(const char *path) {
  TPackageFile file(path);
  if (!file.Valid()) return kNoPackageOffset;
  // On the heap: a frame this large would need a stack probe.
  THeapBlock headers(kPeHeaderWindow);
  DWORD read = 0;
  if (!file.ReadStart(headers.Data(), kPeHeaderWindow, read)) return kNoPackageOffset;
  DWORD offset = GetPackageOffsetFromHeaders(headers.Data(), read);
  if (offset == kNoPackageOffset) SetLastError(kErrorInvalidImageFile);
  return offset;
}

bool ReadHeaderRecordOfFile(const char *path, DWORD packageOffset, TPackageHeader &header) {
  if (packageOffset > kLargestOffset) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  TPackageFile file(path);
  if (!file.Valid()) return false;
  if (!file.ReadAt(packageOffset, &header, kPackageHeaderSize)) return false;
  if (memcmp(header.Magic, "CDSK", sizeof header.Magic) == 0) return true;
  SetErrorIfNone(kErrorInvalidImageFile);
  return false;
}

std::string DescriptionOf(const TPackageHeader &header) {
  size_t length = header.DescriptionLength;
  if (length > kMaxDescriptionLength) length = kMaxDescriptionLength;
  return std::string(header.Description, length);
}

bool ReadPackageHeader(std::string &description, DWORD &passwordCheck, DWORD &packageOffset,
                       TMediaType &mediaType, LONG &imageSize) {
  std::string path = OwnFileName();
  return ReadPackageHeaderAt(path.c_str(), GetPackageOffset(), description, passwordCheck,
                             packageOffset, mediaType, imageSize);
}

bool ReadPackageHeaderOfFile(const char *path, std::string &description, DWORD &passwordCheck,
                             DWORD &packageOffset, TMediaType &mediaType, LONG &imageSize) {
  // No PE headers give kNoPackageOffset, which the read refuses.
  return ReadPackageHeaderAt(path, GetPackageOffsetOfFile(path), description, passwordCheck,
                             packageOffset, mediaType, imageSize);
}

std::string OwnFileName() {
  char name[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, name, MAX_PATH);
  return std::string(name, length < MAX_PATH ? length : MAX_PATH);
}
