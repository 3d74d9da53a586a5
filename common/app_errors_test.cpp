#include "app_errors.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

// The categories as the program registers them, enough to check the texts.
class AppErrorsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AppErrorsStartup();
    RegisterError(0xF0270000, "FloppyIO");
    RegisterError(0xF0270004, "Invalid track position");
    RegisterError(0xF67B0600, "ZLib");
    RegisterError(0xF67B0604, "Invalid data.");
    RegisterError(0xF2340000, "RC4");
    RegisterError(0xF2340001, "Invalid password length (1 .. 256 characters).");
    RegisterError(0xFF070002, "Invalid header in compressed image file");
  }
  void TearDown() override { AppErrorsShutdown(); }
};

TEST_F(AppErrorsTest, CategoryNameInBracketsAndOnePeriod) {
  EXPECT_EQ(ErrorText(0xF0270004), "[FloppyIO]: Invalid track position.");
  EXPECT_EQ(ErrorText(0xF67B0604), "[ZLib]: Invalid data.");
  EXPECT_EQ(ErrorText(0xF2340001), "[RC4]: Invalid password length (1 .. 256 characters).");
}

// Texts of any length end with their period inside the caller's buffer.
TEST_F(AppErrorsTest, LongTextsStayInTheBuffer) {
  for (size_t length : {300, 305, 306, 307, 317, 318, 319, 320, 400}) {
    const std::string text(length, 'x');
    AppErrorsStartup();
    RegisterError(0xF0270000, "FloppyIO");
    RegisterError(0xF0270004, text.c_str());
    RegisterError(0xFF070001, text.c_str());
    for (DWORD code : {0xF0270004u, 0xFF070001u}) {
      char buffer[kErrorTextSize + 16];
      memset(buffer, '#', sizeof buffer);
      FormatErrorText(code, buffer);
      const std::string made(buffer, strnlen(buffer, sizeof buffer));
      EXPECT_LT(made.size(), kErrorTextSize) << length;
      EXPECT_EQ(made.back(), '.') << length;
      EXPECT_EQ(std::string(buffer + kErrorTextSize, 16), std::string(16, '#'))
          << length << ": written past the buffer";
    }
  }
}

TEST_F(AppErrorsTest, CategoryWithoutNameHasNoPrefix) {
  EXPECT_EQ(ErrorText(0xFF070002), "Invalid header in compressed image file.");
}

TEST_F(AppErrorsTest, CategoryBaseShowsItsNameAlone) {
  EXPECT_EQ(ErrorText(0xF0270000), "FloppyIO.");
}

TEST_F(AppErrorsTest, FreeIndexOfKnownCategoryIsEmpty) {
  EXPECT_EQ(FindErrorText(0xF0270009), "");
  EXPECT_EQ(ErrorText(0xF0270009), "");
}

TEST_F(AppErrorsTest, FirstRegistrationWins) {
  RegisterError(0xF0270004, "Something else");
  EXPECT_EQ(FindErrorText(0xF0270004), "Invalid track position");
  EXPECT_EQ(ErrorTable().size(), 8u);
}

// The table is a fixed array: a registration beyond it is refused and the
// entries before it keep their texts.
TEST_F(AppErrorsTest, FullTableRefusesMore) {
  while (ErrorTable().size() < kErrorTableCapacity) ASSERT_TRUE(RegisterError(0xF0270007, "x"));
  EXPECT_FALSE(RegisterError(0xF0270008, "Too many"));
  EXPECT_EQ(ErrorTable().size(), kErrorTableCapacity);
  EXPECT_EQ(FindErrorText(0xF0270008), "");
  EXPECT_EQ(ErrorText(0xF0270004), "[FloppyIO]: Invalid track position.");
}

TEST_F(AppErrorsTest, EmptyTextFallsThroughToSystem) {
  RegisterError(21, "");
  EXPECT_EQ(ErrorText(21), "The device is not ready");
}

TEST_F(AppErrorsTest, SystemTextsLoseFinalPeriodAndLineBreak) {
  EXPECT_EQ(ErrorText(0), "The operation completed successfully");
  EXPECT_EQ(ErrorText(21), "The device is not ready");
  EXPECT_EQ(ErrorText(19), "The media is write protected");
  EXPECT_EQ(ErrorText(5), "Access is denied");
  EXPECT_EQ(ErrorText(0xDEADBEEF), "");
}

// A system text with inserts comes back with its markers; formatting it
// without an argument array would read through a null pointer.
TEST_F(AppErrorsTest, SystemTextWithInsertsKeepsMarkers) {
  EXPECT_EQ(ErrorText(34),
            "The wrong diskette is in the drive.\r\nInsert %2 (Volume Serial Number: %3) into "
            "drive %1");
}

TEST_F(AppErrorsTest, ShutdownEmptiesTable) {
  AppErrorsShutdown();
  EXPECT_TRUE(ErrorTable().empty());
  EXPECT_EQ(FindErrorText(0xF0270004), "");
}

TEST(SystemMessages, EveryCodeTheProgramMeetsIsKnown) {
  const DWORD codes[] = {0,  2,  3,  5,  6,  19, 21,  23,   27,  29,
                         31, 32, 33, 34, 50, 87, 112, 1117, 1784};
  for (DWORD code : codes) {
    char buffer[256];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, buffer, sizeof buffer, nullptr);
    ASSERT_GT(length, 2u) << code;
    EXPECT_EQ(std::string(buffer + length - 3, 3), ".\r\n") << code;
  }
  char buffer[256];
  SetLastError(0);
  EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, 0x1234567, 0, buffer, 256, nullptr),
            0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MR_MID_NOT_FOUND));
}

}  // namespace
