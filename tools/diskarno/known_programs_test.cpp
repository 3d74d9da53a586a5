// The program in front of a package told by the SHA-256 of its code part.
#include "known_programs.h"

#include <gtest/gtest.h>

#include <regex>

#include "default_stub.h"
#include "diskarno_version.h"
#include "sha256.h"
#include "support/package_builder.h"

namespace {

using testing_support::MakeStub;
using testing_support::StubEnd;
using testing_support::TBytes;
using testing_support::TStubOptions;

const char kUnknown[] = "not one this diskarno knows; it may have been changed";

TEST(KnownPrograms, ToldByTheDigestOfTheCodePartOnly) {
  const TBytes stub = MakeStub();
  const std::string digest = Sha256Hex(stub.data(), StubEnd());
  TProgramTable asRelease;
  asRelease.releases = {{"0.8.0", "00"}, {"0.9.0", digest.c_str()}};
  TProgramTable asPacked;
  asPacked.packedSha256 = digest;
  asPacked.packedVersion = "1.2.3";
  TBytes changed = stub;
  changed[0x400 + 17] ^= 0x01;  // in the first section
  TStubOptions trailing;
  trailing.trailingBytes = 300;  // after the last section: not code
  TBytes cut = stub;
  cut.resize(StubEnd() - 1);  // the last section ends past the bytes
  TBytes notPe(4096, 0xF6);
  struct Case {
    const char *name;
    TBytes bytes;
    const TProgramTable &known;
    const char *text;
    bool hasDigest;
  };
  const std::vector<Case> cases = {
      {"an earlier release", stub, asRelease, "this project's release 0.9.0", true},
      {"the packed program", stub, asPacked,
       "this project's release 1.2.3, the program this diskarno packs", true},
      {"bytes after the code", MakeStub(trailing), asRelease, "this project's release 0.9.0", true},
      {"one byte changed", changed, asRelease, kUnknown, true},
      {"one byte changed", changed, asPacked, kUnknown, true},
      {"sections past the end", cut, asRelease, kUnknown, false},
      {"no PE program", notPe, asPacked, kUnknown, false},
      {"nothing", TBytes(), asPacked, kUnknown, false},
  };
  for (const Case &c : cases) {
    TKnownProgram program = RecognizeProgram(c.bytes.data(), c.bytes.size(), c.known);
    EXPECT_EQ(program.text, c.text) << c.name;
    EXPECT_EQ(program.release.empty(), c.text == std::string(kUnknown)) << c.name;
    EXPECT_EQ(program.sha256.size(), c.hasDigest ? 64u : 0u) << c.name;
  }
}

// The tool knows the program built into it as this version's, and nothing
// with a byte of its code changed; the releases' rows are well-formed.
TEST(KnownPrograms, TheBuiltInProgramIsThisVersions) {
  const TProgramTable known = ThisToolsPrograms();
  for (const TKnownRelease &release : known.releases) {
    EXPECT_TRUE(std::regex_match(release.version, std::regex("[0-9]+\\.[0-9]+\\.[0-9]+")));
    EXPECT_TRUE(std::regex_match(release.sha256, std::regex("[0-9a-f]{64}"))) << release.version;
  }
  const BYTE *builtIn = nullptr;
  size_t size = 0;
  if (!DefaultStub(builtIn, size)) {
    EXPECT_EQ(known.packedSha256, "") << "no program built in, none packed";
    GTEST_SKIP() << "this tool carries no program (the win32 preset was not built)";
  }
  TBytes program(builtIn, builtIn + size);
  EXPECT_EQ(known.packedSha256, Sha256Hex(builtIn, size)) << "the program is all code part";
  TKnownProgram recognized = RecognizeProgram(program.data(), program.size());
  EXPECT_EQ(recognized.release, DK_VERSION);
  EXPECT_EQ(recognized.text, std::string("this project's release ") + DK_VERSION +
                                 ", the program this diskarno packs");
  program[size / 2] ^= 0x40;
  EXPECT_EQ(RecognizeProgram(program.data(), program.size()).text, kUnknown);
}

}  // namespace
