// LoadImage: the package read in one piece, tested, deciphered in place,
// checked and inflated into the block that holds it; and the image-file error
// texts.
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

// Room between the image being made and the package still to be read, so
// that inflation rarely has to move the package's rest out of its way (at
// most this, and never more than the package or the image).
constexpr size_t kInflationMargin = 256 * 1024;

// The common part of LoadImage, once the header has been read. The package
// is read into the end of the block that becomes the image: inflation then
// writes on pages the read has already brought in, and the package takes no
// block of its own.
bool LoadPackageImage(const char *path, bool isProtected, DWORD packageOffset,
                      const std::string &password, BYTE *&image, LONG imageSize,
                      TProgressProc progress, ULONG_PTR context) {
  if (imageSize < kSmallestImage) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  Report(progress, context, "Loading...");
  THeapBlock block;
  DWORD packageSize = 0;
  if (!ReadPackageToBlockEnd(path, packageOffset, static_cast<size_t>(imageSize), kInflationMargin,
                             block, packageSize))
    return false;
  size_t packageAt = block.Size() - packageSize;
  BYTE *package = block.Data() + packageAt;
  TPackageHeader header;
  memcpy(&header, package, sizeof header);
  if (!HeaderAccepts(header, isProtected, password)) {
    block.Release();
    SetLastError(kErrorInvalidHeader);
    return false;
  }
  if (isProtected && !DecipherPackage(package, packageSize, password)) {
    block.Release();
    SetLastError(kErrorInvalidImageData);
    return false;
  }
  Report(progress, context, "Unpacking...");
  image = nullptr;
  SetLastError(NO_ERROR);
  const BYTE *payload = package + kPackageHeaderSize;
  LONG payloadLength = static_cast<LONG>(packageSize - kPackageHeaderSize);
  if (header.DataCrc == 0 || PackageCrc(payload, payloadLength) == header.DataCrc) {
    // Inflating stops at the announced size: a longer image is refused
    // without holding all of it.
    LONG imageLength = 0;
    bool tooLarge = false;
    if (InflateInPlace(block, packageAt + kPackageHeaderSize, payloadLength, imageSize, imageLength,
                       tooLarge) &&
        imageLength == imageSize) {
      block.Resize(static_cast<size_t>(imageSize));
      image = block.Detach();
      return true;
    }
  }
  DWORD error = GetLastError();
  block.Release();
  SetLastError(error != NO_ERROR ? error : kErrorInvalidImageData);
  return false;
}

}  // namespace

DWORD PasswordCheckOf(const std::string &password) {
  return PackageCrc(password.data(), LengthOf(password));
}

bool ReadPackageToBlockEnd(const char *path, DWORD packageOffset, size_t minimumSize, size_t margin,
                           THeapBlock &block, DWORD &packageSize) {
  packageSize = 0;
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
  // The margin is never larger than either size, so the block never holds
  // more than both together. Each is below 2 GiB: the sum can't wrap.
  if (margin > size) margin = size;
  if (margin > minimumSize) margin = minimumSize;
  block.Allocate((minimumSize > size ? minimumSize : size) + margin);
  if (file.ReadAt(packageOffset, block.Data() + block.Size() - size, size)) {
    packageSize = size;
    return true;
  }
  DWORD error = GetLastError();
  block.Release();
  SetLastError(error);
  return false;
}

bool ReadWholePackage(const char *path, DWORD packageOffset, THeapBlock &package) {
  DWORD size = 0;
  return ReadPackageToBlockEnd(path, packageOffset, 0, 0, package, size);
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
