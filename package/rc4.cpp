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

// The permutation worked on as 32-bit words: byte-sized loads and stores
// cost more in the loop than the copy in and out.
struct TKeystream {
  uint32_t s[256];
  uint32_t i;
  uint32_t j;
  uint32_t si;  // s[i], fetched once the previous step has stored its swap

  // The next keystream byte. Fetching s[i + 1] only after the swap's stores
  // is correct even when the swap touched it, and lets the processor start
  // that load while the output byte is still being looked up.
  uint32_t Next() {
    j = (j + si) & 0xFF;
    uint32_t sj = s[j];
    s[j] = si;
    s[i] = sj;
    uint32_t index = (si + sj) & 0xFF;
    i = (i + 1) & 0xFF;
    si = s[i];
    return s[index];
  }
};

}  // namespace

void Rc4Crypt(TRc4State &state, const void *source, void *destination, LONG count) {
  if (count <= 0) return;
  TKeystream key;
  for (unsigned n = 0; n < 256; ++n) key.s[n] = state.S[n];
  key.i = 1;
  key.j = 0;
  key.si = key.s[1];
  const BYTE *in = static_cast<const BYTE *>(source);
  BYTE *out = static_cast<BYTE *>(destination);
  LONG k = 0;
  // Eight keystream bytes meet eight source bytes in one 64-bit XOR.
  for (; count - k >= 8; k += 8) {
    // Written out: compilers do not unroll this loop at every level.
    uint64_t word = key.Next();
    word |= static_cast<uint64_t>(key.Next()) << 8;
    word |= static_cast<uint64_t>(key.Next()) << 16;
    word |= static_cast<uint64_t>(key.Next()) << 24;
    word |= static_cast<uint64_t>(key.Next()) << 32;
    word |= static_cast<uint64_t>(key.Next()) << 40;
    word |= static_cast<uint64_t>(key.Next()) << 48;
    word |= static_cast<uint64_t>(key.Next()) << 56;
    uint64_t text;
    memcpy(&text, in + k, sizeof text);
    text ^= word;  // the bytes are little-endian on every target of this program
    memcpy(out + k, &text, sizeof text);
  }
  for (; k < count; ++k) out[k] = static_cast<BYTE>(in[k] ^ key.Next());
  for (unsigned n = 0; n < 256; ++n) state.S[n] = static_cast<BYTE>(key.s[n]);
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
