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

// Every byte of the code page's upper half goes to its own character and
// back; five bytes name none.
TEST(DescriptionText, EveryCodePageByteRoundTrips) {
  int undefined = 0;
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    const std::string one(1, static_cast<char>(byte));
    std::string stored;
    std::string message;
    if (DescriptionToUtf8(one) == "\xEF\xBF\xBD") {
      ++undefined;
      continue;
    }
    EXPECT_TRUE(PasswordToCodePage(DescriptionToUtf8(one), stored, message)) << byte;
    EXPECT_EQ(stored, one) << byte;
  }
  EXPECT_EQ(undefined, 5);
}

// Passwords take the description's code page, so that the same typed
// characters key the cipher alike on Linux and on Windows; their refusals
// never show the password.
TEST(DescriptionText, PasswordsInTheProgramsCodePage) {
  struct Case {
    const char *typed;
    const char *stored;  // nullptr: refused
    const char *says;
  };
  const std::vector<Case> cases = {
      {"open sesame", "open sesame", ""},
      {"\xC3\xA9t\xC3\xA9", "\xE9t\xE9", ""},              // été
      {"\xC5\x93uvre \xE2\x82\xAC", "\x9Cuvre \x80", ""},  // œuvre €
      {"\xE4\xB8\xAD\xE6\x96\x87", nullptr, "holds U+4E2D, which the program can't take"},  // 中文
      {"tab\there", nullptr, "control character U+0009"},
      {"\xE9t\xE9", nullptr, "not UTF-8"},
  };
  for (const Case &c : cases) {
    std::string stored;
    std::string message;
    EXPECT_EQ(PasswordToCodePage(c.typed, stored, message), c.stored != nullptr) << c.typed;
    if (c.stored) {
      EXPECT_EQ(stored, c.stored);
    }
    EXPECT_NE(message.find(c.says), std::string::npos) << message;
    EXPECT_EQ(message.find("\xE4\xB8\xAD"), std::string::npos) << "the password shown";
  }
}

// What reaches a terminal holds no control character, and JSON is valid
// UTF-8 that gives back every byte.
TEST(DescriptionText, PrintableAndJsonText) {
  struct Case {
    std::string text;
    const char *printable;
    const char *json;
  };
  const std::vector<Case> cases = {
      {"C:\\disks\\caf\xC3\xA9.exe", "C:\\disks\\caf\xC3\xA9.exe",
       "\"C:\\\\disks\\\\caf\xC3\xA9.exe\""},
      {"\x1B]0;owned\x07\x1B[2J", "\\x1B]0;owned\\x07\\x1B[2J",
       "\"\\u001b]0;owned\\u0007\\u001b[2J\""},
      {"a\r\n\tb\x7F", "a\\x0D\\x0A\\x09b\\x7F", "\"a\\u000d\\u000a\\u0009b\\u007f\""},
      {"\xC2\x9B"
       "31m",
       "\\xC2\\x9B31m", "\"\\u009b31m\""},  // CSI as a UTF-8 character
      {"\x9B"
       "31m \xE9",
       "\\x9B31m \xE9", "\"\\udc9b31m \\udce9\""},  // bytes that are no UTF-8
      {"\xF8\x80\x80 \xC0\xAF", "\xF8\\x80\\x80 \xC0\xAF",
       "\"\\udcf8\\udc80\\udc80 \\udcc0\\udcaf\""},
      {std::string("nul\0", 4) + "\"", "nul\\x00\"", "\"nul\\u0000\\\"\""},
      {"\xE2\x82\xAC \xF0\x9F\x98\x80", "\xE2\x82\xAC \xF0\x9F\x98\x80",
       "\"\xE2\x82\xAC \xF0\x9F\x98\x80\""},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(Printable(c.text), c.printable);
    EXPECT_EQ(JsonString(c.text), c.json);
  }
}

}  // namespace
