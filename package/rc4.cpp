// RC4 keyed directly with the password's characters, no bytes dropped.
#include "rc4.h"

#include <cstdint>
#include <cstring>

#include "app_errors.h"

bool Rc4Init(TRc4State &state, const void *key, LONG length) {
  if (length < 1 || length > 256) {
    SetLastError(kErrorRc4PasswordLength);
    return false;
  }
  const BYTE *keyBytes = static_cast<const BYTE *>(key);
  BYTE *s = state.S;
  for (unsigned n = 0; n < 256; ++n) s[n] = static_cast<BYTE>(n);
  unsigned j = 0;
  unsigned k = 0;
  for (unsigned n = 0; n < 256; ++n) {
    BYTE value = s[n];
    j = (j + value + keyBytes[k]) & 0xFF;
    s[n] = s[j];
    s[j] = value;
    if (++k == static_cast<unsigned>(length)) k = 0;
  }
  memcpy(state.Saved, state.S, sizeof state.S);
  return true;
}

namespace {

// One keystream step on the permutation held as 32-bit words.
inline uint32_t NextKey(uint32_t *s, uint32_t &i, uint32_t &j) {
  i = (i + 1) & 0xFF;
  uint32_t si = s[i];
  j = (j + si) & 0xFF;
  uint32_t sj = s[j];
  s[i] = sj;
  s[j] = si;
  return s[(si + sj) & 0xFF];
}

}  // namespace

void Rc4Crypt(TRc4State &state, const void *source, void *destination, LONG count) {
  if (count <= 0) return;
  // The permutation is worked on as 32-bit words (byte-sized loads and
  // stores cost more in the loop than the copy in and out), and eight
  // keystream bytes meet eight source bytes in one 64-bit XOR.
  uint32_t s[256];
  for (unsigned n = 0; n < 256; ++n) s[n] = state.S[n];
  const BYTE *in = static_cast<const BYTE *>(source);
  BYTE *out = static_cast<BYTE *>(destination);
  uint32_t i = 0;
  uint32_t j = 0;
  LONG k = 0;
  for (; count - k >= 8; k += 8) {
    // Written out: compilers do not unroll this loop at every level.
    uint64_t key = NextKey(s, i, j);
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 8;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 16;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 24;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 32;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 40;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 48;
    key |= static_cast<uint64_t>(NextKey(s, i, j)) << 56;
    uint64_t word;
    memcpy(&word, in + k, sizeof word);
    word ^= key;  // the bytes are little-endian on every target of this program
    memcpy(out + k, &word, sizeof word);
  }
  for (; k < count; ++k) out[k] = static_cast<BYTE>(in[k] ^ NextKey(s, i, j));
  for (unsigned n = 0; n < 256; ++n) state.S[n] = static_cast<BYTE>(s[n]);
}

void Rc4Reset(TRc4State &state) {
  memcpy(state.S, state.Saved, sizeof state.S);
}

void Rc4Burn(TRc4State &state) {
  // volatile, so that the wipe of a state about to go out of scope stays.
  volatile BYTE *bytes = reinterpret_cast<volatile BYTE *>(&state);
  for (size_t n = 0; n < sizeof state; ++n) bytes[n] = 0xFF;
}

void Rc4Startup() {
  RegisterError(kErrorRc4Category, "RC4");
  RegisterError(kErrorRc4PasswordLength, "Invalid password length (1 .. 256 characters).");
}
