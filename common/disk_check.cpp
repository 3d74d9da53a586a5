// DiskHasFiles: whether a disk's folder holds anything, asked of the file
// system without letting the system show its own error box.
#include <cstring>

#include "utils.h"

namespace {

bool Counts(const WIN32_FIND_DATAA &entry) {
  if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
  std::string name = TextOfBuffer(entry.cFileName, sizeof entry.cFileName);
  return name != "." && name != "..";
}

}  // namespace

bool DiskHasFiles(const std::string &pattern) {
  bool found = false;
  UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      found = Counts(entry);
    } while (!found && FindNextFileA(search, &entry));
    FindClose(search);
  }
  SetErrorMode(previousMode);
  return found;
}
