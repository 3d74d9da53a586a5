// The error table and ErrorText.
#include "app_errors.h"

namespace {

std::vector<TAppError> errorTable;

constexpr DWORD kCategoryMask = 0xFFFFFF00u;
constexpr DWORD kSystemTextSize = 256;

// The system's text, cut before its final period, blanks and line breaks.
std::string SystemText(DWORD code) {
  char buffer[kSystemTextSize];
  // The inserts of texts such as ERROR_WRONG_DISK ("Insert %2 ... into drive
  // %1.") stay as they are: there is no argument array to fill them from.
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                                    FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, buffer, kSystemTextSize, nullptr);
  while (length > 0) {
    unsigned char last = static_cast<unsigned char>(buffer[length - 1]);
    if (last >= 0x21 && last != '.') break;
    --length;
  }
  return std::string(buffer, length);
}

}  // namespace

void RegisterError(DWORD code, const char *text) { errorTable.push_back(TAppError{code, text}); }

std::string FindErrorText(DWORD code) {
  for (const TAppError &entry : errorTable)
    if (entry.Code == code) return entry.Text;
  return std::string();
}

std::string ErrorText(DWORD code) {
  std::string text = FindErrorText(code);
  if (text.empty()) return SystemText(code);
  if ((code & ~kCategoryMask) != 0) {
    std::string name = FindErrorText(code & kCategoryMask);
    if (!name.empty()) text = "[" + name + "]: " + text;
  }
  if (text.back() != '.') text += '.';
  return text;
}

const std::vector<TAppError> &ErrorTable() { return errorTable; }

void AppErrorsStartup() { errorTable.clear(); }

void AppErrorsShutdown() {
  errorTable.clear();
  errorTable.shrink_to_fit();
}
