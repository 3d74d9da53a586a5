// The process-wide table of application error codes and their texts, and the
// display text for any error code, application or system.
#ifndef DISKARNO_COMMON_APP_ERRORS_H
#define DISKARNO_COMMON_APP_ERRORS_H

#include <windows.h>

#include <string>

// An application code: the category base in the upper 24 bits, the index in
// the lowest 8. Index 0 holds the category's name. The text is not copied:
// it must outlive the table (the program registers string literals).
struct TAppError {
  DWORD Code;
  const char *Text;
};

// The entries registered so far, in registration order.
struct TErrorTable {
  const TAppError *Entries;
  size_t Count;
  size_t size() const { return Count; }
  bool empty() const { return Count == 0; }
  const TAppError &operator[](size_t index) const { return Entries[index]; }
};

// The table holds this many entries; the program registers 19.
constexpr size_t kErrorTableCapacity = 48;

// Appends an entry; duplicates are kept, and the first one wins every lookup.
// False, with the table unchanged, when the table is full.
bool RegisterError(DWORD code, const char *text);
// The text of the first entry with exactly this code, or "" when none.
const char *FindErrorEntry(DWORD code);
inline std::string FindErrorText(DWORD code) {
  return FindErrorEntry(code);
}

// Texts made by FormatErrorText fit in this many bytes with their zero.
constexpr size_t kErrorTextSize = 320;
// What the dialogs show for a code, into text of kErrorTextSize bytes: a
// table text with its category name in brackets and a final period, or the
// system's text without its final period and line break, or "" when nobody
// knows the code. Never fails.
void FormatErrorText(DWORD code, char *text);
// The same as a string, for the tool.
inline std::string ErrorText(DWORD code) {
  char text[kErrorTextSize];
  FormatErrorText(code, text);
  return text;
}

TErrorTable ErrorTable();

void AppErrorsStartup();
void AppErrorsShutdown();

#endif
