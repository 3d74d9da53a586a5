#include "image_unpacker.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <optional>
#include <random>

#include "app_errors.h"
#include "host_control.h"
#include "package_format.h"
#include "package_modules.h"
#include "package_writer.h"
#include "rc4.h"
#include "support/fat_image.h"
#include "support/package_builder.h"

namespace {

using testing_support::Deflate;
using testing_support::MakeProgram;
using testing_support::TBytes;
using testing_support::TPackageOptions;
using testing_support::TStubOptions;

constexpr DWORD kZLibBufError = 0xF67B0602;
constexpr DWORD kZLibDataError = 0xF67B0604;

// Records the stage texts and the context they came with.
struct TStages {
  std::vector<std::string> texts;
  static void Record(ULONG_PTR context, const char *text) {
    reinterpret_cast<TStages *>(context)->texts.push_back(text);
  }
};

class ImageUnpackerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    StartModules(kPackageModules, kPackageModuleCount);
    folder = testing_support::TempFolder();
  }
  void TearDown() override { StopModules(kPackageModules, kPackageModuleCount); }

  std::string Write(const TBytes &bytes, const std::string &name = "program.exe") {
    std::string path = folder + "/" + name;
    EXPECT_TRUE(testing_support::WriteBytes(path, bytes));
    return path;
  }

  // Unpacks the program file as the running program does; checks that a
  // failure leaves no heap block behind and returns the image on success.
  bool Load(const TBytes &program, const std::string &password, TBytes *result = nullptr) {
    std::string path = Write(program);
    EXPECT_TRUE(winapi::SetModuleFile(path));
    image = reinterpret_cast<BYTE *>(&stages);  // a reference the caller had before
    imageSize = 12345;
    stages.texts.clear();
    stages.texts.reserve(4);
    size_t blocksBefore = winapi::GetHeapStats().liveBlocks;
    SetLastError(0);
    bool ok = LoadImage(password, image, imageSize, TStages::Record,
                        reinterpret_cast<ULONG_PTR>(&stages));
    error = GetLastError();
    // Only the image stays, and only on success.
    EXPECT_EQ(winapi::GetHeapStats().liveBlocks, blocksBefore + (ok ? 1 : 0));
    if (ok) {
      if (result) result->assign(image, image + imageSize);
      HeapRelease(image);
    }
    return ok;
  }

  void ExpectFailure(const TBytes &program, const std::string &password, DWORD expectedError) {
    EXPECT_FALSE(Load(program, password));
    EXPECT_EQ(error, expectedError) << ErrorText(error);
  }

  std::string folder;
  TBytes disk = testing_support::MakeFatImage(
      1474560, {{"README.TXT", "A disk made for the unpacker tests.\r\n"},
                {"DATA.BIN", std::string(20000, '\x5A') + "tail"}});
  BYTE *image = nullptr;
  LONG imageSize = 0;
  DWORD error = 0;
  TStages stages;
};

// The plain zlib stream the package writer makes of an image.
TBytes WrittenPayload(const TBytes &image, const TCompression &compression) {
  TPackageInput input;
  input.Image = image.data();
  input.ImageSize = image.size();
  input.MediaType = kMediaF3_1Pt44;
  input.Compression = compression;
  TPackageHeader header;
  THeapBlock payload;
  EXPECT_TRUE(BuildPackage(input, header, payload));
  return TBytes(payload.Data(), payload.Data() + payload.Size());
}

// Streams of zlib at level 9 (the test support's) and of the package writer
// at its levels and with zopfli: the program's inflate and zlib's give the
// image back from each.
TEST_F(ImageUnpackerTest, RealFat12ImagesComeBackByteExact) {
  const TBytes fastest = WrittenPayload(disk, TCompression{1, false});
  const TBytes smallest = WrittenPayload(disk, TCompression());
  const TBytes best = WrittenPayload(disk, TCompression{12, true});
  EXPECT_LT(smallest.size(), fastest.size());
  EXPECT_LT(best.size(), smallest.size());  // zopfli's stream of this disk is the smaller
  const std::vector<std::optional<TBytes>> payloads = {std::nullopt, fastest, smallest, best};
  for (const std::optional<TBytes> &payload : payloads) {
    if (payload) {
      TBytes inflated(disk.size() + 1);
      uLongf length = inflated.size();
      EXPECT_EQ(uncompress(inflated.data(), &length, payload->data(), payload->size()), Z_OK);
      inflated.resize(length);
      EXPECT_TRUE(inflated == disk);
    }
    for (const char *password : {"", "s3cret", "a"}) {
      for (bool checksum : {true, false}) {
        TPackageOptions options;
        options.password = password;
        options.checksum = checksum;
        options.payload = payload;
        TBytes result;
        ASSERT_TRUE(Load(MakeProgram(disk, options), password, &result))
            << (payload ? payload->size() : 0) << password << checksum << ErrorText(error);
        EXPECT_TRUE(result == disk);
        EXPECT_EQ(imageSize, 1474560);
      }
    }
  }
  EXPECT_TRUE(testing_support::FsckClean(disk));
}

