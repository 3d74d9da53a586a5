// The Windows program's own memory and string routines, run here under
// other names (the host's C library keeps its own).
#define memcpy RuntimeMemcpy
#define memmove RuntimeMemmove
#define memset RuntimeMemset
#define memcmp RuntimeMemcmp
#define memchr RuntimeMemchr
#define strlen RuntimeStrlen
#include "c_runtime_windows.cpp"
#undef memcpy
#undef memmove
#undef memset
#undef memcmp
#undef memchr
#undef strlen

// And the Windows programs' Adler-32, beside zlib's own.
#include <zlib.h>
#define adler32_z RuntimeAdler32z
#define adler32 RuntimeAdler32
#include "adler32_windows.c"
#undef adler32_z
#undef adler32

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(CRuntime, MemmoveCopiesOverlappingBlocksBothWays) {
  // {target, source, count} within "0123456789", and what it becomes.
  const struct {
    size_t target, source, count;
    const char *expected;
  } cases[] = {
      {2, 0, 6, "0101234589"},  // target above source: copied from the end
      {0, 2, 6, "2345676789"},  // target below source
      {3, 3, 4, "0123456789"},  // onto itself
      {4, 0, 4, "0123012389"},  // adjacent, no overlap
      {1, 0, 0, "0123456789"},  // nothing
  };
  for (const auto &c : cases) {
    char text[] = "0123456789";
    EXPECT_EQ(RuntimeMemmove(text + c.target, text + c.source, c.count), text + c.target);
    EXPECT_STREQ(text, c.expected) << c.target << " " << c.source << " " << c.count;
  }
}

TEST(CRuntime, BytesCompareAndMatchUnsigned) {
  const unsigned char low[] = {0x41, 0x7F, 0x00}, high[] = {0x41, 0x80, 0x00};
  EXPECT_LT(RuntimeMemcmp(low, high, 3), 0);
  EXPECT_GT(RuntimeMemcmp(high, low, 3), 0);
  EXPECT_EQ(RuntimeMemcmp(low, high, 1), 0);
  EXPECT_EQ(RuntimeMemcmp(low, high, 0), 0);
  // A byte above 127, searched for as a (negative) char, as callers pass it.
  const char text[] =
      "A\xBD"
      "B";
  EXPECT_EQ(RuntimeMemchr(text, '\xBD', 3), text + 1);
  EXPECT_EQ(RuntimeMemchr(text, 'B', 2), nullptr);
  EXPECT_EQ(RuntimeStrlen(""), 0u);
  EXPECT_EQ(RuntimeStrlen(text), 3u);
  char buffer[6] = "xxxxx";
  RuntimeMemset(buffer + 1, 0x1BD, 3);  // only the low byte counts
  RuntimeMemcpy(buffer + 4, "y", 1);
  EXPECT_EQ(std::string(buffer, 5), "x\xBD\xBD\xBDy");
}

// Runs of up to 5,552 bytes before each reduction: all-0xFF bytes are the
// worst case for the 32-bit sums; split calls carry the checksum on.
TEST(CRuntime, Adler32MatchesZlib) {
  EXPECT_EQ(RuntimeAdler32(1, reinterpret_cast<const Bytef *>("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(RuntimeAdler32(0, nullptr, 0), 1u);
  std::vector<Bytef> ones(100000, 0xFF), mixed(100000);
  for (size_t i = 0; i < mixed.size(); ++i) mixed[i] = static_cast<Bytef>(i * 7919 >> 3);
  for (const std::vector<Bytef> *data : {&ones, &mixed}) {
    for (uInt length : {1u, 5552u, 5553u, 100000u}) {
      uLong expected = adler32(1, data->data(), length);
      EXPECT_EQ(RuntimeAdler32(1, data->data(), length), expected) << length;
      uLong split = RuntimeAdler32(RuntimeAdler32(1, data->data(), length / 3),
                                   data->data() + length / 3, length - length / 3);
      EXPECT_EQ(split, expected) << length;
    }
  }
}

}  // namespace
