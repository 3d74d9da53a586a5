// Programs with a package appended, built in memory for tests: a minimal PE
// stub and a package made independently of the product code (its own CRC
// and RC4, zlib level 9), with switches for every header field.
//
//   std::vector<unsigned char> image = MakeFatImage(1474560, {{"A.TXT", "a"}});
//   TPackageOptions options;
//   options.password = "secret";
//   WriteBytes(path, MakeProgram(image, options));  // stub + header + payload
#ifndef DISKARNO_TESTS_SUPPORT_PACKAGE_BUILDER_H
#define DISKARNO_TESTS_SUPPORT_PACKAGE_BUILDER_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testing_support {

typedef std::vector<unsigned char> TBytes;

struct TStubSection {
  uint32_t rawPointer;  // PointerToRawData
  uint32_t rawSize;     // SizeOfRawData
};

struct TStubOptions {
  // 224 for a 32-bit program, 240 for a 64-bit one.
  uint16_t optionalHeaderSize = 224;
  // The package goes where the section ending last ends.
  std::vector<TStubSection> sections = {{0x400, 0x600}, {0xA00, 0x200}};
  // Bytes after the last section (a symbol table, a signature), filled with 0xEE.
  size_t trailingBytes = 0;
};

// "MZ" DOS header pointing at "PE\0\0" at 0x80, a file header, a zeroed
// optional header of the given size (its magic set), the section table, and
// the sections' raw data (0xCC) up to the end of the last one.
TBytes MakeStub(const TStubOptions &options = TStubOptions());
// Where the package starts after MakeStub(options): the largest section end.
uint32_t StubEnd(const TStubOptions &options = TStubOptions());

struct TPackageOptions {
  std::string password;                   // empty: not protected
  bool checksum = true;                   // false: DataCrc 0
  std::string description = "Test disk";  // written as given, cut to 32
  uint8_t mediaType = 2;
  uint8_t version = 1;
  char magic[4] = {'C', 'D', 'S', 'K'};
  // Overrides of computed fields.
  std::optional<int32_t> imageSize;          // default: the image's length
  std::optional<uint32_t> packedSize;        // default: the payload's length
  std::optional<uint32_t> passwordCheck;     // default: Crc(password), 0 when none
  std::optional<uint32_t> dataCrc;           // default: Crc(plain payload) or 0
  std::optional<uint8_t> protectedFlag;      // default: 1 with a password
  std::optional<uint8_t> descriptionLength;  // default: the description's length
  // The plain payload to store instead of zlib(image); it is still
  // enciphered and checksummed as the options say.
  std::optional<TBytes> payload;
};

// The package's checksum: CRC-32 register started at 0, no final inversion,
// 0 given as 1.
uint32_t Crc(const void *data, size_t length);
// RC4 over bytes in place, one keystream from the start.
void Rc4(const std::string &key, unsigned char *data, size_t length);
// zlib stream of the bytes at level 9.
TBytes Deflate(const TBytes &bytes);

// The 57-byte header and the payload for an image.
TBytes MakePackage(const TBytes &image, const TPackageOptions &options = TPackageOptions());
// A stub followed by the package.
TBytes MakeProgram(const TBytes &image, const TPackageOptions &options = TPackageOptions(),
                   const TStubOptions &stub = TStubOptions());

// A package the program refuses: at start-up ("Corrupted file contents, ..."
// and exit code 1), or on "Write disk" with writeError. The program and
// every verb of the tool run through this one table, so that they can never
// disagree about a package.
struct TPackageCase {
  std::string name;
  TBytes program;
  bool refusedAtStart;
  std::string writeError;
};
// Corrupt and odd packages of the disk, each with what the program makes of it.
std::vector<TPackageCase> RefusedPackages(const TBytes &disk);

bool WriteBytes(const std::string &path, const TBytes &bytes);
TBytes ReadBytes(const std::string &path);  // empty when the file can't be read
bool FileExists(const std::string &path);

}  // namespace testing_support

#endif
