#include "utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string FormatMsg(const char *pattern, const std::vector<const char *> &arguments,
                      size_t capacity = kMessageSize) {
  std::vector<char> text(capacity + 1, '#');
  ::FormatMsg(text.data(), capacity, pattern, arguments.data(), arguments.size());
  EXPECT_EQ(text[capacity], '#') << "written past the capacity";
  return text.data();
}

std::string DecimalText(int64_t value) {
  char text[kDecimalSize];
  ::DecimalText(value, text);
  return text;
}

TEST(FormatMsg, FillsPlaceholdersInOrder) {
  EXPECT_EQ(FormatMsg("Writing to drive &: (&/& of &/&)", {"A", "1", "1", "80", "2"}),
            "Writing to drive A: (1/1 of 80/2)");
  EXPECT_EQ(FormatMsg("Can't write track &/& to drive &:.\r\n(&)", {"3", "2", "B", "x"}),
            "Can't write track 3/2 to drive B:.\r\n(x)");
}

TEST(FormatMsg, EmptyAndPlainTemplates) {
  EXPECT_EQ(FormatMsg("", {"x"}), "");
  EXPECT_EQ(FormatMsg("a|b|c", {"x"}), "a|b|c");
  EXPECT_EQ(FormatMsg("line\nnext\r\n", {}), "line\nnext\r\n");
}

TEST(FormatMsg, DoubleAmpersandIsLiteral) {
  EXPECT_EQ(FormatMsg("&&", {"x"}), "&");
  EXPECT_EQ(FormatMsg("&&&", {"x"}), "&x");
  EXPECT_EQ(FormatMsg("Tom && Jerry", {}), "Tom & Jerry");
}

TEST(FormatMsg, BarBetweenPlaceholdersJoinsThem) {
  EXPECT_EQ(FormatMsg("&|&", {"x", "y"}), "xy");
  // The raw neighbours decide: "&&" is a literal, the bar still vanishes.
  EXPECT_EQ(FormatMsg("&&|&", {"x"}), "&x");
  EXPECT_EQ(FormatMsg("|&", {"x"}), "|x");
  EXPECT_EQ(FormatMsg("&|", {"x"}), "x|");
  EXPECT_EQ(FormatMsg("a|&", {"x"}), "a|x");
}

TEST(FormatMsg, SurplusAndMissingArguments) {
  EXPECT_EQ(FormatMsg("& word &", {"x"}), "x word ");
  EXPECT_EQ(FormatMsg("&-&", {}), "-");
  EXPECT_EQ(FormatMsg("&", {"x", "y", "z"}), "x");
  EXPECT_EQ(FormatMsg("end &", {"x"}), "end x");
}

TEST(FormatMsg, ArgumentsAreNotInterpreted) {
  EXPECT_EQ(FormatMsg("(&)", {"a&&b|&"}), "(a&&b|&)");
}

TEST(FormatMsg, CutAtTheCapacityAndTerminated) {
  EXPECT_EQ(FormatMsg("ab&d", {"c"}, 4), "abc");
  EXPECT_EQ(FormatMsg("&&&", {"xyz"}, 3), "&x");
  EXPECT_EQ(FormatMsg("abc", {}, 1), "");
}

TEST(DecimalText, SignedPlainDigits) {
  EXPECT_EQ(DecimalText(0), "0");
  EXPECT_EQ(DecimalText(80), "80");
  EXPECT_EQ(DecimalText(-17), "-17");
  EXPECT_EQ(DecimalText(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(DecimalText(INT64_MAX), "9223372036854775807");
  EXPECT_EQ(DecimalText(1000000), "1000000");
  EXPECT_EQ(DecimalText(-9), "-9");
  EXPECT_EQ(DecimalText(1474560), "1474560");
}

}  // namespace