TEST_F(ImageUnpackerTest, FileVariantAndSixtyFourBitStub) {
  TStubOptions stub;
  stub.optionalHeaderSize = 240;
  std::string path = Write(MakeProgram(disk, TPackageOptions(), stub), "other.exe");
  ASSERT_TRUE(LoadImageOfFile(path.c_str(), "", image, imageSize, nullptr, 0));
  EXPECT_EQ(memcmp(image, disk.data(), disk.size()), 0);
  HeapRelease(image);
}

TEST_F(ImageUnpackerTest, StageTextsInOrderWithTheCallersContext) {
  ASSERT_TRUE(Load(MakeProgram(disk), ""));
  EXPECT_EQ(stages.texts, (std::vector<std::string>{"Loading...", "Unpacking..."}));
  std::string path = Write(MakeProgram(disk));
  ASSERT_TRUE(LoadImageOfFile(path.c_str(), "", image, imageSize, nullptr, 0));
  HeapRelease(image);
}

// Cut and flipped payloads, with and without a checksum: RefusedPackages
// (support/package_builder.h), through the program and the tool.

TEST_F(ImageUnpackerTest, HeaderTestsOfTheUnpacker) {
  TPackageOptions options;
  memcpy(options.magic, "CDSk", 4);
  ExpectFailure(MakeProgram(disk, options), "", kErrorInvalidImageFile);
  EXPECT_EQ(imageSize, -1);
  EXPECT_TRUE(stages.texts.empty());
  EXPECT_EQ(image, reinterpret_cast<BYTE *>(&stages));  // failed before "Unpacking..."

  // The header is tested before a block of its image size is taken: one
  // that lies about the size shows its fault, and costs nothing.
  for (int32_t size : {1474560, 2147483136}) {
    options = TPackageOptions();
    options.version = 2;
    options.imageSize = size;
    const TBytes program = MakeProgram(disk, options);
    winapi::ResetHeapPeak();
    const size_t before = winapi::GetHeapStats().liveBytes;
    ExpectFailure(program, "", kErrorInvalidHeader);
    EXPECT_LT(winapi::GetHeapStats().peakBytes - before, 1u << 20) << "a block of the image size";
    EXPECT_EQ(ErrorText(error), "Invalid header in compressed image file.");
    EXPECT_EQ(stages.texts, std::vector<std::string>{"Loading..."});
  }
}

TEST_F(ImageUnpackerTest, Passwords) {
  TPackageOptions options;
  options.password = "right";
  ExpectFailure(MakeProgram(disk, options), "wrong", kErrorInvalidHeader);
  ExpectFailure(MakeProgram(disk, options), "", kErrorInvalidHeader);
  // A protected package whose check is 0 can't be unpacked.
  options.passwordCheck = 0;
  ExpectFailure(MakeProgram(disk, options), "", kErrorInvalidHeader);
  // A password that matches the check but can't key the cipher.
  std::string longPassword(300, 'p');
  options.password = longPassword;
  options.passwordCheck.reset();
  TBytes program = MakeProgram(disk, options);
  ExpectFailure(program, longPassword, kErrorInvalidImageData);
}

TEST_F(ImageUnpackerTest, ShortProtectedPayloadIsStoredPlain) {
  TBytes small(64, 0);
  TBytes payload = Deflate(small);
  ASSERT_LE(payload.size(), 16u);
  TPackageOptions options;
  options.password = "pw";
  TBytes result;
  ASSERT_TRUE(Load(MakeProgram(small, options), "pw", &result)) << ErrorText(error);
  EXPECT_TRUE(result == small);
}

