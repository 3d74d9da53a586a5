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
  {
    TPackage package;
    bool read = OpenPackage(path.c_str(), package);
    if (strlen(package.Description) > 32 || read != package.HasHeader()) abort();
    // The header comes from the offset, or stays all zero.
    DWORD offset = package.Offset;
    if (offset != GetPackageOffsetFromHeaders(data, size < kPeHeaderWindow ? size : kPeHeaderWindow))
      abort();
    bool good = offset <= 0x7FFFFFFF && offset < size && size - offset >= kPackageHeaderSize &&
                memcmp(data + offset, "CDSK", 4) == 0;
    TPackageHeader header = {};
    if (good) memcpy(&header, data + offset, sizeof header);
    if (read != good || memcmp(&header, &package.Header, sizeof header) != 0) abort();
    // The bytes, when read, are the file's from the offset on.
    if (read && ReadPackageBytes(package, 0, 0) &&
        (package.Size != size - offset || memcmp(package.Bytes(), data + offset, package.Size) != 0))
      abort();
  }
  FuzzExpectLiveBlocks(blocks);
  return 0;
}
