#include "fat_image.h"

#include <gtest/gtest.h>

namespace testing_support {
namespace {

TEST(FatImage, RoundTripThroughTheRealTools) {
  std::vector<unsigned char> image = MakeFatImage(1474560, {{"HELLO.TXT", "hello\n"}});
  ASSERT_EQ(image.size(), 1474560u);
  EXPECT_EQ(image[510], 0x55);
  EXPECT_EQ(image[511], 0xAA);
  EXPECT_TRUE(FsckClean(image));
  EXPECT_EQ(ListRootFiles(image), std::vector<std::string>{"HELLO.TXT"});
  EXPECT_EQ(ReadFileFromImage(image, "HELLO.TXT"), "hello\n");
}

}  // namespace
}  // namespace testing_support
