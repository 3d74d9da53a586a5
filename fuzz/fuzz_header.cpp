// Fuzzes the package offset and the header reader on arbitrary files.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "package_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzStartOnce();
  // The headers in memory, as the running program sees them.
  GetPackageOffsetFromHeaders(data, size);
  const std::string &path = FuzzWriteFile(data, size);
  size_t blocks = FuzzLiveBlocks();
  std::string description;
  DWORD passwordCheck = 0;
  DWORD offset = 0;
  TMediaType mediaType = 0;
  LONG imageSize = 0;
  bool isProtected = ReadPackageHeaderOfFile(path.c_str(), description, passwordCheck, offset,
                                             mediaType, imageSize);
  if (description.size() > 32) abort();
  // The outputs come from the header at the offset, or keep their defaults.
  if (offset != GetPackageOffsetFromHeaders(data, size < kPeHeaderWindow ? size : kPeHeaderWindow))
    abort();
  bool good = offset <= 0x7FFFFFFF && offset < size && size - offset >= kPackageHeaderSize &&
              memcmp(data + offset, "CDSK", 4) == 0;
  if (good) {
    TPackageHeader header;
    memcpy(&header, data + offset, sizeof header);
    if (imageSize != header.ImageSize || mediaType != header.MediaType ||
        passwordCheck != header.PasswordCheck || isProtected != (header.Protected != 0))
      abort();
  } else if (imageSize != -1 || mediaType != 0 || passwordCheck != 0 || isProtected ||
             !description.empty()) {
    abort();
  }
  description.clear();
  description.shrink_to_fit();
  FuzzExpectLiveBlocks(blocks);
  return 0;
}
