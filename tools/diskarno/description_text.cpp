// Windows-1252 to and from UTF-8, and text escaped for terminals and JSON.
#include "description_text.h"

#include <cstdio>

namespace {

// Windows-1252 0x80 to 0x9F; 0 where the code page defines no character.
// Every other byte above 0x9F is the Unicode character of the same number.
const unsigned short kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

void AppendUtf8(unsigned long code, std::string &text) {
  if (code < 0x80) {
    text += static_cast<char>(code);
  } else if (code < 0x800) {
    text += static_cast<char>(0xC0 | code >> 6);
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    text += static_cast<char>(0xE0 | code >> 12);
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    text += static_cast<char>(0xF0 | code >> 18);
    text += static_cast<char>(0x80 | (code >> 12 & 0x3F));
    text += static_cast<char>(0x80 | (code >> 6 & 0x3F));
    text += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// The next character of UTF-8 text at at; false for a malformed, overlong or
// surrogate sequence.
bool NextCharacter(const std::string &text, size_t &at, unsigned long &code) {
  unsigned char first = static_cast<unsigned char>(text[at++]);
  int extra = first < 0x80                    ? 0
              : first >= 0xC2 && first < 0xE0 ? 1
              : first >= 0xE0 && first < 0xF0 ? 2
              : first >= 0xF0 && first < 0xF5 ? 3
                                              : -1;
  if (extra < 0) return false;
  code = extra == 0 ? first : first & (0x3F >> extra);
  for (int n = 0; n < extra; ++n) {
    if (at >= text.size() || (static_cast<unsigned char>(text[at]) & 0xC0) != 0x80) return false;
    code = code << 6 | (static_cast<unsigned char>(text[at++]) & 0x3F);
  }
  static const unsigned long kSmallest[4] = {0, 0x80, 0x800, 0x10000};
  return code >= kSmallest[extra] && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
}

// The Windows-1252 byte of a character; false when the code page lacks it.
bool CodePageByte(unsigned long code, unsigned char &byte) {
  if (code < 0x80 || (code >= 0xA0 && code <= 0xFF)) {
    byte = static_cast<unsigned char>(code);
    return true;
  }
  for (int n = 0; n < 32; ++n)
    if (kHighControls[n] != 0 && kHighControls[n] == code) {
      byte = static_cast<unsigned char>(0x80 + n);
      return true;
    }
  return false;
}

bool IsControl(unsigned long code) {
  return code < 0x20 || (code >= 0x7F && code < 0xA0);
}

std::string Escaped(const char *format, unsigned value) {
  char text[16];
  snprintf(text, sizeof text, format, value);
  return text;
}

std::string CodePoint(unsigned long code) {
  char text[24];
  snprintf(text, sizeof text, "U+%04lX", code);
  return text;
}

}  // namespace

namespace {

// The Windows-1252 bytes of typed, one a character. False with a message
// naming what (a description, a password) for text that is no UTF-8, a
// control character or a character the code page lacks; a secret's
// characters are not shown, only their numbers.
bool ToCodePage(const std::string &typed, const char *what, bool secret, std::string &stored,
                std::string &message) {
  stored.clear();
  size_t at = 0;
  while (at < typed.size()) {
    size_t start = at;
    unsigned long code = 0;
    unsigned char byte = 0;
    if (!NextCharacter(typed, at, code)) {
      message = std::string(what) + " is not UTF-8 text";
      return false;
    }
    if (IsControl(code)) {
      message = std::string(what) + " holds the control character " + CodePoint(code);
      return false;
    }
    if (!CodePageByte(code, byte)) {
      message = std::string(what) + " holds " +
                (secret ? CodePoint(code)
                        : typed.substr(start, at - start) + " (" + CodePoint(code) + ")") +
                ", which the program can't " + (secret ? "take" : "show") + " (Windows-1252)";
      return false;
    }
    stored += static_cast<char>(byte);
  }
  return true;
}

}  // namespace

bool DescriptionToCodePage(const std::string &typed, size_t limit, std::string &stored,
                           std::string &message) {
  if (!ToCodePage(typed, "the description", false, stored, message)) return false;
  if (stored.size() <= limit) return true;
  message = "the description has " + std::to_string(stored.size()) + " characters; at most " +
            std::to_string(limit);
  return false;
}

bool PasswordToCodePage(const std::string &typed, std::string &stored, std::string &message) {
  return ToCodePage(typed, "the password", true, stored, message);
}

std::string DescriptionToUtf8(const std::string &stored) {
  std::string text;
  for (unsigned char byte : stored) {
    unsigned long code = byte;
    if (byte >= 0x80 && byte < 0xA0)
      code = kHighControls[byte - 0x80] ? kHighControls[byte - 0x80] : 0xFFFD;
    AppendUtf8(code, text);
  }
  return text;
}

std::string Printable(const std::string &text) {
  std::string shown;
  for (size_t at = 0; at < text.size();) {
    size_t start = at;
    unsigned long code = 0;
    // A byte that starts no character stands for itself.
    if (!NextCharacter(text, at, code)) {
      at = start + 1;
      code = static_cast<unsigned char>(text[start]);
    }
    if (!IsControl(code)) {
      shown.append(text, start, at - start);
      continue;
    }
    for (size_t n = start; n < at; ++n)
      shown += Escaped("\\x%02X", static_cast<unsigned char>(text[n]));
  }
  return shown;
}

std::string JsonString(const std::string &text) {
  std::string quoted = "\"";
  for (size_t at = 0; at < text.size();) {
    size_t start = at;
    unsigned long code = 0;
    if (!NextCharacter(text, at, code)) {
      at = start + 1;
      quoted += Escaped("\\udc%02x", static_cast<unsigned char>(text[start]));
    } else if (code == '"' || code == '\\') {
      quoted += '\\';
      quoted += static_cast<char>(code);
    } else if (IsControl(code)) {
      quoted += Escaped("\\u%04x", static_cast<unsigned>(code));
    } else {
      quoted.append(text, start, at - start);
    }
  }
  return quoted + "\"";
}
