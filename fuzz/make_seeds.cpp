// Writes the seed corpora of the fuzz targets: packages as the tests make
// them, plain and protected, with and without checksum.
#include <cstdio>
#include <random>
#include <string>

#include "support/package_builder.h"

using testing_support::TBytes;
using testing_support::TPackageOptions;

namespace {

void Save(const std::string &folder, const std::string &name, const TBytes &bytes) {
  testing_support::WriteBytes(folder + "/" + name, bytes);
}

TBytes Image(size_t size, unsigned seed) {
  TBytes image(size);
  std::mt19937 random(seed);
  for (size_t n = 0; n < size; ++n)
    image[n] = n % 7 ? static_cast<unsigned char>("FAT12   "[n % 8]) : random() & 0xFF;
  return image;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: make_seeds HEADER_FOLDER UNPACK_FOLDER\n");
    return 2;
  }
  const std::string header = argv[1];
  const std::string unpack = argv[2];
  int count = 0;
  for (size_t size : {58, 512, 4096}) {
    for (const char *password : {"", "pw", "Sesame"}) {
      for (bool checksum : {true, false}) {
        TPackageOptions options;
        options.password = password;
        options.checksum = checksum;
        options.description = password;  // the unpack target takes it as the password
        TBytes image = Image(size, count);
        std::string name = "seed" + std::to_string(count++);
        Save(unpack, name, testing_support::MakePackage(image, options));
        testing_support::TStubOptions stub;
        stub.optionalHeaderSize = count % 2 ? 224 : 240;
        Save(header, name, testing_support::MakeProgram(image, options, stub));
      }
    }
  }
  Save(header, "stub-only", testing_support::MakeStub());
  printf("%d seeds\n", count);
  return 0;
}
