// Test programs with packages, built without the product's code.
#include "package_builder.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testing_support {

namespace {

constexpr uint32_t kPeOffset = 0x80;

void Put16(TBytes &bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<unsigned char>(value);
  bytes[at + 1] = static_cast<unsigned char>(value >> 8);
}

void Put32(TBytes &bytes, size_t at, uint32_t value) {
  for (int n = 0; n < 4; ++n) bytes[at + n] = static_cast<unsigned char>(value >> (8 * n));
}

}  // namespace

uint32_t StubEnd(const TStubOptions &options) {
  uint64_t end = 0;
  for (const TStubSection &section : options.sections)
    end = std::max<uint64_t>(end, uint64_t(section.rawPointer) + section.rawSize);
  return static_cast<uint32_t>(end);
}

TBytes MakeStub(const TStubOptions &options) {
  size_t table = kPeOffset + 4 + 20 + options.optionalHeaderSize;
  size_t headersEnd = table + 40 * options.sections.size();
  TBytes bytes(std::max<size_t>(headersEnd, StubEnd(options)), 0);
  std::fill(bytes.begin() + headersEnd, bytes.end(), 0xCC);
  bytes[0] = 'M';
  bytes[1] = 'Z';
  Put32(bytes, 60, kPeOffset);
  memcpy(&bytes[kPeOffset], "PE\0\0", 4);
  size_t fileHeader = kPeOffset + 4;
  Put16(bytes, fileHeader, options.optionalHeaderSize == 240 ? 0x8664 : 0x14C);
  Put16(bytes, fileHeader + 2, static_cast<uint16_t>(options.sections.size()));
  Put16(bytes, fileHeader + 16, options.optionalHeaderSize);
  Put16(bytes, fileHeader + 18, 0x0102);
  if (options.optionalHeaderSize >= 2)
    Put16(bytes, fileHeader + 20, options.optionalHeaderSize == 240 ? 0x20B : 0x10B);
  for (size_t n = 0; n < options.sections.size(); ++n) {
    size_t entry = table + 40 * n;
    memcpy(&bytes[entry], n == 0 ? ".text" : ".data", 5);
    Put32(bytes, entry + 16, options.sections[n].rawSize);
    Put32(bytes, entry + 20, options.sections[n].rawPointer);
  }
  bytes.insert(bytes.end(), options.trailingBytes, 0xEE);
  return bytes;
}

uint32_t Crc(const void *data, size_t length) {
  const unsigned char *bytes = static_cast<const unsigned char *>(data);
  uint32_t crc = 0;
  for (size_t n = 0; n < length; ++n) {
    crc ^= bytes[n];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  return crc ? crc : 1;
}

void Rc4(const std::string &key, unsigned char *data, size_t length) {
  unsigned char s[256];
  for (int n = 0; n < 256; ++n) s[n] = static_cast<unsigned char>(n);
  for (int n = 0, j = 0; n < 256; ++n) {
    j = (j + s[n] + static_cast<unsigned char>(key[n % key.size()])) & 255;
    std::swap(s[n], s[j]);
  }
  for (size_t k = 0, i = 0, j = 0; k < length; ++k) {
    i = (i + 1) & 255;
    j = (j + s[i]) & 255;
    std::swap(s[i], s[j]);
    data[k] ^= s[(s[i] + s[j]) & 255];
  }
}

TBytes Deflate(const TBytes &bytes) {
  uLongf length = compressBound(bytes.size());
  TBytes packed(length);
  if (compress2(packed.data(), &length, bytes.data(), bytes.size(), 9) != Z_OK) return TBytes();
  packed.resize(length);
  return packed;
}

TBytes MakePackage(const TBytes &image, const TPackageOptions &options) {
  TBytes payload = options.payload ? *options.payload : Deflate(image);
  bool isProtected = !options.password.empty();
  TBytes header(57, 0);
  memcpy(&header[0], options.magic, 4);
  header[4] = options.version;
  header[5] = options.protectedFlag.value_or(isProtected ? 1 : 0);
  Put32(header, 6,
        options.passwordCheck.value_or(
            isProtected ? Crc(options.password.data(), options.password.size()) : 0));
  Put32(header, 10,
        options.dataCrc.value_or(options.checksum ? Crc(payload.data(), payload.size()) : 0));
  Put32(header, 14,
        static_cast<uint32_t>(options.imageSize.value_or(static_cast<int32_t>(image.size()))));
  Put32(header, 18, options.packedSize.value_or(static_cast<uint32_t>(payload.size())));
  size_t length = std::min<size_t>(options.description.size(), 32);
  header[23] = options.descriptionLength.value_or(static_cast<uint8_t>(length));
  memcpy(&header[24], options.description.data(), length);
  header[56] = options.mediaType;
  if (isProtected && payload.size() > 16)
    Rc4(options.password, payload.data() + 16, payload.size() - 16);
  header.insert(header.end(), payload.begin(), payload.end());
  return header;
}

TBytes MakeProgram(const TBytes &image, const TPackageOptions &options, const TStubOptions &stub) {
  TBytes program = MakeStub(stub);
  TBytes package = MakePackage(image, options);
  program.insert(program.end(), package.begin(), package.end());
  return program;
}

std::vector<TPackageCase> RefusedPackages(const TBytes &disk) {
  TPackageOptions wrongMagic, noMedium, media15, media255, size0, size57, noCheck, version2,
      noChecksum;
  wrongMagic.magic[3] = 'X';
  noMedium.mediaType = 0;
  media15.mediaType = 15;
  media255.mediaType = 255;
  size0.imageSize = 0;
  size57.imageSize = 57;
  noCheck.password = "secret";
  noCheck.passwordCheck = 0;  // no password has the check 0
  version2.version = 2;
  noChecksum.checksum = false;
  TBytes cut = MakeProgram(disk);
  cut.resize(cut.size() - 100);
  TBytes cutNoChecksum = MakeProgram(disk, noChecksum);
  cutNoChecksum.resize(cutNoChecksum.size() - 100);
  TBytes flipped = MakeProgram(disk);
  flipped[flipped.size() - 300] ^= 0x40;
  TBytes flippedNoChecksum = MakeProgram(disk, noChecksum);
  flippedNoChecksum.back() ^= 0x40;  // the Adler-32 trailer
  return {
      {"nothing appended", MakeStub(), true, ""},
      {"wrong magic", MakeProgram(disk, wrongMagic), true, ""},
      {"media type 0", MakeProgram(disk, noMedium), true, ""},
      {"media type 15", MakeProgram(disk, media15), true, ""},
      {"media type 255", MakeProgram(disk, media255), true, ""},
      {"image size 0", MakeProgram(disk, size0), true, ""},
      {"image size 57", MakeProgram(disk, size57), true, ""},
      {"cut payload", cut, false, "Invalid data in image file."},
      {"cut payload, no checksum", cutNoChecksum, false, "[ZLib]: Invalid buffer."},
      {"flipped payload byte", flipped, false, "Invalid data in image file."},
      {"flipped byte, no checksum", flippedNoChecksum, false, "[ZLib]: Invalid data."},
      {"protected with check 0", MakeProgram(disk, noCheck), false,
       "Invalid header in compressed image file."},
      {"version 2", MakeProgram(disk, version2), false, "Invalid header in compressed image file."},
  };
}

bool WriteBytes(const std::string &path, const TBytes &bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char *>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file);
}

TBytes ReadBytes(const std::string &path) {
  std::ifstream file(path, std::ios::binary);
  return TBytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool FileExists(const std::string &path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

}  // namespace testing_support
