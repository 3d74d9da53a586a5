// Fuzzes LoadImage and InflateBuffer: the input is a package appended to a
// fixed program, and on its own a zlib stream.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "heap.h"
#include "image_unpacker.h"
#include "package_format.h"

namespace {

// Images larger than this would only measure the machine's memory.
constexpr LONG kLargestFuzzImage = 16 << 20;

void FuzzLoadImage(const uint8_t *data, size_t size) {
  if (size >= kPackageHeaderSize) {
    LONG announced;
    memcpy(&announced, data + 14, sizeof announced);
    if (announced > kLargestFuzzImage) return;
  }
  std::vector<uint8_t> program = FuzzStub();
  program.insert(program.end(), data, data + size);
  const std::string &path = FuzzWriteFile(program.data(), program.size());
  // The password is the description's text, so that protected packages can
  // be unpacked as well as refused.
  std::string password;
  if (size >= kPackageHeaderSize && data[23] <= 32)
    password.assign(reinterpret_cast<const char *>(data) + 24, data[23]);
  size_t blocks = FuzzLiveBlocks();
  BYTE *image = nullptr;
  LONG imageSize = 0;
  if (LoadImageOfFile(path.c_str(), password, image, imageSize, nullptr, 0)) {
    if (!image || imageSize < 58) abort();
    HeapRelease(image);
  } else if (image) {
    abort();  // a failure after unpacking began must leave no image
  }
  FuzzExpectLiveBlocks(blocks);
}

void FuzzInflate(const uint8_t *data, size_t size) {
  size_t blocks = FuzzLiveBlocks();
  BYTE *output = nullptr;
  LONG length = 0;
  LONG estimate = size > 0 ? data[0] * 97 : 0;
  if (InflateBuffer(data, static_cast<LONG>(size), estimate, output, length)) {
    if (length < 0 || (length > 0 && !output)) abort();
    HeapRelease(output);
  } else if (output) {
    abort();
  }
  FuzzExpectLiveBlocks(blocks);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  FuzzStartOnce();
  FuzzLoadImage(data, size);
  if (size > kPackageHeaderSize) FuzzInflate(data + kPackageHeaderSize, size - kPackageHeaderSize);
  FuzzInflate(data, size);
  return 0;
}
