// The message formatter and number text.
#include "utils.h"

#include <cstring>

std::string FormatMsg(const std::string &pattern, const TStringArray &arguments) {
  std::string result;
  size_t used = 0;
  const size_t length = pattern.size();
  for (size_t i = 0; i < length;) {
    char c = pattern[i];
    if (c == '&') {
      if (i + 1 < length && pattern[i + 1] == '&') {
        result += '&';
        i += 2;
        continue;
      }
      if (used < arguments.size()) result += arguments[used++];
      ++i;
    } else if (c == '|' && i > 0 && i + 1 < length && pattern[i - 1] == '&' &&
               pattern[i + 1] == '&') {
      ++i;
    } else {
      result += c;
      ++i;
    }
  }
  return result;
}

std::string TextOfBuffer(const char *buffer, size_t capacity) {
  const void *end = memchr(buffer, 0, capacity);
  return std::string(buffer, end ? static_cast<const char *>(end) - buffer : capacity);
}

namespace {

const uint64_t kPowersOfTen[] = {1ull,
                                 10ull,
                                 100ull,
                                 1000ull,
                                 10000ull,
                                 100000ull,
                                 1000000ull,
                                 10000000ull,
                                 100000000ull,
                                 1000000000ull,
                                 10000000000ull,
                                 100000000000ull,
                                 1000000000000ull,
                                 10000000000000ull,
                                 100000000000000ull,
                                 1000000000000000ull,
                                 10000000000000000ull,
                                 100000000000000000ull,
                                 1000000000000000000ull,
                                 10000000000000000000ull};

}  // namespace

// Digits by subtracting powers of ten: a 64-bit division would link the
// compiler's 64-bit division routines (about 1 KB) into the 32-bit program.
std::string DecimalText(int64_t value) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  std::string text = value < 0 ? "-" : "";
  bool leading = true;
  for (int place = 19; place >= 0; --place) {
    char digit = '0';
    while (magnitude >= kPowersOfTen[place]) {
      magnitude -= kPowersOfTen[place];
      ++digit;
    }
    if (digit != '0' || !leading || place == 0) {
      text += digit;
      leading = false;
    }
  }
  return text;
}
