// Failure texts on Linux: the Win32 codes the file layer sets (winapi/host
// turns errno into them) go back to their errno and the C library's text,
// so that the tool says "No such file or directory", not Windows' words.
#include <errno.h>

#include <cstdio>
#include <cstring>

#include "app_errors.h"
#include "tool_files.h"

namespace {

struct TErrnoOf {
  DWORD code;
  int error;
};

const TErrnoOf kErrnoOf[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT}, {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},  {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_FILE_EXISTS, EEXIST},    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_DISK_FULL, ENOSPC},      {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_INVALID_HANDLE, EBADF},  {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_GEN_FAILURE, EIO},       {ERROR_SHARING_VIOLATION, EBUSY},
};

}  // namespace

std::string FailureText(DWORD code) {
  for (const TErrnoOf &entry : kErrnoOf)
    if (entry.code == code) return strerror(entry.error);
  if (code == ERROR_HANDLE_EOF) return "the file ends early";
  std::string text = ErrorText(code);
  if (!text.empty()) return text;
  char number[32];
  snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return number;
}
