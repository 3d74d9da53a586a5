// SHA-256 (FIPS 180-4), for telling the program in front of a package from
// the ones this project built. The Windows tool links no library that has it.
#ifndef DISKARNO_TOOLS_DISKARNO_SHA256_H
#define DISKARNO_TOOLS_DISKARNO_SHA256_H

#include <cstddef>
#include <cstdint>
#include <string>

// A digest fed in pieces of any size: Add as often as needed, then HexDigest
// once.
class TSha256 {
 public:
  TSha256();
  void Add(const void *data, size_t size);
  // The digest as 64 lower-case hexadecimal digits; the object is used up.
  std::string HexDigest();

 private:
  void Block(const uint8_t *block);

  uint32_t state_[8];
  uint8_t pending_[64];
  size_t pendingSize_ = 0;
  uint64_t totalSize_ = 0;
};

// The digest of one piece of memory, in hexadecimal.
std::string Sha256Hex(const void *data, size_t size);

#endif
