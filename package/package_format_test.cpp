#include "package_format.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "host_control.h"
#include "package_writer.h"
#include "support/fat_image.h"
#include "support/package_builder.h"

namespace {

using testing_support::MakeProgram;
using testing_support::MakeStub;
using testing_support::StubEnd;
using testing_support::TBytes;
using testing_support::TPackageOptions;
using testing_support::TStubOptions;

DWORD OffsetOf(const TBytes &headers) {
  return GetPackageOffsetFromHeaders(headers.data(), headers.size());
}

TEST(PackageCrcTest, Vectors) {
  EXPECT_EQ(PackageCrc("abc", 3), 0xCA6598D0u);
  EXPECT_EQ(PackageCrc("", 0), 1u);
  EXPECT_EQ(PackageCrc("abc", -3), 1u);
  // A register that ends at 0 is given as 1: all-zero input keeps it at 0.
  BYTE zeros[16] = {};
  EXPECT_EQ(PackageCrc(zeros, sizeof zeros), 1u);
}

// Folded or through the tables, from any alignment, with any tail.
TEST(PackageCrcTest, BothWaysAgreeWithABitwiseCrc) {
  std::vector<BYTE> data(100000 + 16);
  std::mt19937 random(1);
  for (BYTE &b : data) b = static_cast<BYTE>(random());
  BYTE zeros[64] = {};
  for (bool folding : {true, false}) {
    SetPackageCrcFolding(folding);
    EXPECT_EQ(PackageCrc(zeros, sizeof zeros), 1u);
    EXPECT_EQ(PackageCrc("abc", 3), 0xCA6598D0u);
    for (size_t offset = 0; offset < 16; offset += 5) {
      for (size_t length : {1, 7, 8, 15, 63, 64, 65, 79, 80, 127, 128, 129, 255, 4096, 100000}) {
        const BYTE *start = data.data() + offset;
        EXPECT_EQ(PackageCrc(start, static_cast<LONG>(length)), testing_support::Crc(start, length))
            << folding << " " << offset << " " << length;
      }
    }
  }
  SetPackageCrcFolding(true);
}

TEST(PackageOffsetTest, EndOfTheLastSectionForBothOptionalHeaderSizes) {
  for (uint16_t optional : {224, 240}) {
    TStubOptions stub;
    stub.optionalHeaderSize = optional;
    stub.sections = {{0x400, 0xB000}, {0xB400, 0xE00}, {0x600, 0x10}};
    EXPECT_EQ(OffsetOf(MakeStub(stub)), 0xC200u) << optional;
  }
}

TEST(PackageOffsetTest, SectionsWithoutRawDataTakePartAndNoSectionsGiveZero) {
  TStubOptions stub;
  stub.sections = {{0x400, 0x200}, {0x9000, 0}};
  EXPECT_EQ(OffsetOf(MakeStub(stub)), 0x9000u);
  stub.sections.clear();
  EXPECT_EQ(OffsetOf(MakeStub(stub)), 0u);
}

TEST(PackageOffsetTest, HeadersThatDoNotHoldTogetherGiveNoOffset) {
  TBytes good = MakeStub();
  EXPECT_EQ(OffsetOf(good), StubEnd());

  TBytes bad = good;
  bad[0] = 'X';  // no "MZ"
  EXPECT_EQ(OffsetOf(bad), kNoPackageOffset);
  bad = good;
  bad[0x81] = 'Q';  // no "PE\0\0"
  EXPECT_EQ(OffsetOf(bad), kNoPackageOffset);
  bad = good;
  bad[60] = 0xF0;  // the signature beyond the headers
  bad[61] = 0xFF;
  EXPECT_EQ(OffsetOf(bad), kNoPackageOffset);
  bad = good;
  bad[0x86] = 0xFF;  // more sections than the headers hold
  EXPECT_EQ(OffsetOf(bad), kNoPackageOffset);
  bad = good;
  bad[0x94] = 0xFF;  // an optional header larger than the headers
  bad[0x95] = 0xFF;
  EXPECT_EQ(OffsetOf(bad), kNoPackageOffset);
  // Cut inside the section table.
  EXPECT_EQ(GetPackageOffsetFromHeaders(good.data(), 0x80 + 24 + 224 + 50), kNoPackageOffset);
  EXPECT_EQ(GetPackageOffsetFromHeaders(good.data(), 10), kNoPackageOffset);
  EXPECT_EQ(GetPackageOffsetFromHeaders(nullptr, 0), kNoPackageOffset);

  // An end past 4 GiB is no offset either.
  TStubOptions stub;
  stub.sections = {{0xFFFFFF00u, 0x200}};
  TBytes headers = MakeStub(TStubOptions{224, {{0x400, 0x200}}, 0});
  memcpy(&headers[0x80 + 24 + 224 + 16], "\x00\x02\x00\x00\x00\xFF\xFF\xFF", 8);
  EXPECT_EQ(OffsetOf(headers), kNoPackageOffset);
}

class PackageHeaderTest : public ::testing::Test {
 protected:
  std::string Write(const TBytes &bytes) {
    std::string path = testing_support::TempFolder() + "/program.exe";
    EXPECT_TRUE(testing_support::WriteBytes(path, bytes));
    return path;
  }

