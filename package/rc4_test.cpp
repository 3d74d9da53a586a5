#include "rc4.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/package_builder.h"

namespace {

std::vector<BYTE> Keystream(const std::vector<BYTE> &key, size_t length) {
  TRc4State state;
  EXPECT_TRUE(Rc4Init(state, key.data(), static_cast<LONG>(key.size())));
  std::vector<BYTE> stream(length, 0);
  Rc4Crypt(state, stream.data(), stream.data(), static_cast<LONG>(length));
  return stream;
}

std::vector<BYTE> Hex(const char *text) {
  std::vector<BYTE> bytes;
  for (const char *p = text; *p;) {
    if (*p == ' ') {
      ++p;
      continue;
    }
    bytes.push_back(static_cast<BYTE>(std::stoi(std::string(p, 2), nullptr, 16)));
    p += 2;
  }
  return bytes;
}

std::vector<BYTE> Slice(const std::vector<BYTE> &bytes, size_t offset) {
  return std::vector<BYTE>(bytes.begin() + offset, bytes.begin() + offset + 16);
}

// Published keystreams (RFC 6229) at several offsets.
TEST(Rc4Test, PublishedKeystreams) {
  std::vector<BYTE> key40 = Hex("0102030405");
  std::vector<BYTE> stream = Keystream(key40, 512);
  EXPECT_EQ(Slice(stream, 0), Hex("b2 39 63 05 f0 3d c0 27 cc c3 52 4a 0a 11 18 a8"));
  EXPECT_EQ(Slice(stream, 16), Hex("69 82 94 4f 18 fc 82 d5 89 c4 03 a4 7a 0d 09 19"));
  EXPECT_EQ(Slice(stream, 240), Hex("28 cb 11 32 c9 6c e2 86 42 1d ca ad b8 b6 9e ae"));
  EXPECT_EQ(Slice(stream, 256), Hex("1c fc f6 2b 03 ed db 64 1d 77 df cf 7f 8d 8c 93"));

  std::vector<BYTE> key64 = Hex("0102030405060708");
  EXPECT_EQ(Slice(Keystream(key64, 16), 0), Hex("97 ab 8a 1b f0 af b9 61 32 f2 f6 72 58 da 15 a8"));

  std::vector<BYTE> key128 = Hex("0102030405060708090a0b0c0d0e0f10");
  stream = Keystream(key128, 32);
  EXPECT_EQ(Slice(stream, 0), Hex("9a c7 cc 9a 60 9d 1e f7 b2 93 28 99 cd e4 1b 97"));
  EXPECT_EQ(Slice(stream, 16), Hex("52 48 c4 95 90 14 12 6a 6e 8a 84 f1 1d 1a 9e 1c"));
}

TEST(Rc4Test, PlaintextVector) {
  TRc4State state;
  ASSERT_TRUE(Rc4Init(state, "Key", 3));
  BYTE text[] = "Plaintext";
  Rc4Crypt(state, text, text, 9);
  EXPECT_EQ(std::vector<BYTE>(text, text + 9), Hex("BB F3 16 E8 D9 40 AF 0A D3"));
}

TEST(Rc4Test, KeyLengthOutsideOneTo256LeavesStateAlone) {
  TRc4State state;
  memset(&state, 0x5A, sizeof state);
  std::string key(257, 'k');
  for (LONG length : {0, -1, 257}) {
    SetLastError(0);
    EXPECT_FALSE(Rc4Init(state, key.data(), length));
    EXPECT_EQ(GetLastError(), kErrorRc4PasswordLength);
    for (size_t n = 0; n < sizeof state; ++n) ASSERT_EQ(reinterpret_cast<BYTE *>(&state)[n], 0x5A);
  }
}

TEST(Rc4Test, KeyIsUsedWholeAndRepeated) {
  // A 256-character key is used without repetition: changing its last
  // character changes the keystream.
  std::string key(256, 'a');
  std::vector<BYTE> whole(key.begin(), key.end());
  std::vector<BYTE> changed = whole;
  changed[255] = 'b';
  EXPECT_NE(Keystream(whole, 4096), Keystream(changed, 4096));
  // A one-character key fills all 256 positions with that character.
  EXPECT_EQ(Keystream({'a'}, 64), Keystream(whole, 64));
  EXPECT_EQ(Keystream({'a', 'b'}, 64), Keystream({'a', 'b', 'a', 'b'}, 64));
}

TEST(Rc4Test, CryptRestartsIndicesAndResetReplays) {
  std::vector<BYTE> plain(1000);
  std::mt19937 random(7);
  for (BYTE &b : plain) b = static_cast<BYTE>(random());

  TRc4State state;
  ASSERT_TRUE(Rc4Init(state, "secret", 6));
  std::vector<BYTE> once(plain.size());
  Rc4Crypt(state, plain.data(), once.data(), static_cast<LONG>(plain.size()));
  std::vector<BYTE> reference = plain;
  testing_support::Rc4("secret", reference.data(), reference.size());
  EXPECT_EQ(once, reference);

  // Two calls do not continue one keystream.
  ASSERT_TRUE(Rc4Init(state, "secret", 6));
  std::vector<BYTE> twice = plain;
  Rc4Crypt(state, twice.data(), twice.data(), 500);
  Rc4Crypt(state, twice.data() + 500, twice.data() + 500, 500);
  EXPECT_TRUE(std::equal(once.begin(), once.begin() + 500, twice.begin()));
  EXPECT_FALSE(std::equal(once.begin() + 500, once.end(), twice.begin() + 500));

  // After a reset the same bytes decipher again, in place.
  Rc4Reset(state);
  Rc4Crypt(state, once.data(), once.data(), static_cast<LONG>(once.size()));
  EXPECT_EQ(once, plain);
}

TEST(Rc4Test, ZeroCountChangesNothing) {
  TRc4State state;
  ASSERT_TRUE(Rc4Init(state, "x", 1));
  TRc4State before = state;
  BYTE byte = 0x42;
  Rc4Crypt(state, &byte, &byte, 0);
  Rc4Crypt(state, &byte, &byte, -5);
  EXPECT_EQ(byte, 0x42);
  EXPECT_EQ(memcmp(&before, &state, sizeof state), 0);
}

TEST(Rc4Test, BurnFillsTheStateWithFF) {
  TRc4State state;
  ASSERT_TRUE(Rc4Init(state, "password", 8));
  Rc4Burn(state);
  for (size_t n = 0; n < sizeof state; ++n) ASSERT_EQ(reinterpret_cast<BYTE *>(&state)[n], 0xFF);
}

}  // namespace
