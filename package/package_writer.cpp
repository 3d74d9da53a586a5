// The package writer.
#include "package_writer.h"

#include <libdeflate.h>
#include <zopfli.h>

#include <cstdlib>
#include <cstring>

#include "image_unpacker.h"
#include "rc4.h"

namespace {

bool InputAllowed(const TPackageInput &input) {
  return ImageSizeAllowed(static_cast<int64_t>(input.ImageSize)) &&
         DescriptionAllowed(input.DescriptionLength) && PasswordAllowed(input.PasswordLength) &&
         input.MediaType != kMediaUnknown && input.MediaType < kMediaNone &&
         input.Compression.Level >= kLowestCompressionLevel &&
         input.Compression.Level <= kHighestCompressionLevel &&
         static_cast<uint64_t>(input.ImageSize) <=
             static_cast<uint64_t>(MediumCapacity(input.MediaType));
}

// libdeflate's zlib stream into a block of exactly its size. Its memory
// comes from the process heap, so that running out ends the process as
// everywhere else.
void Deflate(const BYTE *image, size_t size, int level, THeapBlock &payload) {
  libdeflate_set_memory_allocator(HeapAllocOrDie, HeapRelease);
  libdeflate_compressor *compressor = libdeflate_alloc_compressor(level);
  // The bound holds for any input: the compression can't run out of room.
  payload.Allocate(libdeflate_zlib_compress_bound(compressor, size));
  payload.Resize(libdeflate_zlib_compress(compressor, image, size, payload.Data(), payload.Size()));
  libdeflate_free_compressor(compressor);
}

// Keeps zopfli's zlib stream instead when it is smaller (its defaults: 15
// iterations, blocks split).
void KeepZopfliWhenSmaller(const BYTE *image, size_t size, THeapBlock &payload) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  unsigned char *stream = nullptr;
  size_t length = 0;
  ZopfliCompress(&options, ZOPFLI_FORMAT_ZLIB, image, size, &stream, &length);
  if (length < payload.Size()) {
    payload.Allocate(length);
    memcpy(payload.Data(), stream, length);
  }
  free(stream);
}

}  // namespace

bool BuildPackage(const TPackageInput &input, TPackageHeader &header, THeapBlock &payload) {
  payload.Release();
  if (!InputAllowed(input)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  Deflate(input.Image, input.ImageSize, input.Compression.Level, payload);
  if (input.Compression.Best) KeepZopfliWhenSmaller(input.Image, input.ImageSize, payload);
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