TEST_F(ImageUnpackerTest, TrailingBytesAreIgnoredButChecksummed) {
  TPackageOptions options;
  options.payload = Deflate(disk);
  options.payload->insert(options.payload->end(), 300, 0xAB);
  TBytes result;
  ASSERT_TRUE(Load(MakeProgram(disk, options), "", &result)) << ErrorText(error);
  EXPECT_TRUE(result == disk);
  options.dataCrc = testing_support::Crc(Deflate(disk).data(), Deflate(disk).size());
  ExpectFailure(MakeProgram(disk, options), "", kErrorInvalidImageData);
}

// A zlib stream of plain whose last tail bytes go one per flushed block:
// there each byte of output costs several bytes of input.
TBytes FlushedTailStream(const TBytes &plain, size_t tail) {
  z_stream stream;
  memset(&stream, 0, sizeof stream);
  EXPECT_EQ(deflateInit(&stream, 9), Z_OK);
  TBytes packed(plain.size() + tail * 8 + 1024);
  stream.next_out = packed.data();
  stream.avail_out = static_cast<uInt>(packed.size());
  stream.next_in = const_cast<Bytef *>(plain.data());
  stream.avail_in = static_cast<uInt>(plain.size() - tail);
  EXPECT_EQ(deflate(&stream, Z_NO_FLUSH), Z_OK);
  while (stream.next_in < plain.data() + plain.size()) {
    stream.avail_in = 1;
    EXPECT_EQ(deflate(&stream, Z_SYNC_FLUSH), Z_OK);
  }
  EXPECT_EQ(deflate(&stream, Z_FINISH), Z_STREAM_END);
  packed.resize(stream.total_out);
  deflateEnd(&stream);
  return packed;
}

// The package is read behind the room the image needs and inflated towards
// it; where the stream takes more input than it gives output near its end,
// the output would reach input not yet read.
TEST_F(ImageUnpackerTest, OutputCatchingUpWithTheInputLeavesItIntact) {
  std::mt19937 random(11);
  TBytes trailer(400 * 1024);
  for (BYTE &b : trailer) b = static_cast<BYTE>(random());
  TPackageOptions trailing;
  trailing.payload = Deflate(disk);
  trailing.payload->insert(trailing.payload->end(), trailer.begin(), trailer.end());
  TPackageOptions flushed;
  flushed.payload = FlushedTailStream(disk, 120000);
  ASSERT_GT(flushed.payload->size(), 5 * 120000u);
  for (TPackageOptions options : {trailing, flushed}) {
    for (const char *password : {"", "pw"}) {
      options.password = password;
      TBytes program = MakeProgram(disk, options);
      TBytes result;
      ASSERT_TRUE(Load(program, password, &result)) << ErrorText(error);
      EXPECT_TRUE(result == disk);
      // Moving the rest costs at most the room between image and package
      // over what the two take together.
      size_t before = winapi::GetHeapStats().liveBytes;
      winapi::ResetHeapPeak();
      ASSERT_TRUE(LoadImage(password, image, imageSize, nullptr, 0));
      size_t package = program.size() - testing_support::StubEnd();
      EXPECT_LE(winapi::GetHeapStats().peakBytes - before,
                package + disk.size() + 256 * 1024 + 48 * 1024);
      HeapRelease(image);
    }
  }
}

TEST_F(ImageUnpackerTest, ImageSizeMustMatchTheInflatedSize) {
  TPackageOptions options;
  options.imageSize = 1474560 - 512;  // inflates to more
  ExpectFailure(MakeProgram(disk, options), "", kErrorImageSizeMismatch);
  options.imageSize = 1474560 + 512;  // inflates to fewer
  ExpectFailure(MakeProgram(disk, options), "", kErrorImageSizeMismatch);
  EXPECT_EQ(ErrorText(error), "Invalid data in image file.") << "the program's text stays";
  EXPECT_EQ(image, nullptr);  // failed after "Unpacking..."
  options.imageSize = 57;
  ExpectFailure(MakeProgram(disk, options), "", kErrorInvalidImageFile);
  EXPECT_TRUE(stages.texts.empty());
}

TEST_F(ImageUnpackerTest, NoChecksumStoredSkipsTheTest) {
  TPackageOptions options;
  options.dataCrc = 0;
  TBytes result;
  ASSERT_TRUE(Load(MakeProgram(disk, options), "", &result));
  EXPECT_TRUE(result == disk);
}

