// SHA-256 against the FIPS 180 examples and the padding's edge lengths, fed
// whole and in pieces that straddle the 64-byte blocks.
#include "sha256.h"

#include <gtest/gtest.h>

namespace {

TEST(Sha256, KnownDigestsWholeAndInPieces) {
  struct Case {
    std::string message;
    const char *digest;
  };
  const std::string abc448 = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
  const std::string abc896 =
      "abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlm"
      "nopqrsmnopqrstnopqrstu";
  const std::vector<Case> cases = {
      // FIPS 180-2 appendix B and NIST's example messages.
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {abc448, "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {abc896, "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
      // Where the padding takes one more block or none (coreutils' sha256sum).
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
      {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Sha256Hex(c.message.data(), c.message.size()), c.digest) << c.message.size();
    for (size_t piece : {1, 3, 63, 64, 65}) {
      TSha256 digest;
      for (size_t at = 0; at < c.message.size(); at += piece)
        digest.Add(c.message.data() + at, std::min(piece, c.message.size() - at));
      EXPECT_EQ(digest.HexDigest(), c.digest) << c.message.size() << " in pieces of " << piece;
    }
  }
}

}  // namespace
