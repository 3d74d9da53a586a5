// The package writer: a disk image, its description, media type and
// password made into a package header and payload. The tool links it; the
// program only reads packages.
#ifndef DISKARNO_PACKAGE_PACKAGE_WRITER_H
#define DISKARNO_PACKAGE_PACKAGE_WRITER_H

#include <windows.h>

#include <cstddef>

#include "heap.h"
#include "media.h"
#include "package_format.h"

// libdeflate's compression levels: 1 the fastest, 12 the smallest.
constexpr int kLowestCompressionLevel = 1;
constexpr int kHighestCompressionLevel = 12;

// How the image is compressed; every choice writes the zlib format the
// program inflates.
struct TCompression {
  int Level = kHighestCompressionLevel;  // libdeflate's
  // Also zopfli, many times slower; the smaller of the two streams is kept.
  bool Best = false;
};

struct TPackageInput {
  const BYTE *Image = nullptr;
  size_t ImageSize = 0;
  const char *Description = "";
  size_t DescriptionLength = 0;
  TMediaType MediaType = kMediaUnknown;
  const char *Password = "";  // PasswordLength 0: not protected
  size_t PasswordLength = 0;
  bool Checksum = true;  // false: DataCrc 0
  TCompression Compression;
};

// Makes the header and the payload of a package: the image compressed as
// input.Compression says, its checksum unless told otherwise, and with a
// password the payload from its 17th byte on enciphered with RC4. The
// payload block holds exactly header.PackedSize bytes. False with
// ERROR_INVALID_PARAMETER when an input breaks a limit of the package
// (image size, description, password, a media type that names no medium,
// an image larger than its medium holds: MediumCapacity) or the level is
// not 1 to 12; the payload block is then empty.
bool BuildPackage(const TPackageInput &input, TPackageHeader &header, THeapBlock &payload);

#endif