TEST_F(ImageUnpackerTest, TwoCallsGiveIndependentImages) {
  std::string path = Write(MakeProgram(disk));
  ASSERT_TRUE(winapi::SetModuleFile(path));
  BYTE *first = nullptr;
  BYTE *second = nullptr;
  ASSERT_TRUE(LoadImage("", first, imageSize, nullptr, 0));
  ASSERT_TRUE(LoadImage("", second, imageSize, nullptr, 0));
  EXPECT_NE(first, second);
  EXPECT_EQ(memcmp(first, second, disk.size()), 0);
  HeapRelease(first);
  HeapRelease(second);
}

// At most the package and the image together plus zlib's state; a package
// larger than the room between them costs only that room.
TEST_F(ImageUnpackerTest, PeakMemoryIsAtMostPackagePlusImagePlusZlibState) {
  constexpr size_t kZlibState = 48 * 1024;  // the stream's state and its 32 KB window
  constexpr size_t kRoom = 256 * 1024;
  TBytes noisy = disk;
  std::mt19937 random(5);
  for (size_t n = 100000; n < 900000; ++n) noisy[n] = static_cast<BYTE>(random());
  for (const TBytes *source : {&disk, &noisy}) {
    TBytes program = MakeProgram(*source);
    ASSERT_TRUE(winapi::SetModuleFile(Write(program)));
    size_t before = winapi::GetHeapStats().liveBytes;
    winapi::ResetHeapPeak();
    ASSERT_TRUE(LoadImage("", image, imageSize, nullptr, 0));
    size_t package = program.size() - testing_support::StubEnd();
    size_t peak = winapi::GetHeapStats().peakBytes - before;
    EXPECT_LE(peak, package + source->size() + kZlibState);
    EXPECT_LE(peak, source->size() + kRoom + kZlibState);
    EXPECT_EQ(memcmp(image, source->data(), source->size()), 0);
    HeapRelease(image);
  }
}

TEST_F(ImageUnpackerTest, AllocationThatCannotBeSatisfiedEndsWith203) {
  std::string path = Write(MakeProgram(disk));
  EXPECT_EXIT(
      {
        winapi::SetModuleFile(path);
        winapi::SetHeapLimit(winapi::GetHeapStats().liveBytes + 1000000);
        LoadImage("", image, imageSize, nullptr, 0);
      },
      ::testing::ExitedWithCode(203), "^$");
}

TEST(InflateBufferTest, GrowsFromAnyEstimateToTheWholeOutput) {
  TBytes plain(300000);
  std::mt19937 random(3);
  for (size_t n = 0; n < plain.size(); ++n) plain[n] = n % 3 ? 'a' : static_cast<BYTE>(random());
  TBytes packed = Deflate(plain);
  for (LONG estimate : {0, 1, 1000, 299999, 300000, 1000000}) {
    size_t blocks = winapi::GetHeapStats().liveBlocks;
    BYTE *output = nullptr;
    LONG length = 0;
    ASSERT_TRUE(
        InflateBuffer(packed.data(), static_cast<LONG>(packed.size()), estimate, output, length))
        << estimate;
    ASSERT_EQ(length, 300000);
    EXPECT_EQ(memcmp(output, plain.data(), plain.size()), 0);
    HeapRelease(output);
    EXPECT_EQ(winapi::GetHeapStats().liveBlocks, blocks);
  }
}

TEST(InflateBufferTest, FailuresLeaveNothingAllocated) {
  TBytes packed = Deflate(TBytes(5000, 'q'));
  struct Case {
    TBytes input;
    DWORD error;
  };
  TBytes badHeader = packed;
  badHeader[0] = 0x79;
  TBytes cut(packed.begin(), packed.end() - 6);
  // A stream that asks for a preset dictionary can never finish.
  TBytes dictionary = {0x78, 0xBB, 0x00, 0x00, 0x00, 0x01, 0x03, 0x00};
  for (const Case &c : {Case{badHeader, kZLibDataError}, Case{cut, kZLibBufError},
                        Case{TBytes(), kZLibBufError}, Case{dictionary, kZLibDataError}}) {
    size_t blocks = winapi::GetHeapStats().liveBlocks;
    BYTE *output = reinterpret_cast<BYTE *>(1);
    LONG length = 5;
    SetLastError(0);
    EXPECT_FALSE(
        InflateBuffer(c.input.data(), static_cast<LONG>(c.input.size()), 0, output, length));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(output, nullptr);
    EXPECT_EQ(winapi::GetHeapStats().liveBlocks, blocks);
  }
}

}  // namespace
