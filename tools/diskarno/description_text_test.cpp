// Descriptions typed as UTF-8, stored as Windows-1252, shown back as UTF-8.
#include "description_text.h"

#include <gtest/gtest.h>

namespace {

TEST(DescriptionText, StoredInTheProgramsCodePage) {
  struct Case {
    const char *typed;
    bool accepted;
    const char *stored;  // or what the refusal says
  };
  const std::vector<Case> cases = {
      {"Rescue disk", true, "Rescue disk"},
      {"Caf\xC3\xA9 \xE2\x82\xAC\xE2\x84\xA2", true, "Caf\xE9 \x80\x99"},  // é € ™
      {"\xC5\xBD\xC3\xBF", true, "\x8E\xFF"},                              // Ž ÿ
      {"\xE2\x82\xAC", true, "\x80"},
      {"32 characters, two bytes each: \xC3\xA9", true, nullptr},
      {"line\nbreak", false, "control character U+000A"},
      {"tab\there", false, "control character U+0009"},
      {"\xC2\x81", false, "control character U+0081"},
      {"\xE3\x81\x82", false, "(U+3042), which the program can't show"},  // あ
      {"\xF0\x9F\x98\x80", false, "U+1F600"},
      {"\xE9t\xE9", false, "not UTF-8"},     // Latin-1 bytes
      {"\xC0\xAF", false, "not UTF-8"},      // overlong
      {"\xED\xA0\x80", false, "not UTF-8"},  // a surrogate
      {"abcdefghijklmnopqrstuvwxyz0123456", false, "has 33 characters; at most 32"},
  };
  for (const Case &c : cases) {
    std::string stored;
    std::string message;
    EXPECT_EQ(DescriptionToCodePage(c.typed, 32, stored, message), c.accepted) << c.typed;
    if (!c.stored) continue;
    EXPECT_NE((c.accepted ? stored : message).find(c.stored), std::string::npos)
        << c.typed << ": " << message;
    EXPECT_EQ(c.accepted ? DescriptionToUtf8(stored) : std::string(c.typed), c.typed);
  }
  // The limit counts characters: 32 two-byte ones fit.
  std::string stored;
  std::string message;
  std::string typed;
  for (int n = 0; n < 32; ++n) typed += "\xC3\xA9";
  EXPECT_TRUE(DescriptionToCodePage(typed, 32, stored, message)) << message;
  EXPECT_EQ(stored.size(), 32u);
  EXPECT_EQ(DescriptionToUtf8("\x81\x9D"), "\xEF\xBF\xBD\xEF\xBF\xBD") << "undefined bytes";
}

}  // namespace
