// Failure texts on Windows: the system's message table and the program's.
#include <cstdio>

#include "app_errors.h"
#include "tool_files.h"

std::string FailureText(DWORD code) {
  std::string text = ErrorText(code);
  if (!text.empty()) return text;
  char number[32];
  snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return number;
}
