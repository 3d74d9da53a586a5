// The message formatter and number text.
#include "utils.h"

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

std::string DecimalText(int64_t value) {
  char digits[24];
  char *end = digits + sizeof digits;
  char *p = end;
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  do {
    *--p = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (value < 0) *--p = '-';
  return std::string(p, end);
}
