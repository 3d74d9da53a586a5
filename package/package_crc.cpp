// PackageCrc: CRC-32 (the reflected polynomial 0xEDB88320) with the register
// started at 0 and never inverted. Eight bytes a step through tables made on
// first use (zeroed data, nothing in the program file); on x86-64
// processors with carry-less multiplication, 64 bytes a step by folding.
#include <cstdint>
#include <cstring>

#include "package_format.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define DK_CRC_FOLDING 1
#endif

namespace {

uint32_t crcTables[8][256];
bool crcTablesMade = false;
bool crcFolding = false;  // the processor can fold
bool crcFoldingAllowed = true;

bool HasCarrylessMultiply() {
#ifdef DK_CRC_FOLDING
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(1, &a, &b, &c, &d) && (c & bit_PCLMUL) != 0;
#else
  return false;
#endif
}

void MakeCrcTables() {
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t crc = n;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    crcTables[0][n] = crc;
  }
  // tables[k][n]: the register after byte n and k zero bytes.
  for (uint32_t n = 0; n < 256; ++n)
    for (int k = 1; k < 8; ++k)
      crcTables[k][n] = (crcTables[k - 1][n] >> 8) ^ crcTables[0][crcTables[k - 1][n] & 0xFF];
  crcFolding = HasCarrylessMultiply();
  crcTablesMade = true;
}

uint32_t CrcBytes(uint32_t crc, const BYTE *data, size_t length) {
  for (; length >= 8; data += 8, length -= 8) {
    // The bytes are little-endian on every target of this program.
    uint32_t low;
    uint32_t high;
    memcpy(&low, data, 4);
    memcpy(&high, data + 4, 4);
    low ^= crc;
    crc = crcTables[7][low & 0xFF] ^ crcTables[6][(low >> 8) & 0xFF] ^
          crcTables[5][(low >> 16) & 0xFF] ^ crcTables[4][low >> 24] ^ crcTables[3][high & 0xFF] ^
          crcTables[2][(high >> 8) & 0xFF] ^ crcTables[1][(high >> 16) & 0xFF] ^
          crcTables[0][high >> 24];
  }
  for (; length > 0; ++data, --length) crc = (crc >> 8) ^ crcTables[0][(crc ^ *data) & 0xFF];
  return crc;
}

#ifdef DK_CRC_FOLDING

#define DK_FOLDING_TARGET __attribute__((target("pclmul")))

DK_FOLDING_TARGET inline __m128i Load(const BYTE *p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

// lane times the two halves of k, added to next: moves lane forward over the
// distance k stands for.
DK_FOLDING_TARGET inline __m128i Fold(__m128i lane, __m128i k, __m128i next) {
  __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
  __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

// Folds 64 bytes at a time into four 128-bit lanes, then the lanes into one,
// and reduces that to the 32-bit register (Barrett). Takes the register and
// a multiple of 16 bytes, at least 64; the constants are x^n mod P,
// bit-reflected and shifted by one, for the distances they fold over.
DK_FOLDING_TARGET uint32_t CrcFolded(uint32_t crc, const BYTE *data, size_t length) {
  const __m128i fold512 = _mm_set_epi64x(0x1c6e41596, 0x154442bd4);
  const __m128i fold128 = _mm_set_epi64x(0x0ccaa009e, 0x1751997d0);
  const __m128i fold64 = _mm_set_epi64x(0, 0x163cd6124);
  const __m128i barrett = _mm_set_epi64x(0x1f7011641, 0x1db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
  __m128i x1 = _mm_xor_si128(Load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(data + 16);
  __m128i x3 = Load(data + 32);
  __m128i x4 = Load(data + 48);
  data += 64;
  length -= 64;
  for (; length >= 64; data += 64, length -= 64) {
    x1 = Fold(x1, fold512, Load(data));
    x2 = Fold(x2, fold512, Load(data + 16));
    x3 = Fold(x3, fold512, Load(data + 32));
    x4 = Fold(x4, fold512, Load(data + 48));
  }
  x1 = Fold(x1, fold128, x2);
  x1 = Fold(x1, fold128, x3);
  x1 = Fold(x1, fold128, x4);
  for (; length >= 16; data += 16, length -= 16) x1 = Fold(x1, fold128, Load(data));
  // 128 bits to 64, then to 32 by Barrett reduction.
  __m128i part = _mm_clmulepi64_si128(x1, fold128, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), part);
  part = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), fold64, 0x00), part);
  part = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), barrett, 0x10);
  part = _mm_clmulepi64_si128(_mm_and_si128(part, low32), barrett, 0x00);
  x1 = _mm_xor_si128(x1, part);
  return static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(x1, 4)));
}

#endif

}  // namespace

DWORD PackageCrc(const void *data, LONG length) {
  if (length <= 0) return 1;
  if (!crcTablesMade) MakeCrcTables();
  const BYTE *bytes = static_cast<const BYTE *>(data);
  size_t count = static_cast<size_t>(length);
  uint32_t crc = 0;
#ifdef DK_CRC_FOLDING
  if (crcFolding && crcFoldingAllowed && count >= 64) {
    size_t folded = count & ~static_cast<size_t>(15);
    crc = CrcFolded(crc, bytes, folded);
    bytes += folded;
    count -= folded;
  }
#endif
  crc = CrcBytes(crc, bytes, count);
  return crc ? crc : 1;
}

void SetPackageCrcFolding(bool allowed) {
  crcFoldingAllowed = allowed;
}
