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

void Rc4Crypt(TRc4State &state, const void *source, void *destination, LONG count) {
  if (count <= 0) return;
  // The permutation is worked on as 32-bit words: byte-sized stores and loads
  // in the hot loop cost more than the copy in and out.
  uint32_t s[256];
  for (unsigned n = 0; n < 256; ++n) s[n] = state.S[n];
  const BYTE *in = static_cast<const BYTE *>(source);
  BYTE *out = static_cast<BYTE *>(destination);
  uint32_t i = 0;
  uint32_t j = 0;
  for (LONG k = 0; k < count; ++k) {
    i = (i + 1) & 0xFF;
    uint32_t si = s[i];
    j = (j + si) & 0xFF;
    uint32_t sj = s[j];
    s[i] = sj;
    s[j] = si;
    out[k] = static_cast<BYTE>(in[k] ^ s[(si + sj) & 0xFF]);
  }
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
