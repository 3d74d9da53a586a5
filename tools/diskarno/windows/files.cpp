// Files on Windows: input files (a folder is refused before it is opened),
// same-file tests by volume and file index, and failure texts from the
// system's message table and the program's.
#include <cstdio>

#include "app_errors.h"
#include "files.h"
#include "inputs.h"

namespace {

bool Identify(const std::string &path, BY_HANDLE_FILE_INFORMATION &information) {
  HANDLE file = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL known = GetFileInformationByHandle(file, &information);
  CloseHandle(file);
  return known != FALSE;
}

}  // namespace

TStatus CheckInputFile(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return TStatus::Refused("can't read " + path + ": " + FailureText(GetLastError()));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return TStatus::Refused(path + " is a folder, not a file");
  return TStatus::Done();
}

TStatus ReadPasswordFile(const std::string &path, uint64_t limit, std::vector<BYTE> &bytes,
                         uint64_t &size) {
  size = 0;
  TStatus status = CheckInputFile(path);
  return status.Ok() ? ReadWholeFile(path, limit, bytes, size) : status;
}

bool TypedTextIsUtf8() {
  return false;
}

bool SameFile(const std::string &first, const std::string &second) {
  BY_HANDLE_FILE_INFORMATION one;
  BY_HANDLE_FILE_INFORMATION two;
  if (!Identify(first, one) || !Identify(second, two)) return false;
  return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
         one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}

std::string FailureText(DWORD code) {
  std::string text = ErrorText(code);
  if (!text.empty()) return text;
  char number[32];
  snprintf(number, sizeof number, "error %lu", static_cast<unsigned long>(code));
  return number;
}