  // Opens the package of the file both ways: as any file, and as the
  // running program's own file.
  void Read(const std::string &path) {
    TPackage package;
    SetLastError(0);
    result = OpenPackage(path.c_str(), package);
    error = GetLastError();
    Keep(package);
    ASSERT_TRUE(winapi::SetModuleFile(path));
    TPackage own;
    SetLastError(0);
    EXPECT_EQ(OpenOwnPackage(own), result);
    EXPECT_EQ(GetLastError(), error);
    EXPECT_EQ(own.Offset, offset);
    EXPECT_EQ(memcmp(&own.Header, &header, sizeof header), 0);
    EXPECT_EQ(own.Description, description);
  }

  void Keep(const TPackage &package) {
    EXPECT_EQ(package.HasHeader(), result);
    header = package.Header;
    description = package.Description;
    offset = package.Offset;
  }

  void ExpectRejected(DWORD expectedError) {
    EXPECT_FALSE(result);
    EXPECT_EQ(error, expectedError);
    EXPECT_EQ(description, "");
    const TPackageHeader zero = {};
    EXPECT_EQ(memcmp(&header, &zero, sizeof header), 0) << "nothing of a bad header is kept";
  }

  TBytes image = TBytes(4096, 0x11);
  bool result = true;
  TPackageHeader header = {};
  std::string description = "x";
  DWORD offset = 9, error = 0;
};

TEST_F(PackageHeaderTest, GoodHeaderFillsThePackage) {
  TPackageOptions options;
  options.password = "pw";
  options.description = "Boot disk";
  options.mediaType = 5;
  TStubOptions stub;
  stub.optionalHeaderSize = 240;
  Read(Write(MakeProgram(image, options, stub)));
  EXPECT_TRUE(result);
  EXPECT_TRUE(header.Protected);
  EXPECT_EQ(description, "Boot disk");
  EXPECT_EQ(DWORD{header.PasswordCheck}, testing_support::Crc("pw", 2));
  EXPECT_EQ(offset, StubEnd(stub));
  EXPECT_EQ(header.MediaType, 5);
  EXPECT_EQ(LONG{header.ImageSize}, 4096);
}

TEST_F(PackageHeaderTest, NothingAppendedIsAnInvalidImageFile) {
  TBytes stub = MakeStub();
  Read(Write(stub));
  ExpectRejected(kErrorInvalidImageFile);
  EXPECT_EQ(offset, stub.size());
}

TEST_F(PackageHeaderTest, MagicIsComparedExactly) {
  TPackageOptions options;
  memcpy(options.magic, "cDSK", 4);
  Read(Write(MakeProgram(image, options)));
  ExpectRejected(kErrorInvalidImageFile);
  EXPECT_EQ(offset, StubEnd());
}

TEST_F(PackageHeaderTest, VersionAndChecksumsAreNotTestedHere) {
  TPackageOptions options;
  options.version = 2;
  options.dataCrc = 0x12345678;
  options.mediaType = 0;
  Read(Write(MakeProgram(image, options)));
  EXPECT_TRUE(result);
  EXPECT_FALSE(header.Protected);
  EXPECT_EQ(LONG{header.ImageSize}, 4096);
  EXPECT_EQ(header.MediaType, 0);
  EXPECT_EQ(description, "Test disk");
}

TEST_F(PackageHeaderTest, DescriptionIsAtMost32Characters) {
  TPackageOptions options;
  options.description = std::string(32, 'D');
  Read(Write(MakeProgram(image, options)));
  EXPECT_EQ(description, std::string(32, 'D'));
  options.descriptionLength = 200;  // the length byte claims more than the field holds
  Read(Write(MakeProgram(image, options)));
  EXPECT_EQ(description, std::string(32, 'D'));
  options.description = "";
  options.descriptionLength.reset();
  Read(Write(MakeProgram(image, options)));
  EXPECT_EQ(description, "");
}

TEST_F(PackageHeaderTest, OffsetsBeyondWhatTheReaderTakes) {
  // A section table that runs past the first page of headers.
  TStubOptions manySections;
  manySections.sections.assign(100, {0x400, 0x200});
  Read(Write(MakeStub(manySections)));
  ExpectRejected(kErrorInvalidImageFile);
  EXPECT_EQ(offset, kNoPackageOffset);
  // A package that would start at 2 GiB or later.
  TStubOptions far;
  far.sections = {{0x400, 0x200}};
  TBytes stub = MakeStub(far);
  memcpy(&stub[0x80 + 24 + 224 + 20], "\x00\x00\x00\x80", 4);
  Read(Write(stub));
  ExpectRejected(kErrorInvalidImageFile);
  EXPECT_EQ(offset, 0x80000200u);
}

TEST_F(PackageHeaderTest, FilesThatAreNoProgramOrMissing) {
  for (const auto &[path, code] : std::vector<std::pair<std::string, DWORD>>{
           {"/nonexistent/x.exe", ERROR_FILE_NOT_FOUND},
           {Write(TBytes(100, 'z')), kErrorInvalidImageFile}}) {
    TPackage package;
    SetLastError(0);
    result = OpenPackage(path.c_str(), package);
    error = GetLastError();
    Keep(package);
    ExpectRejected(code);
    EXPECT_EQ(offset, kNoPackageOffset);
  }
}

// The package is read from its header to the end of the file, as it is
// then, into the end of a block with the room and margin asked for, and
// the file is closed; a file cut inside the header meanwhile is refused.
TEST_F(PackageHeaderTest, PackageBytesToTheEndOfTheFile) {
  const TBytes program = MakeProgram(image);
  const size_t package = program.size() - StubEnd();
  struct Case {
    const char *what;
    size_t keep;  // bytes of the package left in the file after the open
    size_t room, margin;
    bool read;
    size_t block;
  };
  const std::vector<Case> cases = {
      {"whole", package, 0, 0, true, package},
      {"room and a small margin", package, 100000, 20, true, 100000 + 20},
      {"a margin no larger than the package", package, 100000, 100000, true, 100000 + package},
      {"a margin no larger than the room", package, 10, 100000, true, package + 10},
      {"cut right after its header", 57, 0, 0, true, 57},
      {"cut inside its header", 56, 0, 0, false, 0},
  };
  for (const Case &c : cases) {
    const std::string path = Write(program);
    TPackage opened;
    ASSERT_TRUE(OpenPackage(path.c_str(), opened)) << c.what;
    ASSERT_EQ(truncate(path.c_str(), static_cast<off_t>(StubEnd() + c.keep)), 0);
    SetLastError(0);
    ASSERT_EQ(ReadPackageBytes(opened, c.room, c.margin), c.read) << c.what;
    EXPECT_EQ(opened.Block.Size(), c.block) << c.what;
    if (!c.read) {
      EXPECT_EQ(GetLastError(), kErrorInvalidImageFile) << c.what;
      continue;
    }
    EXPECT_FALSE(opened.File.Valid()) << c.what << ": the file stays open";
    EXPECT_EQ(opened.Size, c.keep) << c.what;
    EXPECT_EQ(memcmp(opened.Bytes(), &program[StubEnd()], c.keep), 0) << c.what;
  }
}

// The writer keeps every limit of the format, whoever calls it.
TEST(PackageWriterTest, InputsBeyondALimitAreRefused) {
  struct Case {
    const char *what;
    size_t imageSize;
    TMediaType mediaType;
    size_t descriptionLength;
    size_t passwordLength;
    bool built;
  };
  const std::vector<Case> cases = {
      {"1.44 MB at every limit", 1474560, kMediaF3_1Pt44, 32, 254, true},
      {"DMF on a 1.44 MB disk", 1720320, kMediaF3_1Pt44, 0, 0, true},
      {"the smallest image", 58, kMediaF3_120M, 0, 0, true},
      {"no medium", 1474560, kMediaUnknown, 0, 0, false},
      {"the program's own no medium", 1474560, kMediaNone, 0, 0, false},
      {"beyond the table", 1474560, kMediaTypeCount, 0, 0, false},
      {"more than a 720 KB disk holds", 1474560, kMediaF3_720, 0, 0, false},
      {"57 bytes", 57, kMediaF3_120M, 0, 0, false},
      {"33 characters of description", 1474560, kMediaF3_1Pt44, 33, 0, false},
      {"255 characters of password", 1474560, kMediaF3_1Pt44, 0, 255, false},
  };
  const TBytes image(1720320, 0xF6);
  const std::string text(300, 'p');
  for (const Case &c : cases) {
    TPackageInput input;
    input.Image = image.data();
    input.ImageSize = c.imageSize;
    input.MediaType = c.mediaType;
    input.Description = text.c_str();
    input.DescriptionLength = c.descriptionLength;
    input.Password = text.c_str();
    input.PasswordLength = c.passwordLength;
    TPackageHeader header;
    THeapBlock payload;
    SetLastError(0);
    EXPECT_EQ(BuildPackage(input, header, payload), c.built) << c.what;
    EXPECT_EQ(payload.Size() != 0, c.built) << c.what;
    EXPECT_EQ(GetLastError(), c.built ? 0u : static_cast<DWORD>(ERROR_INVALID_PARAMETER)) << c.what;
  }
}

}  // namespace
