// LoadImage: the package read in one piece, tested, deciphered in place,
// checked and inflated into the block that holds it; and the image-file error
// texts.
#include "image_unpacker.h"

#include <cstring>

#include "app_errors.h"
#include "last_error.h"
#include "package_format.h"
#include "rc4.h"

namespace {

constexpr DWORD kLargestPackage = 0x7FFFFFFF;

LONG LengthOf(TPasswordText text) {
  return text.Size > static_cast<size_t>(kLargestPackage) ? static_cast<LONG>(kLargestPackage)
                                                          : static_cast<LONG>(text.Size);
}


void Report(TProgressProc progress, ULONG_PTR context, const char *text) {
  if (progress) progress(context, text);
}

bool HeaderAccepts(const TPackageHeader &header, TPasswordText password) {
  return memcmp(header.Magic, "CDSK", sizeof header.Magic) == 0 && HeaderUnpackable(header) &&
         PasswordOpens(header, password);
}

// Room between the image being made and the package still to be read, so
// that inflation rarely has to move the package's rest out of its way (at
// most this, and never more than the package or the image).
constexpr size_t kInflationMargin = 256 * 1024;

}  // namespace

DWORD PasswordCheckOf(TPasswordText password) {
  return PackageCrc(password.Data, LengthOf(password));
}

bool DecipherPackage(BYTE *package, DWORD size, TPasswordText password) {
  TRc4State state;
  LONG keyLength = password.Size > 257 ? 257 : static_cast<LONG>(password.Size);
  if (!Rc4Init(state, password.Data, keyLength)) {
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

namespace {

// The package is read into the end of the block that becomes the image:
// inflation then writes on pages the read has already brought in, and the
// package takes no block of its own. The header and the password have
// passed HeaderAccepts.
bool UnpackAccepted(TPackage &package, TPasswordText password, BYTE *&image, LONG imageSize,
                    TProgressProc progress, ULONG_PTR context) {
  if (!ReadPackageBytes(package, static_cast<size_t>(imageSize), kInflationMargin)) return false;
  THeapBlock &block = package.Block;
  size_t packageAt = block.Size() - package.Size;
  BYTE *bytes = package.Bytes();
  // The header read now is the one tested: a file changed meanwhile stops.
  if (memcmp(bytes, &package.Header, kPackageHeaderSize) != 0) {
    block.Release();
    SetLastError(kErrorInvalidHeader);
    return false;
  }
  const TPackageHeader &header = package.Header;
  if (header.Protected && !DecipherPackage(bytes, package.Size, password)) {
    block.Release();
    SetLastError(kErrorInvalidImageData);
    return false;
  }
  Report(progress, context, "Unpacking...");
  image = nullptr;
  SetLastError(NO_ERROR);
  const BYTE *payload = package.Payload();
  LONG payloadLength = static_cast<LONG>(package.PayloadLength());
  if (header.DataCrc == 0 || PackageCrc(payload, payloadLength) == header.DataCrc) {
    // Inflating stops at the announced size: a longer image is refused
    // without holding all of it.
    LONG imageLength = 0;
    bool tooLarge = false;
    bool inflated = InflateInPlace(block, packageAt + kPackageHeaderSize, payloadLength, imageSize,
                                   imageLength, tooLarge);
    if (inflated && imageLength == imageSize) {
      block.Resize(static_cast<size_t>(imageSize));
      image = block.Detach();
      return true;
    }
    if (inflated || tooLarge) SetLastError(kErrorImageSizeMismatch);
  }
  {
    TLastErrorKeeper keeper;
    block.Release();
  }
  SetErrorIfNone(kErrorInvalidImageData);
  return false;
}

}  // namespace

bool UnpackPackage(TPackage &package, TPasswordText password, BYTE *&image, LONG &imageSize,
                   TProgressProc progress, ULONG_PTR context) {
  imageSize = package.HasHeader() ? package.Header.ImageSize : -1;
  if (!ImageSizeAllowed(imageSize)) {
    SetErrorIfNone(kErrorInvalidImageFile);
    return false;
  }
  Report(progress, context, "Loading...");
  // The header read at the open is tested before a block of the image's
  // size is taken: a header that lies about the size costs nothing.
  if (!HeaderAccepts(package.Header, password)) {
    SetLastError(kErrorInvalidHeader);
    return false;
  }
  return UnpackAccepted(package, password, image, imageSize, progress, context);
}

bool LoadImage(TPasswordText password, BYTE *&image, LONG &imageSize, TProgressProc progress,
               ULONG_PTR context) {
  TPackage package;
  OpenOwnPackage(package);
  return UnpackPackage(package, password, image, imageSize, progress, context);
}

bool LoadImageOfFile(const char *path, TPasswordText password, BYTE *&image, LONG &imageSize,
                     TProgressProc progress, ULONG_PTR context) {
  TPackage package;
  OpenPackage(path, package);
  return UnpackPackage(package, password, image, imageSize, progress, context);
}

TUnpackResult UnpackProgram(TPackage &package, TPasswordText typedPassword, BYTE *&image,
                            LONG &imageSize) {
  image = nullptr;
  imageSize = -1;
  if (!PackageUsable(package.Header)) return TUnpackResult::Unusable;
  // As on "Write disk": the password is tested only when the package needs
  // one, and a package that needs none is unpacked without one.
  const bool needed = PasswordNeeded(package.Header);
  const TPasswordText password = needed ? typedPassword : TPasswordText("", 0);
  if (!HeaderUnpackable(package.Header)) {
    SetLastError(kErrorInvalidHeader);
    return TUnpackResult::Failed;
  }
  if (needed && !PasswordMatches(package.Header.PasswordCheck, password))
    return TUnpackResult::WrongPassword;
  imageSize = package.Header.ImageSize;
  return UnpackAccepted(package, password, image, imageSize, nullptr, 0) ? TUnpackResult::Unpacked
                                                                          : TUnpackResult::Failed;
}

void ImageFileStartup() {
  RegisterError(kErrorInvalidImageFile, "Invalid image file");
  RegisterError(kErrorInvalidHeader, "Invalid header in compressed image file");
  RegisterError(kErrorInvalidImageData, "Invalid data in image file");
  RegisterError(kErrorImageSizeMismatch, "Invalid data in image file");
  RegisterError(kErrorBufferTooSmall, "Buffer too small");
}
