// The package writer.
#include "package_writer.h"

#include <zlib.h>

#include <cstring>

#include "image_unpacker.h"
#include "rc4.h"

namespace {

bool InputAllowed(const TPackageInput &input) {
  return ImageSizeAllowed(static_cast<int64_t>(input.ImageSize)) &&
         DescriptionAllowed(input.DescriptionLength) && PasswordAllowed(input.PasswordLength) &&
         input.MediaType != kMediaUnknown && input.MediaType < kMediaNone &&
         static_cast<uint64_t>(input.ImageSize) <=
             static_cast<uint64_t>(MediumCapacity(input.MediaType));
}

// zlib at level 9 into a block of exactly the compressed size.
bool Compress(const BYTE *image, size_t size, THeapBlock &payload) {
  uLongf length = compressBound(static_cast<uLong>(size));
  payload.Allocate(length);
  int result = compress2(payload.Data(), &length, image, static_cast<uLong>(size), 9);
  if (result != Z_OK) {
    payload.Release();
    SetLastError(kErrorZLibCategory + static_cast<DWORD>(result - Z_VERSION_ERROR + 1));
    return false;
  }
  payload.Resize(length);
  return true;
}

}  // namespace

bool BuildPackage(const TPackageInput &input, TPackageHeader &header, THeapBlock &payload) {
  if (!InputAllowed(input)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  if (!Compress(input.Image, input.ImageSize, payload)) return false;
  const LONG passwordLength = static_cast<LONG>(input.PasswordLength);
  const LONG payloadLength = static_cast<LONG>(payload.Size());
  memset(&header, 0, sizeof header);
  memcpy(header.Magic, "CDSK", sizeof header.Magic);
  header.Version = kPackageVersion;
  header.Protected = passwordLength ? 1 : 0;
  header.PasswordCheck = passwordLength ? PackageCrc(input.Password, passwordLength) : 0;
  header.DataCrc = input.Checksum ? PackageCrc(payload.Data(), payloadLength) : 0;
  header.ImageSize = static_cast<LONG>(input.ImageSize);
  header.PackedSize = static_cast<DWORD>(payloadLength);
  header.DescriptionLength = static_cast<BYTE>(input.DescriptionLength);
  memcpy(header.Description, input.Description, input.DescriptionLength);
  header.MediaType = input.MediaType;
  const DWORD plain = kEncipheredFrom - kPackageHeaderSize;
  if (passwordLength && payload.Size() > plain) {
    // The zlib header and the first deflate bytes stay plain.
    TRc4State state;
    Rc4Init(state, input.Password, passwordLength);
    Rc4Crypt(state, payload.Data() + plain, payload.Data() + plain,
             static_cast<LONG>(payload.Size() - plain));
    Rc4Burn(state);
  }
  return true;
}
