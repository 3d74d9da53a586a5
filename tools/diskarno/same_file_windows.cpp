// Whether two paths name one file, on Windows: same volume and file index.
#include "tool_files.h"

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

bool SameFile(const std::string &first, const std::string &second) {
  BY_HANDLE_FILE_INFORMATION one;
  BY_HANDLE_FILE_INFORMATION two;
  if (!Identify(first, one) || !Identify(second, two)) return false;
  return one.dwVolumeSerialNumber == two.dwVolumeSerialNumber &&
         one.nFileIndexHigh == two.nFileIndexHigh && one.nFileIndexLow == two.nFileIndexLow;
}
