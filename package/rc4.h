// The RC4 cipher that protects a package's payload, keyed directly with the
// password's characters.
#ifndef DISKARNO_PACKAGE_RC4_H
#define DISKARNO_PACKAGE_RC4_H

#include <windows.h>

struct TRc4State {
  BYTE S[256];
  BYTE Saved[256];  // S as the key setup left it
};
static_assert(sizeof(TRc4State) == 512, "the cipher state is 512 bytes");

constexpr DWORD kErrorRc4Category = 0xF2340000;
constexpr DWORD kErrorRc4PasswordLength = 0xF2340001;

// Key setup. False with 0xF2340001, the state untouched, unless 1 <= length <= 256.
bool Rc4Init(TRc4State &state, const void *key, LONG length);
// destination = source XOR keystream; i and j start at 0 on every call.
// Source and destination may be the same. A count of 0 or less does nothing.
void Rc4Crypt(TRc4State &state, const void *source, void *destination, LONG count);
// Restores the permutation of the key setup.
void Rc4Reset(TRc4State &state);
// Overwrites the whole state with 0xFF.
void Rc4Burn(TRc4State &state);

// Registers the "RC4" texts.
void Rc4Startup();

#endif
