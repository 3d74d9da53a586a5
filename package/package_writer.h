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

struct TPackageInput {
  const BYTE *Image = nullptr;
  size_t ImageSize = 0;
  const char *Description = "";
  size_t DescriptionLength = 0;
  TMediaType MediaType = kMediaUnknown;
  const char *Password = "";  // PasswordLength 0: not protected
  size_t PasswordLength = 0;
  bool Checksum = true;  // false: DataCrc 0
};

// Makes the header and the payload of a package: the image compressed with
// zlib at level 9, its checksum unless told otherwise, and with a password
// the payload from its 17th byte on enciphered with RC4. The payload block
// holds exactly header.PackedSize bytes. False with ERROR_INVALID_PARAMETER
// when an input breaks a limit of the package (image size, description,
// password, a media type that names no medium, an image larger than its
// medium holds: MediumCapacity), or with a ZLib code when
// compression fails; the payload block is then empty.
bool BuildPackage(const TPackageInput &input, TPackageHeader &header, THeapBlock &payload);

#endif
