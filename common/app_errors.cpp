// The error table and ErrorText.
#include "app_errors.h"

#include "utils.h"

namespace {

// A fixed array: the program's entries are known at build time, and a
// growing container would bring its own code into the program.
TAppError errorTable[kErrorTableCapacity];
size_t errorCount;

constexpr DWORD kCategoryMask = 0xFFFFFF00u;
static_assert(kErrorTextSize >= 256 + 2, "a system text and its zero fit");

// The system's text, cut before its final period, blanks and line breaks.
void SystemText(DWORD code, char *text) {
  // The inserts of texts such as ERROR_WRONG_DISK ("Insert %2 ... into drive
  // %1.") stay as they are: there is no argument array to fill them from.
  DWORD length = FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, text, 256, nullptr);
  while (length > 0) {
    unsigned char last = static_cast<unsigned char>(text[length - 1]);
    if (last >= 0x21 && last != '.') break;
    --length;
  }
  text[length] = 0;
}

}  // namespace

bool RegisterError(DWORD code, const char *text) {
  if (errorCount == kErrorTableCapacity) return false;
  errorTable[errorCount++] = TAppError{code, text};
  return true;
}

const char *FindErrorEntry(DWORD code) {
  for (size_t i = 0; i < errorCount; ++i)
    if (errorTable[i].Code == code) return errorTable[i].Text;
  return "";
}

void FormatErrorText(DWORD code, char *text) {
  const char *found = FindErrorEntry(code);
  if (!*found) return SystemText(code, text);
  const char *name = (code & ~kCategoryMask) != 0 ? FindErrorEntry(code & kCategoryMask) : "";
  const char *arguments[] = {name, found};
  // Room for the final period.
  FormatMsg(text, kErrorTextSize - 1, *name ? "[&]: &" : "&|&", arguments, 2);
  size_t length = 0;
  while (text[length]) ++length;
  if (text[length - 1] != '.') {
    text[length] = '.';
    text[length + 1] = 0;
  }
}

TErrorTable ErrorTable() {
  return TErrorTable{errorTable, errorCount};
}

void AppErrorsStartup() {
  errorCount = 0;
}

void AppErrorsShutdown() {
  errorCount = 0;
}
