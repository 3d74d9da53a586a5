// The process-wide table of application error codes and their texts, and the
// display text for any error code, application or system.
#ifndef DISKARNO_COMMON_APP_ERRORS_H
#define DISKARNO_COMMON_APP_ERRORS_H

#include <windows.h>

#include <string>
#include <vector>

// An application code: the category base in the upper 24 bits, the index in
// the lowest 8. Index 0 holds the category's name.
struct TAppError {
  DWORD Code;
  std::string Text;
};

// Appends an entry; duplicates are kept, and the first one wins every lookup.
void RegisterError(DWORD code, const char *text);
// The text of the first entry with exactly this code, or "" when none.
std::string FindErrorText(DWORD code);
// What the dialogs show for a code: a table text with its category name in
// brackets and a final period, or the system's text without its final period
// and line break, or "" when nobody knows the code. Never fails.
std::string ErrorText(DWORD code);
// Entries registered so far, in registration order.
const std::vector<TAppError> &ErrorTable();

void AppErrorsStartup();
void AppErrorsShutdown();

#endif
