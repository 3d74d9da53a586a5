// LoadImage: the package read in one piece, tested, deciphered in place,
// checked and inflated into one image block; and the image-file error texts.
#include "image_unpacker.h"

#include <cstring>

#include "app_errors.h"
#include "own_file.h"
#include "package_format.h"
#include "rc4.h"

namespace {

constexpr LONG kSmallestImage = 58;
constexpr DWORD kLargestPackage = 0x7FFFFFFF;

LONG LengthOf(const std::string &text) {
  return text.size() > static_cast<size_t>(kLargestPackage) ? static_cast<LONG>(kLargestPackage)
                                                            : static_cast<LONG>(text.size());
}

void SetErrorIfNone(DWORD code) {
  if (GetLastError() == NO_ERROR) SetLastError(code);
}

void Report(TProgressProc progress, ULONG_PTR context, const char *text) {
  if (progress) progress(context, text);
}

bool HeaderAccepts(const TPackageHeader &header, bool isProtected, const std::string &password) {
  if (memcmp(header.Magic, "CDSK", sizeof header.Magic) != 0 || header.Version != 1) return false;
  return !isProtected || PasswordCheckOf(password) == header.PasswordCheck;
}

// The common part of LoadImage, once the header has been read.
bool LoadPackageImage(const char *path, bool isProtected, DWORD packageOffset,
                      const std::string &password, BYTE *&image, LONG imageSize,
                      TProgressProc progress, ULONG_PTR context) {
  if (imageSize < kSmallestImage) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  Report(progress, context, "Loading...");
  THeapBlock package;
  if (!ReadWholePackage(path, packageOffset, package)) return false;
  TPackageHeader header;
  memcpy(&header, package.Data(), sizeof header);
  if (!HeaderAccepts(header, isProtected, password)) {
    package.Release();
    SetLastError(kErrorInvalidHeader);
    return false;
  }
  DWORD packageSize = static_cast<DWORD>(package.Size());
  if (isProtected && !DecipherPackage(package.Data(), packageSize, password)) {
    package.Release();
    SetLastError(kErrorInvalidImageData);
    return false;
  }
  Report(progress, context, "Unpacking...");
  image = nullptr;
  SetLastError(NO_ERROR);
  const BYTE *payload = package.Data() + kPackageHeaderSize;
  LONG payloadLength = static_cast<LONG>(packageSize - kPackageHeaderSize);
  if (header.DataCrc == 0 || PackageCrc(payload, payloadLength) == header.DataCrc) {
    // Inflating stops at the announced size: a longer image is refused
    // without holding all of it.
    LONG imageLength = 0;
    bool tooLarge = false;
    if (InflateBounded(payload, payloadLength, imageSize, imageSize, image, imageLength,
                       tooLarge) &&
        imageLength == imageSize)
      return true;
  }
  DWORD error = GetLastError();
  package.Release();
  HeapRelease(image);
  image = nullptr;
  SetLastError(error != NO_ERROR ? error : kErrorInvalidImageData);
  return false;
}

}  // namespace

DWORD PasswordCheckOf(const std::string &password) {
  return PackageCrc(password.data(), LengthOf(password));
}

bool ReadWholePackage(const char *path, DWORD packageOffset, THeapBlock &package) {
  TPackageFile file(path);
  if (!file.Valid()) return false;
  int64_t fileSize = file.Size();
  if (fileSize < 0) return false;
  if (packageOffset > kLargestPackage ||
      fileSize < static_cast<int64_t>(packageOffset) + kPackageHeaderSize ||
      fileSize - packageOffset > static_cast<int64_t>(kLargestPackage)) {
    SetLastError(kErrorInvalidImageFile);
    return false;
  }
  DWORD size = static_cast<DWORD>(fileSize - packageOffset);
  package.Allocate(size);
  if (file.ReadAt(packageOffset, package.Data(), size)) return true;
  DWORD error = GetLastError();
  package.Release();
  SetLastError(error);
  return false;
}

bool DecipherPackage(BYTE *package, DWORD size, const std::string &password) {
  TRc4State state;
  LONG keyLength = password.size() > 257 ? 257 : static_cast<LONG>(password.size());
  if (!Rc4Init(state, password.data(), keyLength)) {
    SetLastError(kErrorInvalidImageData);
    return false;
  }
  // The header and the first 16 payload bytes are stored plain.
  if (size > kEncipheredFrom)
    Rc4Crypt(state, package + kEncipheredFrom, package + kEncipheredFrom,
             static_cast<LONG>(size - kEncipheredFrom));
  Rc4Reset(state);
  Rc4Burn(state);
  return true;
}

bool LoadImage(const std::string &password, BYTE *&image, LONG &imageSize, TProgressProc progress,
               ULONG_PTR context) {
  std::string description;
  DWORD passwordCheck = 0;
  DWORD packageOffset = 0;
  TMediaType mediaType = kMediaUnknown;
  bool isProtected =
      ReadPackageHeader(description, passwordCheck, packageOffset, mediaType, imageSize);
  std::string path = OwnFileName();
  return LoadPackageImage(path.c_str(), isProtected, packageOffset, password, image, imageSize,
                          progress, context);
}

bool LoadImageOfFile(const char *path, const std::string &password, BYTE *&image, LONG &imageSize,
                     TProgressProc progress, ULONG_PTR context) {
  std::string description;
  DWORD passwordCheck = 0;
  DWORD packageOffset = 0;
  TMediaType mediaType = kMediaUnknown;
  bool isProtected = ReadPackageHeaderOfFile(path, description, passwordCheck, packageOffset,
                                             mediaType, imageSize);
  return LoadPackageImage(path, isProtected, packageOffset, password, image, imageSize, progress,
                          context);
}

void ImageFileStartup() {
  RegisterError(kErrorInvalidImageFile, "Invalid image file");
  RegisterError(kErrorInvalidHeader, "Invalid header in compressed image file");
  RegisterError(kErrorInvalidImageData, "Invalid data in image file");
  RegisterError(kErrorBufferTooSmall, "Buffer too small");
}
