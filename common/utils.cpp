// The message formatter and number text.
#include "utils.h"

#include <cstring>

void FormatMsg(char *text, size_t capacity, const char *pattern, const char *const *arguments,
               size_t count) {
  if (capacity == 0) return;
  size_t length = 0, used = 0;
  auto append = [&](char c) {
    if (length + 1 < capacity) text[length++] = c;
  };
  for (const char *at = pattern; *at; ++at) {
    if (*at == '&') {
      if (at[1] == '&') {
        append('&');
        ++at;
      } else if (used < count) {
        for (const char *argument = arguments[used++]; *argument; ++argument) append(*argument);
      }
    } else if (!(*at == '|' && at > pattern && at[-1] == '&' && at[1] == '&')) {
      append(*at);
    }
  }
  text[length] = 0;
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
void DecimalText(int64_t value, char *text) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
  if (value < 0) *text++ = '-';
  bool leading = true;
  for (int place = 19; place >= 0; --place) {
    char digit = '0';
    while (magnitude >= kPowersOfTen[place]) {
      magnitude -= kPowersOfTen[place];
      ++digit;
    }
    if (digit != '0' || !leading || place == 0) {
      *text++ = digit;
      leading = false;
    }
  }
  *text = 0;
}
